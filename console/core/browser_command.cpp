#include "console/core/browser_command.h"

namespace {

// Position of the first `needle` that starts on a character boundary, or npos.
std::size_t FindOnCharacterBoundary(std::string_view text, std::string_view needle,
                                    LeadBytePredicate isLeadByte) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
    const bool lead = isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(text[i]));
    i += (lead && i + 1 < text.size()) ? 2 : 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string CutAtArgumentPlaceholder(std::string_view commandLine, LeadBytePredicate isLeadByte) {
  commandLine = commandLine.substr(0, commandLine.find('\0'));
  std::size_t cut = FindOnCharacterBoundary(commandLine, "\"%1\"", isLeadByte);
  if (cut == std::string_view::npos) cut = FindOnCharacterBoundary(commandLine, "%1", isLeadByte);
  return std::string(commandLine.substr(0, cut));
}

std::string BrowserFallbackCommand(std::string_view registeredCommand, std::string_view url,
                                   LeadBytePredicate isLeadByte) {
  // The address must stay one argument: a quote, a backslash (which escapes the closing
  // quote) or a control character inside it would end the argument or the line and let the
  // rest be read as further options.
  for (char c : url) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\' || u < 0x20 || u == 0x7F) return {};
  }
  std::string command = CutAtArgumentPlaceholder(registeredCommand, isLeadByte);
  command += " \"";
  command.append(url);
  command += '"';
  return command;
}
