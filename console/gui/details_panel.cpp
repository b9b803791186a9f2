// Details panel of the selected host. The panel edits editRecord_, the working copy of the
// host's stored reply; the radio buttons write their adapter's DHCP flag and the host's DNS
// mode into it at once, the typed fields are collected when the adapter changes or on Apply.
#include "console/gui/details_panel.h"

#include <cstdio>
#include <cstring>

#include "TaviClient.h"
#include "console/core/host_key_texts.h"
#include "console/core/host_reply.h"
#include "console/core/os_names.h"
#include "console/gui/actions/host_key_client.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

namespace {

constexpr int kPanelControls[] = {IDC_CMB_MAC,  IDC_BTN_RESTART,    IDC_BTN_CHANGE_PASSWORD,
                                  IDC_BTN_APPLY, IDC_BTN_LAUNCH,    IDC_RB_DHCP,
                                  IDC_RB_STATIC, IDC_EDT_HOST_NAME, IDC_IPA_DNS,
                                  IDC_IPA_GATEWAY, IDC_RB_DNS_MANUAL, IDC_RB_DNS_AUTO,
                                  IDC_BTN_TEAMING};

}  // namespace

void DetailsPanel::BindTexts() {
  dialog_.BindText(IDC_EDT_HOST_NAME, &hostNameText_, kHostNameMaxChars);
  dialog_.BindText(IDC_EDT_PORT, &portText_);
  dialog_.BindText(IDC_TXT_PORT_LABEL, &portLabelText_);
  dialog_.BindText(IDC_EDT_OS_NAME, &osNameText_, 255);
  dialog_.BindText(IDC_EDT_OS_VERSION, &osVersionText_, 19);
  dialog_.BindText(IDC_EDT_INTERFACE, &interfaceText_, 19);
}

void DetailsPanel::Open() {
  selectedNic_ = 0;
  selectedHost_ = nullptr;
  editRecord_.assign(kConsoleReplyBufferLength, 0);
}

void DetailsPanel::Close() {
  selectedHost_ = nullptr;
  editRecord_.clear();
  editRecord_.shrink_to_fit();
}

void DetailsPanel::Enable(bool enable) {
  if (!enable) clearing_ = true;  // disabling the focused host-name field moves its focus
  for (int id : kPanelControls) dialog_.EnableItem(id, enable);
  clearing_ = false;
}

void DetailsPanel::EnableAddressFields(bool enable) {
  dialog_.EnableItem(IDC_IPA_ADDRESS, enable);
  dialog_.EnableItem(IDC_IPA_MASK, enable);
  dialog_.EnableItem(IDC_IPA_GATEWAY, enable);
}

void DetailsPanel::Clear() {
  clearing_ = true;
  osNameText_.clear();
  osVersionText_.clear();
  portText_.clear();
  hostNameText_.clear();
  interfaceText_.clear();
  dialog_.SetItemText(IDC_EDT_HOST_KEY, "");
  SendDlgItemMessageA(dialog_.hwnd(), IDC_CMB_MAC, CB_RESETCONTENT, 0, 0);
  dialog_.ClearAddress(IDC_IPA_DNS);
  dialog_.ClearAddress(IDC_IPA_GATEWAY);
  // Shown at once: a discovery that finds nothing must not leave the last host's details
  // beside an empty list.
  dialog_.UpdateData(false);
  clearing_ = false;
}

void DetailsPanel::ClearAddressFields() {
  dialog_.ClearAddress(IDC_IPA_ADDRESS);
  dialog_.ClearAddress(IDC_IPA_MASK);
  dialog_.ClearAddress(IDC_IPA_GATEWAY);
}

bool DetailsPanel::StoredRecord(HostRecord& out) const {
  if (!selectedHost_ || !ReplyView(selectedHost_->record).HasRecord()) return false;
  out = ReplyView(selectedHost_->record).Record();
  return true;
}

bool DetailsPanel::EditedRecord(HostRecord& out) const {
  if (!ReplyView(editRecord_).HasRecord()) return false;
  out = ReplyView(editRecord_).Record();
  return true;
}

bool DetailsPanel::EditNic(int index, NicEntry& out) const {
  if (index < 0) return false;
  std::optional<NicEntry> nic = ReplyView(editRecord_).Nic(static_cast<std::size_t>(index));
  if (nic) out = *nic;
  return nic.has_value();
}

void DetailsPanel::StoreEditNic(int index, const NicEntry& entry) {
  if (index >= 0) StoreReplyNic(editRecord_.data(), editRecord_.size(), static_cast<std::size_t>(index), entry);
}

int DetailsPanel::EditOsFamily() const {
  return ReplyView(editRecord_).Os().osFamily;
}

void DetailsPanel::ShowHostDetails(HostItem* item, int nicIndex) {
  if (!item || item->record.empty() || editRecord_.size() != kConsoleReplyBufferLength) return;
  selectedHost_ = item;
  const std::vector<uint8_t>& stored = item->record;
  const ReplyView reply(stored);
  if (!reply.HasRecord()) return;
  const HostRecord host = reply.Record();
  // An adapter the host no longer reports (a refresh with fewer adapters) shows adapter 0.
  if (nicIndex < 0 || nicIndex >= host.nicCount) nicIndex = 0;

  std::fill(editRecord_.begin(), editRecord_.end(), 0);
  std::memcpy(editRecord_.data(), stored.data(), std::min(stored.size(), editRecord_.size()));

  hostNameText_ = host.hostName.str().substr(0, kHostNameMaxChars);
  const bool rido = host.mgmtAgentType == 1;
  dialog_.SetItemText(IDC_BTN_LAUNCH, rido ? "Launch RIDO" : "Launch");
  portLabelText_ = rido ? "RIDO Port:" : "Mgmt Port:";
  char port[16];
  std::snprintf(port, sizeof port, "%lu", static_cast<unsigned long>(host.mgmtPort));
  portText_ = port;

  EnableHostActions(*item);

  osNameText_.clear();
  osVersionText_.clear();
  FormatOsName(osNameText_, osVersionText_, host.osInfo);

  char fingerprint[TV_FINGERPRINT_CHARS] = {};
  const int keyState = QueryHostKey(stored.data() + FrameOffset::AgentMac,
                                    host.hostName.str().c_str(), fingerprint, nullptr);
  dialog_.SetItemText(IDC_EDT_HOST_KEY, HostKeyPanelText(keyState, fingerprint));

  dialog_.SetAddress(IDC_IPA_DNS, host.dnsServer);

  HWND combo = dialog_.Item(IDC_CMB_MAC);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const NicEntry& nic : host.nics) {
    std::string mac = FormatMac(nic.mac);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mac.c_str()));
    if (nic.dhcpEnabled == 1) item->anyDhcp = 1;
  }
  // By position rather than by text: two adapters may carry the same address (an entry the
  // agent could not describe is all zero), and the combo index must stay selectedNic_.
  selectedNic_ = nicIndex;
  SendMessageA(combo, CB_SETCURSEL, host.nics.empty() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(nicIndex), 0);

  NicEntry shown;
  if (static_cast<std::size_t>(nicIndex) < host.nics.size()) shown = host.nics[static_cast<std::size_t>(nicIndex)];
  ShowNic(shown, host.osInfo.osFamily);
  dialog_.UpdateData(false);
}

void DetailsPanel::EnableHostActions(const HostItem& item) {
  const ReplyView reply(item.record);
  const bool ready = item.ready.load() == 1;
  dialog_.EnableItem(IDC_BTN_LAUNCH, reply.MgmtPort() != 0 && reply.AnsweringAddress() != 0 && ready);
  dialog_.EnableItem(IDC_BTN_RESTART, reply.Os().osFamily == 1 && reply.NameChangePending() && ready);
  dialog_.EnableItem(IDC_BTN_APPLY, ready);
  dialog_.EnableItem(IDC_BTN_CHANGE_PASSWORD, ready);
}

void DetailsPanel::ShowNic(const NicEntry& entry, int /*osFamily*/) {
  interfaceText_ = entry.nicName.str().substr(0, 19);
  dialog_.ShowItem(IDC_BTN_TEAMING, (entry.changeMask & kNicCanTeam) != 0);
  dialog_.SetItemText(IDC_BTN_TEAMING, (entry.changeMask & kNicIsTeamed) ? "Unteam" : "Teaming");
  if (entry.dhcpEnabled == 1) {
    dialog_.SetChecked(IDC_RB_DHCP, true);
    OnDhcp();
  } else {
    dialog_.SetChecked(IDC_RB_STATIC, true);
    OnStatic();
  }
  dialog_.UpdateData(false);
}

void DetailsPanel::OnDhcp() {
  if (editRecord_.empty()) return;
  NicEntry e;
  if (EditNic(selectedNic_, e)) {
    e.dhcpEnabled = 1;
    StoreEditNic(selectedNic_, e);
  }
  if (selectedHost_) selectedHost_->anyDhcp = 1;
  dialog_.SetAddress(IDC_IPA_ADDRESS, e.ipAddress);
  dialog_.SetAddress(IDC_IPA_MASK, e.subnetMask);
  dialog_.SetAddress(IDC_IPA_GATEWAY, e.gateway);
  EnableAddressFields(false);
  dialog_.EnableItem(IDC_RB_DNS_AUTO, true);
  dialog_.SetChecked(IDC_RB_STATIC, false);
  if (ReplyView(editRecord_).DnsStatic() != 0) {
    dialog_.SetChecked(IDC_RB_DNS_MANUAL, true);
    OnDnsManual();
  } else {
    dialog_.SetChecked(IDC_RB_DNS_AUTO, true);
    OnDnsAuto();
  }
}

void DetailsPanel::OnStatic() {
  if (editRecord_.empty()) return;
  NicEntry e;
  const bool present = EditNic(selectedNic_, e);
  if (present) {
    e.dhcpEnabled = 0;
    StoreEditNic(selectedNic_, e);
  }
  dialog_.EnableItem(IDC_RB_DNS_AUTO, false);
  dialog_.SetChecked(IDC_RB_DHCP, false);
  EnableAddressFields(true);

  // An adapter that was on DHCP gets a fresh fixed address typed in.
  std::optional<NicEntry> storedNic;
  if (selectedHost_ && selectedNic_ >= 0) {
    storedNic = ReplyView(selectedHost_->record).Nic(static_cast<std::size_t>(selectedNic_));
  }
  const bool wasDhcp = storedNic && storedNic->dhcpEnabled != 0;
  if (wasDhcp) {
    dialog_.ClearAddress(IDC_IPA_ADDRESS);
  } else {
    dialog_.SetAddress(IDC_IPA_ADDRESS, e.ipAddress);
  }
  dialog_.SetAddress(IDC_IPA_MASK, e.subnetMask);

  int anyDhcp = 0;
  dialog_.SetChecked(IDC_RB_DNS_MANUAL, true);
  dialog_.SetChecked(IDC_RB_DNS_AUTO, false);  // the radio buttons are separate groups
  for (const NicEntry& other : ReplyView(editRecord_).Record().nics) {
    if (other.dhcpEnabled == 1) anyDhcp = 1;
  }
  if (selectedHost_) selectedHost_->anyDhcp = anyDhcp;

  if (anyDhcp && EditOsFamily() == 2) {
    // A Linux host whose other adapter uses DHCP takes gateway and DNS from DHCP.
    dialog_.EnableItem(IDC_IPA_GATEWAY, false);
    dialog_.ClearAddress(IDC_IPA_GATEWAY);
    OnDnsAuto();
  } else {
    dialog_.EnableItem(IDC_IPA_GATEWAY, true);
    dialog_.SetAddress(IDC_IPA_GATEWAY, e.gateway);
    OnDnsManual();
  }
}

void DetailsPanel::OnDnsManual() {
  if (!StoreReplyDnsStatic(editRecord_.data(), editRecord_.size(), 1)) return;
  dialog_.EnableItem(IDC_IPA_DNS, true);
  dialog_.SetChecked(IDC_RB_DNS_AUTO, false);
  dialog_.SetAddress(IDC_IPA_DNS, ReplyView(editRecord_).DnsServer());
}

void DetailsPanel::OnDnsAuto() {
  if (!StoreReplyDnsStatic(editRecord_.data(), editRecord_.size(), 0)) return;
  dialog_.EnableItem(IDC_IPA_DNS, false);
  dialog_.SetChecked(IDC_RB_DNS_MANUAL, false);
  dialog_.SetAddress(IDC_IPA_DNS, ReplyView(editRecord_).DnsServer());
}

void DetailsPanel::OnMacSelChange() {
  if (editRecord_.empty()) return;
  CollectEditsIntoEditRecord(selectedNic_);
  LRESULT selection = SendDlgItemMessageA(dialog_.hwnd(), IDC_CMB_MAC, CB_GETCURSEL, 0, 0);
  selectedNic_ = selection < 0 ? 0 : static_cast<int>(selection);
  NicEntry entry;
  EditNic(selectedNic_, entry);
  ShowNic(entry, EditOsFamily());
}

void DetailsPanel::CollectPanelEdits(HostRecord& edited, int nicIndex) {
  dialog_.UpdateData(true);
  if (nicIndex == -1) {
    nicIndex = static_cast<int>(SendDlgItemMessageA(dialog_.hwnd(), IDC_CMB_MAC, CB_GETCURSEL, 0, 0));
  }
  edited.hostName.assign(hostNameText_, kHostNameMaxChars);
  if (dialog_.IsItemEnabled(IDC_IPA_DNS)) edited.dnsServer = dialog_.Address(IDC_IPA_DNS);
  if (nicIndex < 0 || static_cast<std::size_t>(nicIndex) >= edited.nics.size()) return;

  NicEntry& nic = edited.nics[static_cast<std::size_t>(nicIndex)];
  if (dialog_.IsChecked(IDC_RB_DHCP)) {
    nic.dhcpEnabled = 1;
  } else {
    nic.dhcpEnabled = 0;
    nic.ipAddress = dialog_.Address(IDC_IPA_ADDRESS);
    nic.subnetMask = dialog_.Address(IDC_IPA_MASK);
    nic.gateway = dialog_.Address(IDC_IPA_GATEWAY);
  }
  // A Linux host without DHCP adapters has one gateway for all of them.
  if (selectedHost_ && selectedHost_->anyDhcp == 0 && edited.osInfo.osFamily == 2) {
    const uint32_t gateway = nic.gateway;
    for (NicEntry& other : edited.nics) other.gateway = gateway;
  }
}

void DetailsPanel::CollectEditsIntoEditRecord(int nicIndex) {
  HostRecord edited;
  if (!EditedRecord(edited)) return;
  CollectPanelEdits(edited, nicIndex);
  StoreReplyRecord(editRecord_.data(), editRecord_.size(), edited);
}

void DetailsPanel::OnHostNameKillFocus() {
  // Only a user's edit is checked: not the program emptying or disabling the panel (a
  // discovery started by Enter in this very field), and not a console that is closing.
  if (hostNameWarningShown_ || clearing_ || !IsOpen()) return;
  if (!dialog_.IsItemEnabled(IDC_EDT_HOST_NAME)) return;
  dialog_.UpdateData(true);
  if (hostNameText_.size() >= 2) return;
  // The box takes the focus itself; guard so that focus changes while it is up cannot
  // raise it a second time.
  hostNameWarningShown_ = true;
  ShowMessage(Status::HostNameTooShort);
  hostNameWarningShown_ = false;
  SetFocus(dialog_.Item(IDC_EDT_HOST_NAME));
}

bool DetailsPanel::TakeWorkingCopy(const uint8_t* reply) {
  if (editRecord_.size() != kConsoleReplyBufferLength) return false;
  std::memcpy(editRecord_.data(), reply, kConsoleReplyBufferLength);
  return true;
}

void DetailsPanel::StoreSetupState(uint8_t setupState) {
  StoreReplySetupState(editRecord_.data(), editRecord_.size(), setupState);
}
