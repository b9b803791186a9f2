// The details panel of the selected host (the controls below the list): its texts, the
// working copy `editRecord` that the panel edits, the adapter shown, and the handlers of its
// own controls. Interface thread only.
//
// The panel reaches its controls through the main dialog's control helpers; it owns no
// window. Apply and the other actions read the edits from here (CollectEditsIntoEditRecord,
// StoredRecord, EditedRecord).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/gui/dialog/dialog.h"
#include "console/gui/host_item.h"
#include "protocol/frames.h"
#include "protocol/reply_view.h"

class DetailsPanel {
 public:
  explicit DetailsPanel(Dialog& dialog) : dialog_(dialog) {}
  DetailsPanel(const DetailsPanel&) = delete;
  DetailsPanel& operator=(const DetailsPanel&) = delete;

  // Binds the text members to their controls (1003, 1004, 1040, 1006, 1007, 1009).
  void BindTexts();
  // The working copy exists from initialisation until Close().
  void Open();
  void Close();
  bool IsOpen() const { return !editRecord_.empty(); }

  // --- State (changed only through the operations below) ------------------------------------
  // The row whose host fills the panel, or null.
  HostItem* selectedHost() const { return selectedHost_; }
  int selectedNic() const { return selectedNic_; }
  // Working copy of the selected host's reply (596 bytes, reply layout); empty when closed.
  const std::vector<uint8_t>& editRecord() const { return editRecord_; }

  // --- Operations ----------------------------------------------------------------------------
  void Enable(bool enable);  // the controls of EnablePanel, in their order
  void EnableAddressFields(bool enable);
  // Empties the texts and the adapter list. The program's own clearing: the host-name
  // field's loss of focus meanwhile is not a user's edit and is not checked.
  void Clear();
  void ClearAddressFields();
  // No row is shown any more (a new discovery empties the list).
  void Deselect() { selectedHost_ = nullptr; }
  // A 596-byte reply buffer becomes the working copy (an Apply's answer, a refresh of the
  // shown host); false when the panel is closed.
  bool TakeWorkingCopy(const uint8_t* reply);
  // The setup state a password change reported, in the working copy.
  void StoreSetupState(uint8_t setupState);
  // Fills the panel from the item's stored reply and shows adapter nicIndex.
  void ShowHostDetails(HostItem* item, int nicIndex);
  // Launch, Restart Computer, Apply and Change Password as the host's stored record allows,
  // all off while a poll of the host is still under way.
  void EnableHostActions(const HostItem& item);
  void ShowNic(const NicEntry& entry, int osFamily);
  // Copies the panel into `edited`; nicIndex -1 = the card selected in the MAC combo box.
  void CollectPanelEdits(HostRecord& edited, int nicIndex);
  // The same, into the host record held in editRecord.
  void CollectEditsIntoEditRecord(int nicIndex);
  // Decoded host records of the selected row's stored reply and of editRecord; false when
  // there is no selected host / no working copy.
  bool StoredRecord(HostRecord& out) const;
  bool EditedRecord(HostRecord& out) const;

  // --- Handlers of the panel's controls -----------------------------------------------------
  void OnMacSelChange();
  void OnDhcp();
  void OnStatic();
  void OnDnsManual();
  void OnDnsAuto();
  void OnHostNameKillFocus();

 private:
  bool EditNic(int index, NicEntry& out) const;
  void StoreEditNic(int index, const NicEntry& entry);
  int EditOsFamily() const;

  Dialog& dialog_;
  std::string hostNameText_;                 // 1003, at most 32 characters
  std::string portText_;                     // 1004
  std::string portLabelText_ = "Mgmt Port:"; // 1040
  std::string osNameText_;                   // 1006
  std::string osVersionText_;                // 1007
  std::string interfaceText_;                // 1009
  HostItem* selectedHost_ = nullptr;
  std::vector<uint8_t> editRecord_;
  int selectedNic_ = 0;
  bool hostNameWarningShown_ = false;  // guards against re-entry while message 10003 is up
  bool clearing_ = false;              // the program is emptying and disabling the panel
};
