// Details panel of the selected host. The panel edits editRecord, the working copy of the
// host's stored reply; the radio buttons write their adapter's DHCP flag and the host's DNS
// mode into it at once, the typed fields are collected when the adapter changes or on Apply.
#include "console/main_dialog.h"

#include <cstdio>
#include <cstring>

#include "console/actions/host_key_client.h"
#include "console/actions/host_key_texts.h"
#include "console/host_reply.h"
#include "console/os_names.h"
#include "console/resource.h"
#include "console/show_message.h"

namespace {

uint8_t ByteAt(const std::vector<uint8_t>& reply, std::size_t offset) {
  return offset < reply.size() ? reply[offset] : 0;
}

uint32_t U32At(const std::vector<uint8_t>& reply, std::size_t offset) {
  return offset + 4 <= reply.size() ? LoadU32(reply.data() + offset) : 0;
}

}  // namespace

bool MainDialog::StoredRecord(HostRecord& out) const {
  return selectedHost &&
         ReplyHostRecord(selectedHost->record.data(), selectedHost->record.size(), out);
}

bool MainDialog::EditedRecord(HostRecord& out) const {
  return !editRecord.empty() && ReplyHostRecord(editRecord.data(), editRecord.size(), out);
}

bool MainDialog::EditNic(int index, NicEntry& out) const {
  return ReadReplyNic(editRecord.data(), editRecord.size(), index, out);
}

void MainDialog::StoreEditNic(int index, const NicEntry& entry) {
  WriteReplyNic(editRecord.data(), editRecord.size(), index, entry);
}

int MainDialog::EditOsFamily() const {
  return ByteAt(editRecord, ReplyOffset::OsInfo + 1);
}

void MainDialog::ShowHostDetails(HostItem* item, int nicIndex) {
  if (!item || item->record.empty() || editRecord.size() != kConsoleReplyBufferLength) return;
  const std::vector<uint8_t>& stored = item->record;
  HostRecord host;
  if (!ReplyHostRecord(stored.data(), stored.size(), host)) return;
  // An adapter the host no longer reports (a refresh with fewer adapters) shows adapter 0.
  if (nicIndex < 0 || nicIndex >= host.nicCount) nicIndex = 0;

  std::fill(editRecord.begin(), editRecord.end(), 0);
  std::memcpy(editRecord.data(), stored.data(), std::min(stored.size(), editRecord.size()));

  hostNameText = host.hostName.str().substr(0, kHostNameMaxChars);
  const bool rido = host.mgmtAgentType == 1;
  SetItemText(IDC_BTN_LAUNCH, rido ? "Launch RIDO" : "Launch");
  portLabelText = rido ? "RIDO Port:" : "Mgmt Port:";
  char port[16];
  std::snprintf(port, sizeof port, "%lu", static_cast<unsigned long>(host.mgmtPort));
  portText = port;

  const bool ready = item->ready.load() == 1;
  const unsigned char* answering = TVGetMACData(stored.data(), nullptr);
  const uint32_t answeringAddress = answering ? DecodeNicEntry(answering).ipAddress : 0;
  EnableItem(IDC_BTN_LAUNCH, host.mgmtPort != 0 && answeringAddress != 0 && ready);
  EnableItem(IDC_BTN_RESTART, host.osInfo.osFamily == 1 && host.nameChangePending != 0 && ready);
  EnableItem(IDC_BTN_APPLY, ready);
  EnableItem(IDC_BTN_CHANGE_PASSWORD, ready);

  osNameText.clear();
  osVersionText.clear();
  FormatOsName(osNameText, osVersionText, host.osInfo);

  char fingerprint[TV_FINGERPRINT_CHARS] = {};
  const int keyState = QueryHostKey(stored.data() + FrameOffset::AgentMac,
                                    host.hostName.str().c_str(), fingerprint, nullptr);
  SetItemText(IDC_EDT_HOST_KEY, HostKeyPanelText(keyState, fingerprint));

  SetAddress(IDC_IPA_DNS, host.dnsServer);

  HWND combo = Item(IDC_CMB_MAC);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const NicEntry& nic : host.nics) {
    std::string mac = FormatMac(nic.mac);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mac.c_str()));
    if (nic.dhcpEnabled == 1) item->anyDhcp = 1;
  }
  // By position rather than by text: two adapters may carry the same address (an entry the
  // agent could not describe is all zero), and the combo index must stay selectedNic.
  selectedNic = nicIndex;
  SendMessageA(combo, CB_SETCURSEL, host.nics.empty() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(nicIndex), 0);

  NicEntry shown;
  if (static_cast<std::size_t>(nicIndex) < host.nics.size()) shown = host.nics[static_cast<std::size_t>(nicIndex)];
  ShowNic(shown, host.osInfo.osFamily);
  UpdateData(false);
}

void MainDialog::ShowNic(const NicEntry& entry, int /*osFamily*/) {
  interfaceText = entry.nicName.str().substr(0, 19);
  ShowItem(IDC_BTN_TEAMING, (entry.changeMask & kNicCanTeam) != 0);
  SetItemText(IDC_BTN_TEAMING, (entry.changeMask & kNicIsTeamed) ? "Unteam" : "Teaming");
  if (entry.dhcpEnabled == 1) {
    SetChecked(IDC_RB_DHCP, true);
    OnDhcp();
  } else {
    SetChecked(IDC_RB_STATIC, true);
    OnStatic();
  }
  UpdateData(false);
}

void MainDialog::OnDhcp() {
  if (editRecord.empty()) return;
  NicEntry e;
  if (EditNic(selectedNic, e)) {
    e.dhcpEnabled = 1;
    StoreEditNic(selectedNic, e);
  }
  if (selectedHost) selectedHost->anyDhcp = 1;
  SetAddress(IDC_IPA_ADDRESS, e.ipAddress);
  SetAddress(IDC_IPA_MASK, e.subnetMask);
  SetAddress(IDC_IPA_GATEWAY, e.gateway);
  EnableAddressFields(false);
  EnableItem(IDC_RB_DNS_AUTO, true);
  SetChecked(IDC_RB_STATIC, false);
  if (ByteAt(editRecord, ReplyOffset::DnsStatic) != 0) {
    SetChecked(IDC_RB_DNS_MANUAL, true);
    OnDnsManual();
  } else {
    SetChecked(IDC_RB_DNS_AUTO, true);
    OnDnsAuto();
  }
}

void MainDialog::OnStatic() {
  if (editRecord.empty()) return;
  NicEntry e;
  const bool present = EditNic(selectedNic, e);
  if (present) {
    e.dhcpEnabled = 0;
    StoreEditNic(selectedNic, e);
  }
  EnableItem(IDC_RB_DNS_AUTO, false);
  SetChecked(IDC_RB_DHCP, false);
  EnableAddressFields(true);

  // An adapter that was on DHCP gets a fresh fixed address typed in.
  NicEntry storedNic;
  const bool wasDhcp = selectedHost &&
                       ReadReplyNic(selectedHost->record.data(), selectedHost->record.size(),
                                    selectedNic, storedNic) &&
                       storedNic.dhcpEnabled != 0;
  if (wasDhcp) {
    ClearAddress(IDC_IPA_ADDRESS);
  } else {
    SetAddress(IDC_IPA_ADDRESS, e.ipAddress);
  }
  SetAddress(IDC_IPA_MASK, e.subnetMask);

  int anyDhcp = 0;
  SetChecked(IDC_RB_DNS_MANUAL, true);
  SetChecked(IDC_RB_DNS_AUTO, false);  // the radio buttons are separate groups
  for (int i = 0; i < ReplyNicCount(editRecord.data(), editRecord.size()); ++i) {
    NicEntry other;
    if (EditNic(i, other) && other.dhcpEnabled == 1) anyDhcp = 1;
  }
  if (selectedHost) selectedHost->anyDhcp = anyDhcp;

  if (anyDhcp && EditOsFamily() == 2) {
    // A Linux host whose other adapter uses DHCP takes gateway and DNS from DHCP.
    EnableItem(IDC_IPA_GATEWAY, false);
    ClearAddress(IDC_IPA_GATEWAY);
    OnDnsAuto();
  } else {
    EnableItem(IDC_IPA_GATEWAY, true);
    SetAddress(IDC_IPA_GATEWAY, e.gateway);
    OnDnsManual();
  }
}

void MainDialog::OnDnsManual() {
  if (editRecord.size() <= ReplyOffset::DnsStatic) return;
  editRecord[ReplyOffset::DnsStatic] = 1;
  EnableItem(IDC_IPA_DNS, true);
  SetChecked(IDC_RB_DNS_AUTO, false);
  SetAddress(IDC_IPA_DNS, U32At(editRecord, ReplyOffset::DnsServer));
}

void MainDialog::OnDnsAuto() {
  if (editRecord.size() <= ReplyOffset::DnsStatic) return;
  editRecord[ReplyOffset::DnsStatic] = 0;
  EnableItem(IDC_IPA_DNS, false);
  SetChecked(IDC_RB_DNS_MANUAL, false);
  SetAddress(IDC_IPA_DNS, U32At(editRecord, ReplyOffset::DnsServer));
}

void MainDialog::OnMacSelChange() {
  if (editRecord.empty()) return;
  CollectPanelEditsIntoEditRecord(selectedNic);
  LRESULT selection = SendDlgItemMessageA(hwnd(), IDC_CMB_MAC, CB_GETCURSEL, 0, 0);
  selectedNic = selection < 0 ? 0 : static_cast<int>(selection);
  NicEntry entry;
  EditNic(selectedNic, entry);
  ShowNic(entry, EditOsFamily());
}

void MainDialog::CollectPanelEdits(HostRecord& edited, int nicIndex) {
  UpdateData(true);
  if (nicIndex == -1) {
    nicIndex = static_cast<int>(SendDlgItemMessageA(hwnd(), IDC_CMB_MAC, CB_GETCURSEL, 0, 0));
  }
  edited.hostName.assign(hostNameText, kHostNameMaxChars);
  if (IsItemEnabled(IDC_IPA_DNS)) edited.dnsServer = Address(IDC_IPA_DNS);
  if (nicIndex < 0 || static_cast<std::size_t>(nicIndex) >= edited.nics.size()) return;

  NicEntry& nic = edited.nics[static_cast<std::size_t>(nicIndex)];
  if (IsChecked(IDC_RB_DHCP)) {
    nic.dhcpEnabled = 1;
  } else {
    nic.dhcpEnabled = 0;
    nic.ipAddress = Address(IDC_IPA_ADDRESS);
    nic.subnetMask = Address(IDC_IPA_MASK);
    nic.gateway = Address(IDC_IPA_GATEWAY);
  }
  // A Linux host without DHCP adapters has one gateway for all of them.
  if (selectedHost && selectedHost->anyDhcp == 0 && edited.osInfo.osFamily == 2) {
    const uint32_t gateway = nic.gateway;
    for (NicEntry& other : edited.nics) other.gateway = gateway;
  }
}

void MainDialog::CollectPanelEditsIntoEditRecord(int nicIndex) {
  HostRecord edited;
  if (!EditedRecord(edited)) return;
  CollectPanelEdits(edited, nicIndex);
  WriteReplyHostRecord(editRecord.data(), editRecord.size(), edited);
}

void MainDialog::OnHostNameKillFocus() {
  if (hostNameWarningShown_ || closing_) return;
  UpdateData(true);
  if (hostNameText.size() >= 2) return;
  // The box takes the focus itself; guard so that focus changes while it is up cannot
  // raise it a second time.
  hostNameWarningShown_ = true;
  ShowMessage(Status::HostNameTooShort);
  hostNameWarningShown_ = false;
  SetFocus(Item(IDC_EDT_HOST_NAME));
}
