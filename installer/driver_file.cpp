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

bool FileExists(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool NonEmptyFile(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  return GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

bool IsRecorded(const wchar_t* path, const FileDigest* recorded) {
  FileDigest digest{};
  return recorded != nullptr && DigestFile(path, digest) && digest == *recorded;
}

// Another product's npf.sys (WinPcap and the programs built on it) is never replaced.
DriverCopy CopyWritable(const wchar_t* source, const wchar_t* target, const FileDigest* recorded,
                        FileDigest& digest) {
  if (!NonEmptyFile(source)) return DriverCopy::NoSource;
  if (FileExists(target) && !IsRecorded(target, recorded)) return DriverCopy::ForeignTarget;
  if (!CopyFileW(source, target, FALSE)) return DriverCopy::Failed;
  const DWORD attributes = GetFileAttributesW(target);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesW(target, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return DigestFile(target, digest) ? DriverCopy::Copied : DriverCopy::Failed;
}

DriverCopy CopyDriver32(const wchar_t* directory, const FileDigest* recorded, FileDigest& digest) {
  Trace(L"copy driver in 32bit os");
  TextBuffer source = {};
  const bool haveSource = JoinText(source, {directory, kDriver32SourceName});
  Trace(L"source driver path");
  Trace(source);
  TextBuffer target = {};
  const bool haveTarget = BuildDriverTarget(target);
  Trace(L"target driver path");
  Trace(target);
  if (!haveSource || !haveTarget) return DriverCopy::NoSource;
  return CopyWritable(source, target, recorded, digest);
}

DriverCopy CopyDriver64(const wchar_t* directory, const FileDigest* recorded, FileDigest& digest) {
  Trace(L"copy in 64bit os");
  RedirectionOff redirection(true);
  const WORD architecture = NativeArchitecture();
  const wchar_t* name = Driver64SourceName(architecture);
  if (name == nullptr) return DriverCopy::NoSource;
  Trace(architecture == PROCESSOR_ARCHITECTURE_IA64 ? L"IA64 and 64bit os"
                                                     : L"AMD64 and 64bit os");
  TextBuffer source = {};
  TextBuffer target = {};
  if (!JoinText(source, {directory, name}) || !BuildDriverTarget(target))
    return DriverCopy::NoSource;
  return CopyWritable(source, target, recorded, digest);
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

DriverCopy CopyDriver(const wchar_t* directory, const FileDigest* recorded, FileDigest& digest) {
  return IsWindows64Bit() ? CopyDriver64(directory, recorded, digest)
                          : CopyDriver32(directory, recorded, digest);
}

DriverRemoval DeleteDriver(const FileDigest* recorded) {
  TextBuffer target = {};
  const bool haveTarget = BuildDriverTarget(target);
  const bool wow64 = IsWindows64Bit();
  Trace(wow64 ? L"delete driver in 64bit" : L"delete driver in 32bit os");
  RedirectionOff redirection(false);
  if (!haveTarget || !FileExists(target)) return DriverRemoval::Absent;
  if (!IsRecorded(target, recorded)) return DriverRemoval::NotOurs;
  return DeleteFileW(target) ? DriverRemoval::Deleted : DriverRemoval::Failed;
}
