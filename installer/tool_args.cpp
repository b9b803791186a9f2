#include "installer/tool_args.h"

#include <windows.h>
#include <shellapi.h>

namespace {

bool CopyArg(TextBuffer& out, const wchar_t* arg) { return JoinText(out, {arg}); }

}  // namespace

ToolArgs ParseToolArgs(const char* commandTail) {
  ToolArgs args;
  if (commandTail == nullptr) return args;

  TextBuffer wide = {};
  if (MultiByteToWideChar(CP_ACP, 0, commandTail, -1, wide, static_cast<int>(kTextChars)) == 0)
    return args;  // longer than the buffer: better nothing than a cut directory

  // CommandLineToArgvW turns an empty or blank line into the program's own path.
  const wchar_t* text = wide;
  while (*text == L' ' || *text == L'\t') ++text;
  if (*text == L'\0') return args;

  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(text, &count);
  if (argv == nullptr) return args;
  if (count >= 1 && CopyArg(args.first, argv[0])) {
    if (lstrcmpiW(args.first, L"-install") == 0)
      args.command = ToolCommand::Install;
    else if (lstrcmpiW(args.first, L"-delete") == 0)
      args.command = ToolCommand::Delete;
    else if (lstrcmpiW(args.first, L"-fingerprint") == 0)
      args.command = ToolCommand::Fingerprint;
    else if (lstrcmpiW(args.first, L"-configure") == 0)
      args.command = ToolCommand::Configure;
    args.hasDirectory = count >= 2 && CopyArg(args.directory, argv[1]);
  }
  LocalFree(argv);
  return args;
}
