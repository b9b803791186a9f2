// Stands in for the help viewer: appends its command line to the file named by
// NETVANE_FAKE_HH_LOG and ends.
#include <windows.h>

#include <cstdio>

int main() {
  char path[MAX_PATH] = {};
  if (GetEnvironmentVariableA("NETVANE_FAKE_HH_LOG", path, MAX_PATH) == 0) return 1;
  FILE* file = std::fopen(path, "ab");
  if (!file) return 1;
  std::fprintf(file, "%s\n", GetCommandLineA());
  std::fclose(file);
  return 0;
}
