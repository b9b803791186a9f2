// Apply: the panel's edits of the selected host as one ApplySettings request.
#include "console/core/action_requests.h"
#include "console/core/os_names.h"
#include "console/gui/actions/action_texts.h"
#include "console/gui/actions/host_key_check.h"
#include "console/gui/actions/verify_password_dialog.h"
#include "console/gui/main_dialog.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

void MainDialog::OnApply() {
  EnableItem(IDC_BTN_APPLY, false);
  UpdateData(true);
  HostRecord stored;
  if (panel.selectedHost() == nullptr || !panel.StoredRecord(stored) ||
      panel.editRecord().size() < kConsoleReplyBufferLength) {
    EnableItem(IDC_BTN_APPLY, true);
    return;
  }
  if (!ConfirmHostKey(hwnd(), panel.selectedHost()->record.data(), panel.selectedHost()->record.size())) {
    EnableItem(IDC_BTN_APPLY, true);
    return;
  }
  VerifyPasswordDialog verify(OsShortName(stored.osInfo), stored.osInfo.osFamily, hwnd());
  if (verify.RunModal() != IDOK) {
    EnableItem(IDC_BTN_APPLY, true);
    return;
  }
  panel.CollectEditsIntoEditRecord(-1);
  HostRecord edited;
  std::vector<uint8_t> request;
  if (panel.EditedRecord(edited)) {
    request = BuildApplyRequest(panel.editRecord().data(), panel.editRecord().size(), stored, edited,
                                {verify.resultUser, verify.resultPassword});
  }
  verify.WipeSecrets();  // the request holds them now
  if (request.empty()) {
    EnableItem(IDC_BTN_APPLY, true);
    return;
  }

  HostItem* host = panel.selectedHost();
  // The reply buffer starts as the working copy: the transport writes only what came back.
  std::vector<uint8_t> reply = panel.editRecord();
  const int result = RunRequest(request.data(), reply.data());
  WipeSecret(request);
  // The console closed while the request ran: nothing left to update.
  if (!panel.IsOpen() || panel.selectedHost() != host) return;
  panel.TakeWorkingCopy(reply.data());

  if (result == 0) {
    ShowMessage(Status::AdapterOpenFailed);
    EnableItem(IDC_BTN_APPLY, true);
    return;
  }
  // Without an agent's answer the buffer still holds the panel's unconfirmed edits, which
  // must not become the stored record (a second Apply would find nothing changed).
  const ReplyView answer(panel.editRecord());
  const uint16_t status = answer.Status();
  if (answer.HoldsAgentRecord()) UpdateSelectedHost(host, panel.editRecord().data());
  if (status != Status::Ok) {
    ShowMessage(status);
    EnableItem(IDC_BTN_APPLY, true);
    return;
  }
  // Until the host answers with its new settings nothing more may be sent to it.
  EnableItem(IDC_BTN_DISCOVER, false);
  EnableItem(IDC_BTN_CHANGE_PASSWORD, false);
  EnableItem(IDC_BTN_APPLY, false);
  EnableItem(IDC_BTN_LAUNCH, false);
  PollHost(host);
  ShowInfoMessage(kSettingSucceededText);
}
