// Texts of the result codes: reply status values and the console's own codes.
#pragma once

#include <string>

// The text for `code`; "Unknown error" for any code without one (0 included).
const char* MessageText(unsigned code);
// SegmentFlooded with its count: "N replies could not be checked: the segment is flooded".
std::string FloodedText(unsigned long count);
