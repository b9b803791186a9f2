// Operating-system names of a host record's OsInfo: the short name of the list's "OS" column
// and the long name and version of the details panel.
#pragma once

#include <string>

#include "protocol/frames.h"

// Never null; a constant text.
const char* OsShortName(const OsInfo& info);

// Appends the long name to `nameOut` and replaces `versionOut` with the version text.
// Nothing is written for an invalid record or an unknown family.
void FormatOsName(std::string& nameOut, std::string& versionOut, const OsInfo& info);

// The panel's limits: 255 characters of name, 19 of version.
constexpr std::size_t kOsNameMaxChars = 255;
constexpr std::size_t kOsVersionMaxChars = 19;
