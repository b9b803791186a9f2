#include "agent/event_log.h"

#include <mutex>
#include <vector>

namespace {

// Opened once and kept: the handle stays valid for the life of the process.
HANDLE Source() {
  static HANDLE source = nullptr;
  static std::once_flag once;
  std::call_once(once, [] { source = RegisterEventSourceW(nullptr, kEventSourceName); });
  return source;
}

}  // namespace

WORD EventLogType(EventLevel level) {
  switch (level) {
    case EventLevel::Error: return EVENTLOG_ERROR_TYPE;
    case EventLevel::Warning: return EVENTLOG_WARNING_TYPE;
    default: return EVENTLOG_INFORMATION_TYPE;
  }
}

std::wstring WidenEventText(const std::string& text) {
  std::wstring out;
  if (text.empty()) return out;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  if (n <= 0) return out;
  out.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

bool WriteToEventLog(const AgentEvent& event) {
  HANDLE source = Source();
  if (source == nullptr) return false;
  std::vector<std::wstring> wide;
  wide.reserve(event.strings.size());
  for (const std::string& s : event.strings) wide.push_back(WidenEventText(s));
  std::vector<LPCWSTR> strings;
  for (const std::wstring& s : wide) strings.push_back(s.c_str());
  return ReportEventW(source, EventLogType(event.level), 0, event.id, nullptr,
                      static_cast<WORD>(strings.size()), 0,
                      strings.empty() ? nullptr : strings.data(), nullptr) != FALSE;
}

void EventLogSink(const AgentEvent& event) { WriteToEventLog(event); }
