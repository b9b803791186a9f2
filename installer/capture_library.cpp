#include "installer/capture_library.h"

#include <windows.h>

#include "installer/text_buffer.h"

bool CaptureLibraryPresent() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  for (const wchar_t* file : {L"\\Npcap\\wpcap.dll", L"\\wpcap.dll"}) {
    TextBuffer path = {};
    if (!JoinText(path, {system, file})) continue;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      return true;
  }
  return false;
}
