// The main dialog's exchanges with agents: Discover, RunRequest behind the wait dialog, and
// the background poll of a changed host. Each starts a WorkTask (work_task.h) and takes its
// outcome over when the task completes (UM_WORK_DONE), on the interface thread.
//
// Each task carries its own result and buffers, and only the task behind the open wait
// dialog may end it, so a poll finishing while a request waits can neither end that wait
// nor change the result its caller reads.
#include "console/gui/main_dialog.h"

#include <cstring>
#include <new>

#include "console/core/found_replies.h"
#include "console/core/host_reply.h"
#include "console/core/message_table.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"
#include "console/gui/wait_dialog.h"

namespace {

// How long a closing console waits for a cancelled worker before leaving it behind.
constexpr DWORD kCloseJoinMs = 3000;

template <typename... Args>
std::shared_ptr<WorkTask> NewTask(Args&&... args) {
  try {
    return std::make_shared<WorkTask>(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

// --- Requests behind the wait dialog ------------------------------------------------------

// Runs the task while the modal wait dialog shows, then waits for its worker. A discovery
// dialog can be cancelled: then, or when the console is closing, the transport is told to
// stop. Returns true when the worker has finished, so the task's outcome may be read.
bool MainDialog::RunBehindWaitDialog(const std::shared_ptr<WorkTask>& task, bool* cancelled) {
  const bool discovery = task->kind == TaskKind::Discover;
  WaitDialog wait(hwnd(), discovery);
  wait.SetFinishedFlag(&task->finished);
  waitTask_ = task;
  waitDialog = &wait;
  const bool started = PrepareTask(*task) && StartTask(task);
  if (!started) task->finished = true;  // the dialog ends itself at once
  wait.RunModal();

  if (discovery) {
    const bool userCancelled = wait.running() == 0;
    if (cancelled) *cancelled = userCancelled;
    if (userCancelled || closing_) {
      task->cancelRequested = true;
      TVCancel(task->cancelHandle);
    }
  }
  const bool joined = !started || WaitServingSends(*task, closing_ ? kCloseJoinMs : INFINITE);
  waitDialog = nullptr;
  waitTask_.reset();
  return started && joined;
}

int MainDialog::RunRequest(uint8_t* request, void* reply) {
  if (!request || closing_) return 0;
  FrameHeader header;
  DecodeHeader(request, kHeaderLength, header);
  const std::size_t requestLength = BuiltRequestLength(request);
  const std::size_t replyLength = ConsoleReplyBufferLength(header.requestCode);

  // The worker runs on copies of both buffers, so a console closing under it never leaves
  // the transport writing into memory its caller has released.
  std::shared_ptr<WorkTask> task = NewTask(TaskKind::Request);
  if (!task) return 0;
  try {
    task->request.assign(request, request + (requestLength ? requestLength : kHeaderLength));
    if (reply && replyLength) {
      const uint8_t* bytes = static_cast<const uint8_t*>(reply);
      task->reply.assign(bytes, bytes + replyLength);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (!RunBehindWaitDialog(task, nullptr)) return 0;
  if (reply && replyLength) std::memcpy(reply, task->reply.data(), replyLength);
  return task->result;
}

// --- Discovery -----------------------------------------------------------------------------

void MainDialog::OnDiscover() {
  EnableItem(IDC_BTN_DISCOVER, false);
  hostList.Clear();
  panel.Deselect();
  panel.Clear();
  panel.ClearAddressFields();
  panel.Enable(false);
  panel.EnableAddressFields(false);
  TVFreePackets(&packetList);
  foundReplies.Take();  // a worker left behind at a close may have queued some

  std::shared_ptr<WorkTask> task = NewTask(TaskKind::Discover);
  try {
    if (task) task->request = BuildDiscoverRequest(0);
  } catch (const std::bad_alloc&) {
    task.reset();
  }
  if (!task) {
    EnableItem(IDC_BTN_DISCOVER, true);
    return;
  }

  bool cancelled = false;
  const bool joined = RunBehindWaitDialog(task, &cancelled);
  const int result = joined ? task->result : 0;
  const unsigned long unchecked = joined ? task->unchecked : 0;
  // The rows whose message is still on its way: after it, the message finds nothing.
  const auto last = foundReplies.Take();
  if (joined && !closing_) hostList.AddRows(last);
  // The rows point into these replies' copies only; the list itself is kept until the next
  // discovery or the close, as the transport expects.
  if (joined) std::swap(packetList, task->packets);
  task.reset();
  if (closing_) return;

  if (result == 0) {
    ShowMessage(Status::AdapterOpenFailed);
  } else if (hostList.RowCount() > 0) {
    // Ordered by setupState; the header keeps the sort mark of the last column click.
    hostList.SortRows(0, true);
    ListView_SetItemState(Item(IDC_LST_HOSTS), 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    panel.Enable(true);
    Select(hostList.ItemAtRow(0));
  } else if (!cancelled) {
    ShowMessage(Status::NoServerFound);
  }
  if (result == TV_HOST_LIMIT) ShowMessage(Status::TooManyHosts);
  // Real hosts may be missing from the list: say why, once.
  if (unchecked > 0 && !cancelled) ShowWarningMessage(FloodedText(unchecked).c_str());
  EnableItem(IDC_BTN_DISCOVER, true);
}

// --- Polls ---------------------------------------------------------------------------------

void MainDialog::PollHost(HostItem* host) {
  if (!host || host->removed || closing_) return;
  std::shared_ptr<HostItem> shared = hostList.Shared(host);
  std::shared_ptr<WorkTask> task = NewTask(TaskKind::Poll);
  if (!shared || !task) return;
  host->ready = 0;
  try {
    task->request = BuildTargetedRequest(Request::Poll, host->record.data(), host->record.size());
    task->reply.assign(kConsoleShortReplyLength, 0);
    task->refreshRequest =
        BuildTargetedRequest(Request::Refresh, host->record.data(), host->record.size());
  } catch (const std::bad_alloc&) {
    task->request.clear();
  }
  task->storedMagicNumber = ReplyView(host->record).MagicNumber();
  task->host = shared;
  if (task->request.empty() || task->refreshRequest.empty() || !PrepareTask(*task)) {
    host->ready = 1;  // nothing was started, so nothing would make the row ready again
    return;
  }

  if (InterlockedIncrement(&pollsInFlight) == 1) {
    SetTimer(hwnd(), kPollTimer, kPollTimerPeriodMs, nullptr);
  }
  hostList.StartBusy(host);
  if (!StartTask(task)) OnPollDone(*task);
}

// The whole poll has ended, its refresh included: the row takes the fresh reply, then the
// animation stops and the buttons come back. Nothing is given back before the refresh is in,
// so an edit or an Apply cannot fall into the gap and be overwritten.
void MainDialog::OnPollDone(WorkTask& task) {
  HostItem* host = task.host.get();
  hostList.EndBusy(host);
  const bool live = host && !host->removed && !closing_;
  // Only an agent's record replaces the row: a failed exchange, a time-out or a refusal
  // leaves it alone.
  if (live && task.refreshResult != 0 && ReplyView(task.refreshReply).HoldsAgentRecord())
    OnHostRefreshed(host, task.refreshReply.data());
  if (host) host->ready = 1;
  if (live) {
    if (host == panel.selectedHost()) panel.EnableHostActions(*host);
    EnableItem(IDC_BTN_TEAMING, true);
    hostList.SetRowImage(host, StatusImage(ReplyView(host->record).SetupState()));
  }
  if (InterlockedDecrement(&pollsInFlight) == 0) {
    KillTimer(hwnd(), kPollTimer);
    if (!closing_) EnableItem(IDC_BTN_DISCOVER, true);
  }
}

void MainDialog::OnHostRefreshed(HostItem* item, const uint8_t* reply) {
  // The selection is decided now, on this thread: the row may have been selected or left
  // while the refresh was under way.
  if (item == panel.selectedHost() && panel.TakeWorkingCopy(reply)) {
    UpdateSelectedHost(item, panel.editRecord().data());
  } else {
    hostList.UpdateRow(item, reply);
  }
}

void MainDialog::UpdateSelectedHost(HostItem* item, const uint8_t* frame) {
  hostList.UpdateRow(item, frame);
  panel.ShowHostDetails(item, panel.selectedNic());
}

// --- Completion ------------------------------------------------------------------------------

void MainDialog::OnWorkDone(WPARAM endCode, WorkTask* task) {
  if (!task) return;
  if (task == waitTask_.get()) {
    WaitDialog* wait = waitDialog.load();
    if (wait && wait->IsOpen()) wait->End(static_cast<INT_PTR>(endCode));
    return;
  }
  if (task->kind == TaskKind::Poll) OnPollDone(*task);
}
