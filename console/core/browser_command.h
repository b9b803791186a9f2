// The fallback when the shell cannot open a page: the command line registered for ".htm"
// files, with its document argument replaced by the page address.
#pragma once

#include <string>
#include <string_view>

// Tells whether a byte starts a two-byte character of the ANSI code page.
using LeadBytePredicate = bool (*)(unsigned char);

// The registered command line cut before its argument placeholder: at the opening quote of
// "\"%1\"" when there is one, else at "%1", else whole. The search steps over two-byte
// characters so that a trail byte is never taken for '%' or '"'.
std::string CutAtArgumentPlaceholder(std::string_view commandLine,
                                     LeadBytePredicate isLeadByte = nullptr);

// The command to run: the cut command line, a blank, and the address in double quotes, so
// that the browser sees it as one argument. Empty (nothing to run) when the address holds a
// double quote, a backslash or a control character.
std::string BrowserFallbackCommand(std::string_view registeredCommand, std::string_view url,
                                   LeadBytePredicate isLeadByte = nullptr);
