#include <cctype>

#include "transport/platform/adapters.h"
#include "transport/platform/test_settings.h"

namespace tavi {

namespace {
bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
}  // namespace

bool AdapterSelectedBy(const AdapterInfo& adapter, const char* selection) {
  if (selection == nullptr || *selection == '\0') return true;
  std::string list(selection);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string name = list.substr(start, end - start);
    if (SameText(name, adapter.label) || SameText(name, adapter.device) ||
        SameText(name, adapter.guid))
      return true;
    start = end + 1;
  }
  return false;
}

bool AdapterSelected(const AdapterInfo& adapter) {
  const std::string selection = TestDevices();
  return AdapterSelectedBy(adapter, selection.c_str());
}

}  // namespace tavi
