#include "installer/trace.h"

#include <windows.h>

void Trace(const wchar_t* message) { OutputDebugStringW(message); }
