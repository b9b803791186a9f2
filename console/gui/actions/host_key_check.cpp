#include "console/gui/actions/host_key_check.h"

#include <string>

#include "TaviClient.h"
#include "console/core/message_table.h"
#include "console/gui/actions/host_key_client.h"
#include "console/gui/actions/host_key_dialog.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"
#include "protocol/frames.h"

bool ConfirmHostKey(HWND owner, const uint8_t* storedReply, std::size_t length) {
  HostRecord record;
  if (!storedReply || !ReplyHostRecord(storedReply, length, record)) return false;
  const unsigned char* agentMac = storedReply + FrameOffset::AgentMac;
  const std::string hostName = record.hostName.str();

  char presented[TV_FINGERPRINT_CHARS] = {};
  char pinned[TV_FINGERPRINT_CHARS] = {};
  switch (QueryHostKey(agentMac, hostName.c_str(), presented, pinned)) {
    case TV_KEY_TRUSTED:
    case kHostKeysUnsupported:  // a library that pins nothing: nothing to ask
      return true;
    case TV_KEY_UNKNOWN: {
      HostKeyDialog ask(IDD_HOST_KEY_UNKNOWN, hostName, presented, "", owner);
      if (ask.RunModal() != IDYES) return false;
      break;
    }
    case TV_KEY_CHANGED: {
      HostKeyDialog refuse(IDD_HOST_KEY_CHANGED, hostName, presented, pinned, owner);
      if (refuse.RunModal() != IDC_BTN_KEY_REPLACE) return false;
      break;
    }
    case TV_KEY_STORE_UNREADABLE:
      ShowTrustStoreProblem();
      return false;
    default:
      // The host has not yet shown a key it signed for; a discovery brings one.
      ShowMessage(Status::HostKeyNotTrusted);
      return false;
  }
  // Exactly the key the user answered for: one that arrived while the dialog was open was
  // never shown, and is not pinned.
  const int pinnedResult = PinHostKey(agentMac, hostName.c_str(), presented);
  if (pinnedResult == 1) return true;
  if (pinnedResult == Status::TrustStoreUnreadable)
    ShowTrustStoreProblem();
  else
    ShowMessage(pinnedResult == 0 ? Status::HostKeyNotTrusted : static_cast<unsigned>(pinnedResult));
  return false;
}

void ShowTrustStoreProblem() {
  std::string text = MessageText(Status::TrustStoreUnreadable);
  const std::string problem = TrustStoreProblem();
  if (!problem.empty()) text += ":\r\n" + problem;
  ShowWarningMessage(text.c_str());
}
