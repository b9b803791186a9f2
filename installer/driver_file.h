// The packet-capture driver file in the system's driver directory.
#pragma once

#include <windows.h>

#include "installer/driver_record.h"
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

enum class DriverCopy {
  Copied,         // digest holds the copy's SHA-256, to be recorded
  NoSource,       // no driver for this Windows in the directory, or an empty file
  ForeignTarget,  // the target exists and is not the file this tool recorded: left alone
  Failed,         // the copy or its digest failed
};

// Copies the driver that fits this Windows from directory (which ends with a backslash)
// over the target, and leaves the target writable so that the next copy can replace it.
// An existing target is replaced only when it is the one recorded (recorded may be nullptr).
DriverCopy CopyDriver(const wchar_t* directory, const FileDigest* recorded, FileDigest& digest);

enum class DriverRemoval { Deleted, NotOurs, Absent, Failed };

// Deletes the target file when its contents are the recorded ones (recorded may be nullptr:
// then nothing of ours is there).
DriverRemoval DeleteDriver(const FileDigest* recorded);
