// What tells the driver file this tool copied from another product's: its SHA-256, kept
// under the agent's parameter key as "DriverSha256" (REG_BINARY, 32 bytes).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

using FileDigest = std::array<uint8_t, 32>;

constexpr const wchar_t* kDriverDigestValue = L"DriverSha256";

// SHA-256 of the file's contents; false when it cannot be read.
bool DigestFile(const wchar_t* path, FileDigest& digest);

// Returns ERROR_SUCCESS or the registry's error.
LONG RecordDriverDigest(const FileDigest& digest);

// False when no record exists or it is not exactly one digest.
bool ReadDriverDigest(FileDigest& digest);

void ForgetDriverDigest();
