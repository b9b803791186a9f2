// Progress messages for a debugger; the tool has no window and no log file.
#pragma once

void Trace(const wchar_t* message);
