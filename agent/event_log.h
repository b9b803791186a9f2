// The agent's events into the Windows Application log under the source "TaviAgent",
// whose EventMessageFile (registered by TaviTool and the MSI) is TaviAgent.exe itself.
#pragma once

#include <windows.h>

#include <string>

#include "agent/audit_text.h"

constexpr wchar_t kEventSourceName[] = L"TaviAgent";

// One ReportEventW; false when the source cannot be opened or the call fails.
bool WriteToEventLog(const AgentEvent& event);
// The sink the service installs: WriteToEventLog, its outcome dropped.
void EventLogSink(const AgentEvent& event);

// EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_ERROR_TYPE.
WORD EventLogType(EventLevel level);
// The insertion strings are ASCII by construction; others are taken as the ANSI code page.
std::wstring WidenEventText(const std::string& text);
