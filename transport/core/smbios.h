// Reads the baseboard's product name (SMBIOS structure type 2, string at offset 5) from a
// raw SMBIOS table as GetSystemFirmwareTable('RSMB') returns it: an 8-byte header (calling
// method, major, minor, DMI revision, u32 table length) and the structure table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavi {

// The product name with trailing blanks removed; empty when the table has no baseboard
// structure or the name is missing or blank. Never reads outside [data, data + length).
std::string BaseboardProduct(const uint8_t* data, std::size_t length);

// Writes at most capacity - 1 characters and a NUL, zero-padding the rest of the buffer;
// false (buffer zeroed) when the name is empty or there is no room for a character.
bool CopyModelName(const std::string& name, std::size_t maxChars, char* out, std::size_t capacity);

}  // namespace tavi
