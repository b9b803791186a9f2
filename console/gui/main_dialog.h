// The console's main window: dialog 102. It owns the parts below and routes the window's
// messages to them; each part lives in a file of its own and none includes this header:
//   host_list.*       HostList: rows, their HostItems, sorting, the busy animation
//   details_panel.*   DetailsPanel: the selected host's texts, editRecord, its handlers
//   work_task.*       WorkTask: one exchange on a worker thread and its completion
// This class's own files:
//   main_dialog.cpp   initialisation, message routing, selection, close, device changes
//   exchanges.cpp     Discover, RunRequest and PollHost: tasks started and completed here
//   actions/*.cpp     Apply, passwords, teaming, restart, launch, options, About, help
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TaviClient.h"
#include "console/gui/details_panel.h"
#include "console/gui/dialog/dialog.h"
#include "console/gui/host_item.h"
#include "console/gui/host_list.h"
#include "console/gui/window_messages.h"
#include "console/gui/work_task.h"
#include "protocol/frames.h"
#include "protocol/reply_view.h"

class WaitDialog;

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollTimerPeriodMs = 500;
constexpr const char* kMainWindowTitle = "Orvane Network Utility 1.8";

class MainDialog : public Dialog {
 public:
  MainDialog();
  ~MainDialog() override;

  // --- Parts ---------------------------------------------------------------------------------
  HostList hostList;
  DetailsPanel panel{*this};

  // --- State of the exchanges (exchanges.cpp) ------------------------------------------------
  volatile LONG pollsInFlight = 0;          // interlocked only
  TVPacketList packetList = nullptr;        // the last discovery's replies
  std::atomic<WaitDialog*> waitDialog{nullptr};
  HDEVNOTIFY deviceNotify = nullptr;
  HANDLE deviceChangeMutex = nullptr;
  HICON appIcon = nullptr;

  // --- Exchanges -----------------------------------------------------------------------------
  // Runs `request` on a worker behind the wait dialog (no Cancel). `reply` must hold the
  // reply of the request's code and holds its outcome on return; returns the transport's
  // result (0 = transport failure, also when nothing could be started). Every authenticated request (Apply, Change Password, Teaming,
  // Restart) is sent through here, after its credentials were asked for.
  int RunRequest(uint8_t* request, void* reply);
  // Starts a background poll of `host`, then a refresh of its row when it answers.
  void PollHost(HostItem* host);

  // UpdateRow, then the panel shows the item again at its adapter. `frame` may be editRecord.
  void UpdateSelectedHost(HostItem* item, const uint8_t* frame);

  // --- Actions (console/gui/actions) ----------------------------------------------------------
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

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void OnOK() override {}  // Enter never closes the console
  void OnCancel() override;

 private:
  bool OnSysCommand(WPARAM id);
  bool OnPaint();
  void OnDeviceChange();
  void CloseSequence();

  // Selection (main_dialog.cpp): the row shown in the panel.
  void OnListClick(NMHDR* header);
  void OnListKeyDown(NMHDR* header);
  void Select(HostItem* item);

  // exchanges.cpp
  bool RunBehindWaitDialog(const std::shared_ptr<WorkTask>& task, bool* cancelled);
  void OnDiscover();
  void OnWorkDone(WPARAM endCode, WorkTask* task);
  void OnPollDone(WorkTask& task);
  void OnHostRefreshed(HostItem* item, const uint8_t* reply);

  std::shared_ptr<WorkTask> waitTask_;  // the task whose completion ends the wait dialog
  bool closing_ = false;
};
