#include "console/core/program_paths.h"

std::string ProgramDirectory(std::string_view programPath) {
  programPath = programPath.substr(0, programPath.find('\0'));
  const std::size_t slash = programPath.rfind('\\');
  if (slash == std::string_view::npos) return ".";
  return std::string(programPath.substr(0, slash));
}

std::string ConfigFilePath(std::string_view programPath) {
  std::string path = ProgramDirectory(programPath) + "\\Netvane.cfg";
  if (path.size() >= kConfigPathCapacity) return {};
  return path;
}

std::string HelpCommandLine(std::string_view programPath) {
  std::string command =
      "hh.exe \"" + ProgramDirectory(programPath) + "\\Netvane.chm::/Index.htm\"";
  if (command.size() >= kHelpCommandCapacity) return {};
  return command;
}
