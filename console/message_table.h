// Texts of the result codes: reply status values and the console's own codes.
#pragma once

// The text for `code`; "Unknown error" for any code without one (0 included).
const char* MessageText(unsigned code);
