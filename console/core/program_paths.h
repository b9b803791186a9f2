// Files that live beside the program: the configuration file and the help file.
#pragma once

#include <string>
#include <string_view>

constexpr std::size_t kConfigPathCapacity = 256;   // characters, terminator included
constexpr std::size_t kHelpCommandCapacity = 512;  // bytes, terminator included

// The program file's directory: its full path cut at the last backslash ("." when the path
// has none).
std::string ProgramDirectory(std::string_view programPath);

// "<directory>\Netvane.cfg", or empty when it would not fit in 255 characters: a cut path
// would name another file.
std::string ConfigFilePath(std::string_view programPath);

// hh.exe "<directory>\Netvane.chm::/Index.htm"; quoted so that blanks in the directory are
// kept. Empty when it would not fit in 511 bytes.
std::string HelpCommandLine(std::string_view programPath);
