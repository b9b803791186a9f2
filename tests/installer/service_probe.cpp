// Test helper for the installer tests: reads back and drives services from inside a
// Wine prefix, where the shell cannot reach the service control manager.
//   query NAME                 state, configuration and DependOnService, or "missing"
//   create NAME BINARY         own-process, demand-start service, started at once
//   stop NAME                  sends STOP
//   wait NAME STATE MS         waits until the service reports STATE (numeric)
//   recovery NAME              description and failure actions, as far as the manager keeps them
//   attrib PATH                file attributes in hex, or "missing"
//   dacl PATH                  one line per ACE of the file's DACL: type flags mask SID
//   grant PATH SID             adds an ACE giving SID (e.g. S-1-5-32-545, Users) modify rights,
//                              inherited by files and folders, as Explorer's "Modify" does
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

SC_HANDLE OpenNamed(SC_HANDLE manager, const wchar_t* name) {
  return OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
}

// The manager under Wine hands back no dependencies: read what it stored instead.
void PrintDependencies(const wchar_t* name) {
  wchar_t keyPath[300];
  std::swprintf(keyPath, 300, L"SYSTEM\\CurrentControlSet\\Services\\%ls", name);
  wchar_t value[512] = {};
  DWORD size = sizeof(value) - 2 * sizeof(wchar_t);
  DWORD type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  const LONG result = RegQueryValueExW(key, L"DependOnService", nullptr, &type,
                                       reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return;
  std::printf("dependtype=%lu\ndepends=", type);
  for (const wchar_t* entry = value; *entry != L'\0'; entry += std::wcslen(entry) + 1)
    std::printf("%ls%ls", entry == value ? L"" : L",", entry);
  std::printf("\n");
}

int Query(SC_HANDLE manager, const wchar_t* name) {
  SC_HANDLE service = OpenNamed(manager, name);
  if (service == nullptr) {
    std::printf("missing\n");
    return 0;
  }
  SERVICE_STATUS status = {};
  if (QueryServiceStatus(service, &status)) std::printf("state=%lu\n", status.dwCurrentState);
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + 16);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) {
    std::printf("type=%lu\nstart=%lu\nerror=%lu\nbinary=%ls\ngroup=%ls\ndisplay=%ls\n",
                config->dwServiceType, config->dwStartType, config->dwErrorControl,
                config->lpBinaryPathName, config->lpLoadOrderGroup, config->lpDisplayName);
  }
  CloseServiceHandle(service);
  PrintDependencies(name);
  return 0;
}

// Wine's manager keeps the description but only acknowledges the failure actions; their
// content is checked by the unit test of the tool's table.
int Recovery(SC_HANDLE manager, const wchar_t* name) {
  SC_HANDLE service = OpenNamed(manager, name);
  if (service == nullptr) return static_cast<int>(GetLastError());
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  if (QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &needed)) {
    const auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
    std::printf("description=%ls\n", description->lpDescription ? description->lpDescription : L"");
  }
  CloseServiceHandle(service);
  return 0;
}

int Create(SC_HANDLE manager, const wchar_t* name, const wchar_t* binary) {
  SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, binary, nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
  if (service == nullptr) return static_cast<int>(GetLastError());
  const int result = StartServiceW(service, 0, nullptr) ? 0 : static_cast<int>(GetLastError());
  CloseServiceHandle(service);
  return result;
}

int Stop(SC_HANDLE manager, const wchar_t* name) {
  SC_HANDLE service = OpenNamed(manager, name);
  if (service == nullptr) return static_cast<int>(GetLastError());
  SERVICE_STATUS status = {};
  const int result =
      ControlService(service, SERVICE_CONTROL_STOP, &status) ? 0 : static_cast<int>(GetLastError());
  CloseServiceHandle(service);
  return result;
}

int Wait(SC_HANDLE manager, const wchar_t* name, DWORD state, DWORD timeoutMs) {
  SC_HANDLE service = OpenNamed(manager, name);
  if (service == nullptr) return static_cast<int>(GetLastError());
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  SERVICE_STATUS status = {};
  int result = 1;
  while (QueryServiceStatus(service, &status)) {
    if (status.dwCurrentState == state) {
      result = 0;
      break;
    }
    if (GetTickCount64() >= deadline) break;
    Sleep(20);
  }
  CloseServiceHandle(service);
  return result;
}

int Attributes(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    std::printf("missing\n");
  else
    std::printf("%#lx\n", attributes);
  return 0;
}

int PrintDacl(const wchar_t* path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) return static_cast<int>(result);
  if (dacl == nullptr) std::printf("null\n");
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) break;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(&ace->SidStart, &sid);
    std::printf("%u %#x %#lx %ls\n", header->AceType, header->AceFlags, ace->Mask,
                sid != nullptr ? sid : L"?");
    LocalFree(sid);
  }
  LocalFree(descriptor);
  return 0;
}

int Grant(const wchar_t* path, const wchar_t* sidText) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidW(sidText, &sid)) return static_cast<int>(GetLastError());
  PACL old = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD result = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, &old, nullptr, &descriptor);
  if (result == ERROR_SUCCESS) {
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    PACL updated = nullptr;
    result = SetEntriesInAclW(1, &access, old, &updated);
    if (result == ERROR_SUCCESS) {
      result = SetNamedSecurityInfoW(const_cast<wchar_t*>(path), SE_FILE_OBJECT,
                                     DACL_SECURITY_INFORMATION, nullptr, nullptr, updated, nullptr);
      LocalFree(updated);
    }
    LocalFree(descriptor);
  }
  LocalFree(sid);
  return static_cast<int>(result);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"attrib") == 0) return Attributes(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"dacl") == 0) return PrintDacl(argv[2]);
  if (argc == 4 && std::wcscmp(argv[1], L"grant") == 0) return Grant(argv[2], argv[3]);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return static_cast<int>(GetLastError());
  int result = 2;
  if (argc == 3 && std::wcscmp(argv[1], L"query") == 0)
    result = Query(manager, argv[2]);
  else if (argc == 4 && std::wcscmp(argv[1], L"create") == 0)
    result = Create(manager, argv[2], argv[3]);
  else if (argc == 3 && std::wcscmp(argv[1], L"recovery") == 0)
    result = Recovery(manager, argv[2]);
  else if (argc == 3 && std::wcscmp(argv[1], L"stop") == 0)
    result = Stop(manager, argv[2]);
  else if (argc == 5 && std::wcscmp(argv[1], L"wait") == 0)
    result = Wait(manager, argv[2], std::wcstoul(argv[3], nullptr, 10),
                  std::wcstoul(argv[4], nullptr, 10));
  CloseServiceHandle(manager);
  std::fflush(stdout);
  return result;
}
