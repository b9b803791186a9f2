// Teaming / Unteam and Restart Computer: short authenticated requests followed by a poll.
#include "console/core/action_requests.h"
#include "console/core/os_names.h"
#include "console/gui/actions/action_texts.h"
#include "console/gui/actions/host_key_check.h"
#include "console/gui/actions/verify_password_dialog.h"
#include "console/gui/main_dialog.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

// Asks for an administrator, sends the short request `code` (Team, Unteam or Restart) behind the
// wait dialog and shows a failure. The button that started it is enabled again unless the
// request succeeded; returns the host the request went to when it did, null otherwise.
HostItem* MainDialog::RunShortAction(uint32_t code, int buttonId) {
  EnableItem(buttonId, false);
  UpdateData(true);
  HostRecord stored;
  if (panel.selectedHost() == nullptr || !panel.StoredRecord(stored)) {
    EnableItem(buttonId, true);
    return nullptr;
  }
  if (!ConfirmHostKey(hwnd(), panel.selectedHost()->record.data(), panel.selectedHost()->record.size())) {
    EnableItem(buttonId, true);
    return nullptr;
  }
  VerifyPasswordDialog verify(OsShortName(stored.osInfo), stored.osInfo.osFamily, hwnd());
  if (verify.RunModal() != IDOK) {
    EnableItem(buttonId, true);
    return nullptr;
  }
  std::vector<uint8_t> request =
      BuildShortActionRequest(code, panel.editRecord().data(), panel.editRecord().size(), stored,
                              {verify.resultUser, verify.resultPassword});
  verify.WipeSecrets();  // the request holds them now
  if (request.empty()) {
    EnableItem(buttonId, true);
    return nullptr;
  }

  HostItem* host = panel.selectedHost();
  uint8_t reply[kConsoleShortReplyLength] = {};
  const int result = RunRequest(request.data(), reply);
  WipeSecret(request);
  if (!panel.IsOpen() || panel.selectedHost() != host) return nullptr;

  const uint16_t status = ReplyView(reply, sizeof reply).Status();
  if (result == 0 || status != Status::Ok) {
    ShowMessage(result == 0 ? Status::AdapterOpenFailed : status);
    EnableItem(IDC_BTN_APPLY, true);
    EnableItem(buttonId, true);
    return nullptr;
  }
  return host;
}

void MainDialog::OnTeaming() {
  const uint32_t code = TeamingRequestCode(ItemText(IDC_BTN_TEAMING));
  HostItem* host = RunShortAction(code, IDC_BTN_TEAMING);
  if (!host) return;
  EnableItem(IDC_BTN_DISCOVER, false);
  EnableItem(IDC_BTN_APPLY, false);
  EnableItem(IDC_BTN_LAUNCH, false);
  EnableItem(IDC_BTN_TEAMING, false);
  PollHost(host);
  ShowInfoMessage(code == Request::Team ? kTeamingSucceededText : kUnteamingSucceededText);
}

void MainDialog::OnRestart() {
  HostItem* host = RunShortAction(Request::Restart, IDC_BTN_RESTART);
  if (!host) return;
  // The message comes first: the host is going down, and the poll waits for it to return.
  ShowInfoMessage(kRestartingText);
  if (!panel.IsOpen() || panel.selectedHost() != host) return;
  EnableItem(IDC_BTN_DISCOVER, false);
  EnableItem(IDC_BTN_RESTART, false);
  EnableItem(IDC_BTN_APPLY, false);
  EnableItem(IDC_BTN_LAUNCH, false);
  EnableItem(IDC_BTN_CHANGE_PASSWORD, false);
  PollHost(host);
}
