#include <net/if.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "transport/platform/adapters.h"

namespace tavi {

namespace {
std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool ParseMac(const std::string& text, Mac& mac) {
  unsigned v[6];
  if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4],
                  &v[5]) != 6)
    return false;
  for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(v[i]);
  return true;
}

std::vector<AdapterInfo> EthernetInterfaces() {
  std::vector<AdapterInfo> list;
  struct if_nameindex* names = if_nameindex();
  if (names == nullptr) return list;
  for (auto* n = names; n->if_index != 0 && n->if_name != nullptr; ++n) {
    const std::string base = std::string("/sys/class/net/") + n->if_name;
    if (ReadLine(base + "/type") != "1") continue;  // ARPHRD_ETHER only: no loopback
    AdapterInfo info;
    info.device = n->if_name;
    info.label = n->if_name;
    info.ifIndex = n->if_index;
    if (!ParseMac(ReadLine(base + "/address"), info.mac)) continue;
    list.push_back(info);
  }
  if_freenameindex(names);
  std::sort(list.begin(), list.end(),
            [](const AdapterInfo& a, const AdapterInfo& b) { return a.ifIndex < b.ifIndex; });
  return list;
}
}  // namespace

std::vector<AdapterInfo> ListConsoleAdapters() { return EthernetInterfaces(); }

std::vector<AdapterInfo> ListAgentSlots() { return EthernetInterfaces(); }

bool AdapterLinkUp(const AdapterInfo& adapter) {
  return !adapter.label.empty() &&
         ReadLine("/sys/class/net/" + adapter.label + "/carrier") == "1";
}

}  // namespace tavi
