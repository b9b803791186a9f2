// The tool's command line: a command and, for -install, a directory.
#pragma once

#include "installer/text_buffer.h"

enum class ToolCommand { None, Install, Delete, Fingerprint, Configure };

struct ToolArgs {
  ToolCommand command = ToolCommand::None;
  TextBuffer first = {};      // the first argument as given (traced by the commands)
  TextBuffer directory = {};  // the second argument, used as given
  bool hasDirectory = false;
};

// Parses the command-line text that follows the program name, in the ANSI code page.
// It is converted to wide characters and split by CommandLineToArgvW. Text that does not
// fit the buffer, or no argument at all, gives ToolCommand::None.
ToolArgs ParseToolArgs(const char* commandTail);
