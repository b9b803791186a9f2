// The agent's registry access: adapter parameter keys and raw value reads and writes.
// Each routine returns 1 on success and 0 on failure, without saying why.
#pragma once

#include <windows.h>

#include <vector>

constexpr DWORD kRegBufferLength = 1024;     // every value read except the DNS server lists
constexpr DWORD kDnsListBufferLength = 256;  // "NameServer", "DhcpNameServer"

// Opens HKLM "...\Tcpip\Parameters\Interfaces\{GUID}" for reading and writing; the GUID is
// the part of the interface-table adapter name from its first '{' on.
int OpenInterfaceKey(const wchar_t* adapterName, HKEY* key);

// Reads the value's data, whatever its type, into a caller-zeroed buffer; a value larger
// than the capacity is a failed read.
int ReadRegValue(HKEY key, const char* valueName, void* buffer, DWORD capacity);

// size 0: data is a NUL-terminated string, written with its terminator (REG_MULTI_SZ with one
// more zero byte). Otherwise exactly size bytes.
int WriteRegValue(HKEY key, const char* valueName, DWORD type, const void* data, DWORD size);

// A REG_DWORD value of exactly 4 bytes; anything else is a failed read.
int ReadRegDword(HKEY key, const char* valueName, DWORD* value);

// The value's type and exact bytes; false when it does not exist or cannot be read.
bool ReadRegRaw(HKEY key, const char* valueName, DWORD* type, std::vector<BYTE>& data);
// 1 when the value is gone afterwards (also when it did not exist), else 0.
int DeleteRegValue(HKEY key, const char* valueName);
