// Message boxes of the console, captioned with the program file's name.
#pragma once

#include <string>

// The program file's name without directory and extension ("Netvane").
std::string ApplicationName();

// A result code's text (see message_table.h): OK button, warning icon. Returns when the
// user has closed the box. Interface thread only.
void ShowMessage(unsigned code);
// Texts of their own: a success (information icon) or an input check (warning icon).
void ShowInfoMessage(const char* text);
void ShowWarningMessage(const char* text);
