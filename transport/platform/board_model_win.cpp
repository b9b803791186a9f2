#include <windows.h>

#include <vector>

#include "transport/core/smbios.h"
#include "transport/platform/board_model.h"

namespace tavi {

std::string ReadBoardModel() {
  // Looked up by name: older systems have no firmware-table interface.
  using GetTable = UINT(WINAPI*)(DWORD, DWORD, PVOID, DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto get = kernel ? reinterpret_cast<GetTable>(
                          reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemFirmwareTable")))
                    : nullptr;
  if (get == nullptr) return {};
  constexpr DWORD kRawSmbios = ('R' << 24) | ('S' << 16) | ('M' << 8) | 'B';
  const UINT size = get(kRawSmbios, 0, nullptr, 0);
  if (size == 0 || size > (1u << 24)) return {};
  std::vector<uint8_t> table(size);
  const UINT got = get(kRawSmbios, 0, table.data(), size);
  if (got == 0 || got > size) return {};
  return BaseboardProduct(table.data(), got);
}

}  // namespace tavi
