// The host information record and the setup state, collected fresh for each request.
#pragma once

#include <windows.h>

#include <cstdint>

#include "agent/os_info_rules.h"
#include "protocol/frames.h"

void CollectHostInfo(HostRecord& host);
void CollectManagementInfo(HostRecord& host);
// Port of the running management product service "rdsvc"; 0 when it is not running.
uint16_t QueryRidoPort();
void CollectModelName(HostRecord& host);
// The true version (RtlGetVersion), whatever the program's manifest declares.
ReportedVersion ReadReportedVersion();
void CollectOsInfo(OsInfo& osInfo);
// How long a default-password probe's result is reused.
constexpr ULONGLONG kDefaultPasswordProbeIntervalMs = 5 * 60 * 1000;

// 0, 1, 2 or 4; the thread is back in its own context afterwards. The default-password
// probe behind it runs at most once per interval; its result is reused meanwhile.
uint8_t ComputeSetupState();
// The next ComputeSetupState probes again (after a password change).
void ForgetDefaultPasswordProbe();
