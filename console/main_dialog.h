// The console's main window: dialog 102 with the host list, the details panel and the
// action buttons. Its handlers live in one file per feature:
//   main_dialog.cpp       initialisation, message routing, close, device changes
//   discovery.cpp         workers, Discover, RunRequest, polls and the busy animation
//   host_list.cpp         rows, in-place updates, selection, sorting
//   details_panel.cpp     the panel of the selected host
//   actions/*.cpp         Apply, passwords, teaming, restart, launch, options, About, help
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TaviClient.h"
#include "console/dialog/dialog.h"
#include "console/host_item.h"
#include "console/window_messages.h"
#include "console/work_item.h"
#include "protocol/frames.h"

class WaitDialog;

// A row whose icon is animated while its host is polled.
struct BusySlot {
  HostItem* item = nullptr;
  uint32_t frame = 0;
};
constexpr std::size_t kBusySlotCount = 64;

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollTimerPeriodMs = 500;
constexpr const char* kMainWindowTitle = "Orvane Network Utility 1.8";

// The main dialog's window, for the discovery hook, which gets no context of its own.
extern std::atomic<HWND> mainWindowHandle;
// Column of the last sort by header click.
extern int lastSortColumn;

class MainDialog : public Dialog {
 public:
  MainDialog();
  ~MainDialog() override;

  // --- State ---------------------------------------------------------------------------------
  std::string hostNameText;                 // 1003, at most 32 characters
  std::string portText;                     // 1004
  std::string portLabelText = "Mgmt Port:"; // 1040
  std::string osNameText;                   // 1006
  std::string osVersionText;                // 1007
  std::string interfaceText;                // 1009
  HostItem* selectedHost = nullptr;         // the row shown in the panel
  // Working copy of the selected host's reply (596 bytes, reply layout) that the panel
  // edits; empty before initialisation and after the close sequence.
  std::vector<uint8_t> editRecord;
  int selectedNic = 0;
  int workResult = 1;                       // transport result of the last RunRequest/Discover
  std::atomic<int> cancelRequested{0};
  volatile LONG pollsInFlight = 0;          // interlocked only
  UINT_PTR pollTimerId = 0;
  std::array<BusySlot, kBusySlotCount> busySlots{};
  int sortAscending = 1;
  TVPacketList packetList = nullptr;
  HIMAGELIST imageList = nullptr;
  std::atomic<WaitDialog*> waitDialog{nullptr};
  HDEVNOTIFY deviceNotify = nullptr;
  HANDLE deviceChangeMutex = nullptr;
  HICON appIcon = nullptr;
  // Owners of the rows' items; row parameters are the raw pointers. Polls hold extra
  // references so an item outlives its row while a poll still uses it.
  std::vector<std::shared_ptr<HostItem>> hostItems;

  // --- Panel helpers -------------------------------------------------------------------------
  void EnablePanel(bool enable);
  void EnableAddressFields(bool enable);
  void ClearPanel();
  void ClearAddressFields();

  // --- Discovery engine ----------------------------------------------------------------------
  // Runs `request` on a worker behind the wait dialog (no Cancel). `reply` must hold the
  // reply of the request's code. On return workResult (0 = transport failure) and `reply`
  // hold the outcome.
  void RunRequest(uint8_t* request, void* reply);
  // Starts a background poll of `host`, then a refresh of its row when it answers.
  void PollHost(HostItem* host);

  // --- Host list -----------------------------------------------------------------------------
  bool AddHostRow(int index, const uint8_t* frame);
  void UpdateHostRow(HostItem* item, const uint8_t* frame);
  // UpdateHostRow, then ShowHostDetails(item, selectedNic). `frame` may be editRecord.
  void UpdateSelectedHost(HostItem* item, const uint8_t* frame);
  int FindRow(const HostItem* item) const;
  HostItem* ItemAtRow(int row) const;
  void SetRowImage(const HostItem* item, int image);
  void ClearHostList();
  int RowCount() const;

  // --- Details panel -------------------------------------------------------------------------
  void ShowHostDetails(HostItem* item, int nicIndex);
  void ShowNic(const NicEntry& entry, int osFamily);
  // Copies the panel (host name, DNS server when set by hand, the shown card's mode and
  // addresses) into `edited`; nicIndex -1 = the card selected in the MAC combo box.
  void CollectPanelEdits(HostRecord& edited, int nicIndex);
  // The same, into the host record held in editRecord.
  void CollectPanelEditsIntoEditRecord(int nicIndex);
  // Decoded host records: of the selected row's stored reply, and of editRecord. False when
  // there is no selected host / no working copy.
  bool StoredRecord(HostRecord& out) const;
  bool EditedRecord(HostRecord& out) const;

  // --- Actions (console/actions) -------------------------------------------------------------
  void OnApply();
  void OnChangePassword();
  void OnTeaming();
  HostItem* RunShortAction(uint32_t code, int buttonId);
  void OnRestart();
  void OnLaunch();
  void OnConfigure();
  void RunAboutBox();
  void StartHelp();
  int LoadConfiguration();
  int SaveConfiguration();

  // True once the close sequence has begun. A caller of RunRequest checks it on return and
  // then leaves at once: rows, editRecord and the transport are gone.
  bool IsClosing() const { return closing_; }
  // The header image of a list column, or -1 (tests and diagnostics).
  int HeaderImage(int column) const;

  // For the workers (discovery.cpp).
  static DWORD WINAPI WorkerThread(LPVOID parameter);
  void WorkerMain(WorkItem* item);

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void OnOK() override {}  // Enter never closes the console
  void OnCancel() override;

 private:
  void SetupHostList();
  void SetHeaderImage(int column, int image);  // image -1: none
  bool OnSysCommand(WPARAM id);
  bool OnPaint();
  void OnDeviceChange();
  void CloseSequence();

  HANDLE StartWork(WorkItem* item);
  bool RunBehindWaitDialog(WorkItem* item, bool discovery, bool* cancelled);
  void RunPoll(WorkItem* item);
  void OnDiscover();
  void OnTimer();
  void OnWorkDone(WPARAM endCode, WorkItem* item);
  void OnPollDone(int pollResult, WorkItem* item);
  void OnHostRefreshed(HostItem* item, const uint8_t* reply);
  int AcquireBusySlot(HostItem* item);
  void ReleaseBusySlot(const HostItem* item);

  void OnListClick(NMHDR* header);
  void OnListKeyDown(NMHDR* header);
  void OnColumnClick(int column);
  void SortRows(int column, bool ascending);
  bool SetRowTexts(int row, const std::vector<uint8_t>& record, bool allColumns);
  std::shared_ptr<HostItem> SharedItem(const HostItem* item) const;

  void OnMacSelChange();
  void OnDhcp();
  void OnStatic();
  void OnDnsManual();
  void OnDnsAuto();
  void OnHostNameKillFocus();
  bool EditNic(int index, NicEntry& out) const;
  void StoreEditNic(int index, const NicEntry& entry);
  int EditOsFamily() const;

  WorkItem* waitWork_ = nullptr;       // the item whose completion ends the wait dialog
  bool hostNameWarningShown_ = false;  // guards against re-entry while message 10003 is up
  bool closing_ = false;
};
