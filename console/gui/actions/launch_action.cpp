// Launch: the host's web management page in the user's browser; nothing goes to the agent.
#include "console/core/launch_guard.h"
#include "console/core/launch_string.h"
#include "console/core/open_in_browser.h"
#include "console/gui/main_dialog.h"
#include "console/gui/show_message.h"

void MainDialog::OnLaunch() {
  HostRecord stored;
  if (panel.selectedHost() == nullptr || !panel.StoredRecord(stored)) return;
  // The page is reached at the address of the adapter that answered the console.
  const uint32_t address = ReplyView(panel.selectedHost()->record).AnsweringAddress();
  const std::string_view launchTemplate(stored.mgmtLaunchString.bytes.data(),
                                        stored.mgmtLaunchString.bytes.size());
  const std::string url = SubstituteLaunchString(launchTemplate, address, stored.mgmtPort);
  // The template comes from the segment: anything but a plain web page is not opened.
  if (CheckLaunchAddress(url, address) != LaunchRefusal::None) {
    ShowMessage(Status::LaunchRefused);
    return;
  }
  OpenInBrowser(url.c_str(), SW_SHOWNORMAL);
}
