// The packet-capture driver file in the system's driver directory.
#pragma once

#include <windows.h>

#include "installer/text_buffer.h"

// Source file name for a processor architecture (PROCESSOR_ARCHITECTURE_*) on 64-bit
// Windows, or nullptr when there is no driver for it.
const wchar_t* Driver64SourceName(WORD nativeArchitecture);

// Source file name on 32-bit Windows.
constexpr const wchar_t* kDriver32SourceName = L"npfNT32.sys";

// True when the tool runs on 64-bit Windows.
bool IsWindows64Bit();

// Builds <system directory>\Drivers\npf.sys. Returns false when the system directory is
// unknown or longer than MAX_PATH.
bool BuildDriverTarget(TextBuffer& target);

// Copies the driver that fits this Windows from directory (which ends with a backslash)
// over the target, and leaves the target writable so that the next copy can replace it.
void CopyDriver(const wchar_t* directory);

// Deletes the target file.
void DeleteDriver();
