#include "console/gui/actions/about_dialog.h"

#include "console/gui/actions/about_text.h"
#include "console/gui/resource.h"

std::string AboutNoticeText() {
  return NETVANE_COPYRIGHT_TEXT "\r\n"
         "\r\n" NETVANE_PCAP_ACKNOWLEDGEMENT "\r\n" NETVANE_PCAP_COPYRIGHT "\r\n";
}

AboutDialog::AboutDialog(HWND parent) : Dialog(IDD_ABOUTBOX, parent) {
  BindText(IDC_EDT_ABOUT_NOTICE, &noticeText);
}

bool AboutDialog::OnInitDialog() {
  noticeText = AboutNoticeText();
  UpdateData(false);
  // Always from the first line, however often the box is opened.
  SendDlgItemMessageA(hwnd(), IDC_EDT_ABOUT_NOTICE, EM_SETSEL, 0, 0);
  SendDlgItemMessageA(hwnd(), IDC_EDT_ABOUT_NOTICE, EM_SCROLLCARET, 0, 0);
  return true;
}
