// Small text rules nvctl applies to what users type and to what hosts send.
#pragma once

#include <string>
#include <string_view>

bool EqualsNoCase(std::string_view a, std::string_view b);

// Text from a host record made safe for a terminal: control characters (a hostile record
// could carry escape sequences) become '?'. Other bytes pass as they are.
std::string PrintableText(std::string_view text);
