// Workers: discovery, requests behind the wait dialog, background polls and refreshes.
//
// Each worker reports through its own WorkItem: the result, the end code and a completion
// flag belong to the item, and only the item behind the open wait dialog may end it. So a
// refresh finishing while another request waits can neither end that wait nor change the
// result its caller reads. Row and panel changes always happen on the interface thread.
#include "console/main_dialog.h"

#include <cstring>
#include <new>

#include "console/host_reply.h"
#include "console/resource.h"
#include "console/show_message.h"
#include "console/wait_dialog.h"

namespace {

// Waits for a worker while serving the messages it sends to this thread, so a worker that
// reports just as the wait begins cannot deadlock. Returns false on time-out.
bool WaitServingSends(HANDLE thread, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
    DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
    if (wait == WAIT_OBJECT_0) return true;
    if (wait != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// How long a closing console waits for a cancelled worker before leaving it behind.
constexpr DWORD kCloseJoinMs = 3000;

void HostFoundCallback(const unsigned char* frame) {
  if (HWND window = mainWindowHandle.load()) {
    SendMessageA(window, UM_HOST_FOUND, reinterpret_cast<WPARAM>(frame), 0);
  }
}

uint32_t RequestCodeOf(const uint8_t* request) {
  return request ? LoadU32(request + FrameOffset::RequestCode) : 0;
}

}  // namespace

HANDLE MainDialog::StartWork(WorkItem* item) {
  item->dialog = this;
  item->work.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return CreateThread(nullptr, 0, &MainDialog::WorkerThread, item, 0, nullptr);
}

DWORD WINAPI MainDialog::WorkerThread(LPVOID parameter) {
  WorkItem* item = static_cast<WorkItem*>(parameter);
  try {
    item->dialog->WorkerMain(item);
  } catch (...) {
    // Nothing may unwind out of a thread routine.
  }
  return 0;
}

void MainDialog::WorkerMain(WorkItem* item) {
  uint8_t* request = item->work.request;
  const uint32_t code = RequestCodeOf(request);
  WPARAM endCode = kWorkEndNormal;
  int result = 0;

  if (code < Request::Discover || code > Request::Refresh) {
    endCode = kWorkEndInvalidCode;
  } else if (code == Request::Discover) {
    const int adapters = TVGetAdpaterCount();
    for (int i = 0; i < adapters; ++i) {
      if (!TVIsAdapterConnected(i)) continue;
      StoreU32(request + FrameOffset::AdapterIndex, static_cast<uint32_t>(i));
      result = TVDoWork(&item->work, &item->cancelHandle);
      if (cancelRequested.load() || result == TV_HOST_LIMIT) break;
    }
  } else if (code == Request::Poll) {
    RunPoll(item);  // frees the item
    return;
  } else {
    result = TVDoWork(&item->work, &item->cancelHandle);
  }

  item->result = result;
  item->endCode = endCode;
  if (item->nested) return;

  if (item->work.event) SetEvent(item->work.event);
  item->finished = true;
  if (item->ownedByStarter) {
    if (HWND window = mainWindowHandle.load()) {
      SendMessageA(window, UM_WORK_DONE, endCode, reinterpret_cast<LPARAM>(item));
    }
  }
  if (item->Release()) delete item;
}

void MainDialog::OnWorkDone(WPARAM endCode, WorkItem* item) {
  if (!item || item != waitWork_) return;  // not the work behind the open wait dialog
  WaitDialog* wait = waitDialog.load();
  if (wait && wait->IsOpen()) wait->End(static_cast<INT_PTR>(endCode));
}

// --- Requests behind the wait dialog ------------------------------------------------------

// Runs the item's worker while the modal wait dialog shows, then joins it. The item is shared
// by this call and the worker; whichever lets go last frees it. A discovery dialog can be
// cancelled: then, or when the console is closing, the transport is told to stop. Returns
// true when the worker was joined, so its result and buffers may be read.
bool MainDialog::RunBehindWaitDialog(WorkItem* item, bool discovery, bool* cancelled) {
  item->ownedByStarter = true;
  item->owners = 2;
  WaitDialog wait(hwnd(), discovery);
  wait.SetFinishedFlag(&item->finished);
  waitWork_ = item;
  waitDialog = &wait;
  HANDLE thread = StartWork(item);
  if (!thread) {
    item->owners = 1;
    item->finished = true;
  }
  wait.RunModal();

  if (discovery) {
    const bool userCancelled = wait.running() == 0;
    if (cancelled) *cancelled = userCancelled;
    if (userCancelled || closing_) {
      cancelRequested = 1;
      TVCancel(item->cancelHandle);
    }
  }
  const bool joined = !thread || WaitServingSends(thread, closing_ ? kCloseJoinMs : INFINITE);
  if (thread) CloseHandle(thread);
  waitDialog = nullptr;
  waitWork_ = nullptr;
  return joined;
}

void MainDialog::RunRequest(uint8_t* request, void* reply) {
  workResult = 0;
  if (!request || closing_) return;
  const uint32_t code = RequestCodeOf(request);
  // A code-2 request is sized by its body's nicCount; the other codes by the code alone.
  const std::size_t requestLength =
      code == Request::ApplySettings ? RequestLength(code, request[FrameOffset::Body + 44])
                                     : RequestLength(code, 0);
  const std::size_t replyLength = ConsoleReplyBufferLength(code);

  // The worker runs on copies of both buffers, so a console closing under it never leaves
  // the transport writing into memory its caller has released.
  WorkItem* item = new (std::nothrow) WorkItem;
  if (!item) return;
  try {
    item->requestBuffer.assign(request, request + (requestLength ? requestLength : kHeaderLength));
    if (reply && replyLength) {
      const uint8_t* bytes = static_cast<const uint8_t*>(reply);
      item->replyBuffer.assign(bytes, bytes + replyLength);
    }
  } catch (const std::bad_alloc&) {
    delete item;
    return;
  }
  item->work.request = item->requestBuffer.data();
  item->work.reply = item->replyBuffer.empty() ? nullptr : item->replyBuffer.data();

  if (RunBehindWaitDialog(item, false, nullptr)) {
    workResult = item->result;
    if (reply && replyLength) std::memcpy(reply, item->replyBuffer.data(), replyLength);
  }
  if (item->Release()) delete item;
}

// --- Discovery -----------------------------------------------------------------------------

void MainDialog::OnDiscover() {
  EnableItem(IDC_BTN_DISCOVER, false);
  ClearHostList();
  ClearPanel();
  ClearAddressFields();
  EnablePanel(false);
  EnableAddressFields(false);
  TVFreePackets(&packetList);

  WorkItem* item = new (std::nothrow) WorkItem;
  if (!item) {
    EnableItem(IDC_BTN_DISCOVER, true);
    return;
  }
  try {
    item->requestBuffer = BuildDiscoverRequest(0);
  } catch (const std::bad_alloc&) {
    delete item;
    EnableItem(IDC_BTN_DISCOVER, true);
    return;
  }
  cancelRequested = 0;
  item->work.request = item->requestBuffer.data();
  item->work.reply = &packetList;
  item->work.hook = &HostFoundCallback;

  bool cancelled = false;
  const bool joined = RunBehindWaitDialog(item, true, &cancelled);
  workResult = joined ? item->result : 0;
  if (item->Release()) delete item;
  if (closing_) return;

  if (workResult == 0) {
    ShowMessage(Status::AdapterOpenFailed);
  } else if (RowCount() > 0) {
    // Ordered by setupState; the header keeps the sort mark of the last column click.
    SortRows(0, true);
    ListView_SetItemState(Item(IDC_LST_HOSTS), 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    EnablePanel(true);
    selectedHost = ItemAtRow(0);
    ShowHostDetails(selectedHost, 0);
  } else if (!cancelled) {
    ShowMessage(Status::NoServerFound);
  }
  if (workResult == TV_HOST_LIMIT) ShowMessage(Status::TooManyHosts);
  EnableItem(IDC_BTN_DISCOVER, true);
}

// --- Polls ---------------------------------------------------------------------------------

void MainDialog::PollHost(HostItem* host) {
  if (!host || host->removed || closing_) return;
  std::shared_ptr<HostItem> shared = SharedItem(host);
  if (!shared) return;
  host->ready = 0;

  WorkItem* item = new (std::nothrow) WorkItem;
  bool prepared = item != nullptr;
  if (prepared) {
    try {
      item->requestBuffer = BuildTargetedRequest(Request::Poll, host->record.data(), host->record.size());
      item->replyBuffer.assign(kConsoleShortReplyLength, 0);
      item->refreshRequest =
          BuildTargetedRequest(Request::Refresh, host->record.data(), host->record.size());
      prepared = !item->requestBuffer.empty() && !item->refreshRequest.empty();
    } catch (const std::bad_alloc&) {
      prepared = false;
    }
  }
  if (!prepared) {
    // Nothing was started, so nothing would ever make the row ready again.
    delete item;
    host->ready = 1;
    return;
  }
  item->storedMagicNumber = host->record.size() >= ReplyOffset::MagicNumber + 4
                                ? LoadU32(host->record.data() + ReplyOffset::MagicNumber)
                                : 0;
  item->host = shared;
  item->work.request = item->requestBuffer.data();
  item->work.reply = item->replyBuffer.data();
  item->work.data = host;

  if (InterlockedIncrement(&pollsInFlight) == 1) {
    pollTimerId = SetTimer(hwnd(), kPollTimer, kPollTimerPeriodMs, nullptr);
  }
  SetRowImage(host, kFirstBusyImage);
  AcquireBusySlot(host);

  HANDLE thread = StartWork(item);
  if (thread) {
    CloseHandle(thread);
  } else {
    OnPollDone(0, item);
    delete item;
  }
}

void MainDialog::RunPoll(WorkItem* item) {
  const int answered = TVDoPolling(&item->work);
  HWND window = mainWindowHandle.load();
  SendMessageA(window, UM_POLL_DONE, static_cast<WPARAM>(answered), reinterpret_cast<LPARAM>(item));

  if (answered) {
    std::vector<uint8_t> reply(kConsoleReplyBufferLength, 0);
    PresetRefreshReply(reply.data(), reply.size(), item->storedMagicNumber);
    WorkItem refresh;
    refresh.dialog = this;
    refresh.nested = true;
    refresh.work.request = item->refreshRequest.data();
    refresh.work.reply = reply.data();
    WorkerMain(&refresh);
    // Only a reply that carries a host record replaces the row: refused credentials, a
    // failed exchange, a time-out or the transport running out of memory leave it as it was.
    const uint16_t status = ReplyStatus(reply.data(), reply.size());
    if (refresh.result != 0 && status != Status::BadLogon && status != Status::NotAdministrator &&
        status != Status::ResponseTimeout && status != Status::OutOfMemory) {
      SendMessageA(window, UM_HOST_ROW_UPDATED, reinterpret_cast<WPARAM>(item->host.get()),
                   reinterpret_cast<LPARAM>(reply.data()));
    }
  }
  delete item;
}

void MainDialog::OnPollDone(int answered, WorkItem* item) {
  (void)answered;
  if (!item) return;
  HostItem* host = item->host.get();
  ReleaseBusySlot(host);
  if (host && !host->removed && !closing_) {
    if (host == selectedHost) {
      const unsigned char* nic = TVGetMACData(host->record.data(), nullptr);
      const uint32_t address = nic ? DecodeNicEntry(nic).ipAddress : 0;
      const uint16_t port = host->record.size() >= ReplyOffset::MgmtPort + 2
                                ? LoadU16(host->record.data() + ReplyOffset::MgmtPort)
                                : 0;
      EnableItem(IDC_BTN_LAUNCH, port != 0 && address != 0);
      EnableItem(IDC_BTN_APPLY, true);
      EnableItem(IDC_BTN_CHANGE_PASSWORD, true);
    }
    EnableItem(IDC_BTN_TEAMING, true);
    SetRowImage(host, StatusImage(ReplySetupState(host->record.data(), host->record.size())));
  }
  if (host) host->ready = 1;
  if (InterlockedDecrement(&pollsInFlight) == 0) {
    KillTimer(hwnd(), kPollTimer);
    pollTimerId = 0;
    if (!closing_) EnableItem(IDC_BTN_DISCOVER, true);
  }
}

void MainDialog::OnHostRefreshed(HostItem* item, const uint8_t* reply) {
  if (!item || !reply || item->removed || closing_) return;
  // The selection is decided now, on this thread: the row may have been selected or left
  // while the refresh was under way.
  if (item == selectedHost && editRecord.size() == kConsoleReplyBufferLength) {
    std::memcpy(editRecord.data(), reply, kConsoleReplyBufferLength);
    UpdateSelectedHost(item, editRecord.data());
  } else {
    UpdateHostRow(item, reply);
  }
}

int MainDialog::AcquireBusySlot(HostItem* item) {
  for (std::size_t i = 0; i < busySlots.size(); ++i) {
    if (!busySlots[i].item) {
      busySlots[i] = {item, 0};
      return static_cast<int>(i);
    }
  }
  return -1;  // all slots taken: this row goes without animation
}

void MainDialog::ReleaseBusySlot(const HostItem* item) {
  for (BusySlot& slot : busySlots) {
    if (item && slot.item == item) {
      slot = BusySlot{};
      return;
    }
  }
}

void MainDialog::OnTimer() {
  for (BusySlot& slot : busySlots) {
    if (!slot.item) continue;
    slot.frame = (slot.frame + 1) & 3;
    SetRowImage(slot.item, kFirstBusyImage + static_cast<int>(slot.frame));
  }
}
