// The console's host list under load: Netvane.exe beside the scripted transport, which
// answers one discovery with N hosts (default 1000) as fast as the console takes them. Prints
// the time from the Discover click until every row is listed and the discovery has ended,
// then the time of a sort by each column (a header click until the console serves messages
// again). Run under Wine with a display: console_list_bench.exe [N]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/gui/resource.h"
#include "console_driver.h"

namespace {

using namespace driver;

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
}

// N hosts with names, models, systems, adapter counts and addresses in no sorted order.
std::string Script(int count) {
  static const char* const kOs[] = {"1,1,2,1,5,2,3790,2,2", "1,1,2,0,5,1,2600,3,0",
                                    "1,2,0,0,9,0,0x0814141C,2,0", "1,1,3,1,6,1,7601,1,0"};
  std::string script;
  char line[256];
  for (int i = 0; i < count; ++i) {
    const unsigned key = (static_cast<unsigned>(i) * 7919u) % 10007u;
    std::snprintf(line, sizeof line, "host name=H%05u model=M%u setup=%u os=%s answer=0\n", key,
                  key % 13, key % 5 == 3 ? 4 : key % 5, kOs[key % 4]);
    script += line;
    for (unsigned n = 0; n <= key % 3; ++n) {
      std::snprintf(line, sizeof line,
                    "nic mac=02:00:%02x:%02x:%02x:%02x dhcp=%u ip=10.%u.%u.%u mask=255.0.0.0 gw=10.0.0.1\n",
                    n, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF, key & 1, key % 200, i % 250,
                    1 + n);
      script += line;
    }
  }
  return script;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (count < 1 || count > 60000) {
    std::fprintf(stderr, "usage: console_list_bench [N, 1..60000]\n");
    return 2;
  }
  const std::string bin = ProgramFolder();
  const std::string folder = bin + "\\..\\console-list-bench";
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* file : {"Netvane.exe", "TaviClient.dll"}) {
    const std::string from = bin + (file[0] == 'T' ? "\\..\\console-fake\\" : "\\") + file;
    if (!CopyFileA(from.c_str(), (folder + "\\" + file).c_str(), FALSE)) {
      std::fprintf(stderr, "cannot copy %s\n", from.c_str());
      return 1;
    }
  }
  DeleteFileA((folder + "\\Netvane.cfg").c_str());

  Console console(folder, Script(count));
  if (!console.Start()) {
    std::fprintf(stderr, "the console did not start\n");
    return 1;
  }
  HWND list = GetDlgItem(console.main(), IDC_LST_HOSTS);
  const LARGE_INTEGER start = Now();
  PostClick(console.main(), IDC_BTN_DISCOVER);
  // Every row listed, then the discovery's end: Discover is given back after the final sort.
  const bool listed = WaitFor([&] { return ListRowCount(list) >= count; }, 120000);
  const LARGE_INTEGER rows = Now();
  const bool ended = listed && WaitFor([&] { return Enabled(console.main(), IDC_BTN_DISCOVER); }, 120000);
  const LARGE_INTEGER done = Now();
  if (!ended) {
    std::fprintf(stderr, "only %d of %d rows were listed\n", ListRowCount(list), count);
    return 1;
  }
  std::printf("console list, %d discovery replies through the scripted transport\n", count);
  std::printf("  listed:  %8.1f ms (all rows)\n", Milliseconds(start, rows));
  std::printf("  ended:   %8.1f ms (sorted, first host selected, Discover back)\n",
              Milliseconds(start, done));

  // A header click sorts on the interface thread and moves the header's mark before it
  // sorts; a message sent to the list is served only once that handler has returned.
  static const char* const kColumns[] = {"state", "Host", "Model", "OS", "NIC#", "IP"};
  for (int column = 0; column < 6; ++column) {
    const int before = HeaderImage(list, column);
    const LARGE_INTEGER from = Now();
    ClickHeader(list, column);
    if (!WaitFor([&] { return HeaderImage(list, column) != before; }, 60000)) {
      std::fprintf(stderr, "the click on column %d did not sort\n", column);
      return 1;
    }
    std::printf("  sort %-6s %6.1f ms\n", kColumns[column], Milliseconds(from, Now()));
  }
  console.Close();
  return 0;
}
