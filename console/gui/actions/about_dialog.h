// "About Netvane" (template 100), with the notice that acknowledges the packet-capture
// library.
#pragma once

#include <windows.h>

#include <string>

#include "console/gui/dialog/dialog.h"

// The notice: the product's copyright line, a blank line, the acknowledgement and the
// library's copyright line, each ending in CR LF.
std::string AboutNoticeText();

class AboutDialog : public Dialog {
 public:
  explicit AboutDialog(HWND parent);

  std::string noticeText;  // bound to 1039

 protected:
  bool OnInitDialog() override;
};
