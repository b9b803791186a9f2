#include "installer/driver_file.h"

#include "installer/text_buffer.h"
#include "installer/trace.h"

namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using EnableRedirectionFn = BOOLEAN(WINAPI*)(BOOLEAN);
using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32");
  return kernel32 != nullptr ? GetProcAddress(kernel32, name) : nullptr;
}

// File-system redirection only exists for 32-bit programs on 64-bit Windows; switching it
// costs nothing elsewhere. The function may be missing on old systems and is then skipped.
class RedirectionOff {
 public:
  explicit RedirectionOff(bool traceMissing) {
    enable_ = reinterpret_cast<EnableRedirectionFn>(
        reinterpret_cast<void*>(Kernel32Function("Wow64EnableWow64FsRedirection")));
    if (enable_ != nullptr)
      enable_(FALSE);
    else if (traceMissing)
      Trace(L"get Wow64EnableWow64FsRedirection failed");
  }
  ~RedirectionOff() {
    if (enable_ != nullptr) enable_(TRUE);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;

 private:
  EnableRedirectionFn enable_ = nullptr;
};

WORD NativeArchitecture() {
  SYSTEM_INFO info = {};
  auto getNative = reinterpret_cast<GetNativeSystemInfoFn>(
      reinterpret_cast<void*>(Kernel32Function("GetNativeSystemInfo")));
  // Without GetNativeSystemInfo the plain call is the best answer: it is native for a
  // 64-bit program, and a 32-bit one then finds no driver and copies nothing.
  if (getNative != nullptr)
    getNative(&info);
  else
    GetSystemInfo(&info);
  return info.wProcessorArchitecture;
}

void CopyWritable(const wchar_t* source, const wchar_t* target) {
  CopyFileW(source, target, FALSE);
  const DWORD attributes = GetFileAttributesW(target);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesW(target, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

void CopyDriver32(const wchar_t* directory) {
  Trace(L"copy driver in 32bit os");
  TextBuffer source = {};
  const bool haveSource = JoinText(source, {directory, kDriver32SourceName});
  Trace(L"source driver path");
  Trace(source);
  TextBuffer target = {};
  const bool haveTarget = BuildDriverTarget(target);
  Trace(L"target driver path");
  Trace(target);
  if (haveSource && haveTarget) CopyWritable(source, target);
}

void CopyDriver64(const wchar_t* directory) {
  Trace(L"copy in 64bit os");
  RedirectionOff redirection(true);
  const WORD architecture = NativeArchitecture();
  const wchar_t* name = Driver64SourceName(architecture);
  if (name == nullptr) return;
  Trace(architecture == PROCESSOR_ARCHITECTURE_IA64 ? L"IA64 and 64bit os"
                                                     : L"AMD64 and 64bit os");
  TextBuffer source = {};
  TextBuffer target = {};
  if (JoinText(source, {directory, name}) && BuildDriverTarget(target))
    CopyWritable(source, target);
}

}  // namespace

const wchar_t* Driver64SourceName(WORD nativeArchitecture) {
  switch (nativeArchitecture) {
    case PROCESSOR_ARCHITECTURE_IA64: return L"npfIA64.sys";
    case PROCESSOR_ARCHITECTURE_AMD64: return L"npfAMD64.sys";
    default: return nullptr;
  }
}

bool IsWindows64Bit() {
#ifdef _WIN64
  // IsWow64Process answers FALSE for a 64-bit program, which only runs on 64-bit Windows.
  return true;
#else
  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(Kernel32Function("IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool BuildDriverTarget(TextBuffer& target) {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    target[0] = L'\0';
    return false;
  }
  return JoinText(target, {system, L"\\", L"Drivers", L"\\", L"npf.sys"});
}

void CopyDriver(const wchar_t* directory) {
  if (IsWindows64Bit())
    CopyDriver64(directory);
  else
    CopyDriver32(directory);
}

void DeleteDriver() {
  TextBuffer target = {};
  const bool haveTarget = BuildDriverTarget(target);
  if (IsWindows64Bit()) {
    Trace(L"delete driver in 64bit");
    RedirectionOff redirection(false);
    if (haveTarget) DeleteFileW(target);
  } else {
    Trace(L"delete driver in 32bit os");
    if (haveTarget) DeleteFileW(target);
  }
}
