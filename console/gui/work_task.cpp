// The worker side of a task: the exchange itself and the one completion message.
#include "console/gui/work_task.h"

#include <system_error>
#include <thread>

#include "console/core/found_replies.h"
#include "console/core/secret.h"
#include "console/gui/window_messages.h"
#include "protocol/frames.h"
#include "protocol/reply_view.h"

namespace {

// Runs on the worker for each listed reply: queued, and the interface woken once per batch.
void HostFoundCallback(const unsigned char* frame) {
  if (!foundReplies.Add(frame)) return;
  if (HWND window = mainWindowHandle.load()) PostMessageA(window, UM_HOST_FOUND, 0, 0);
}

uint32_t RequestCodeOf(const std::vector<uint8_t>& request) {
  FrameHeader header;
  return DecodeHeader(request.data(), request.size(), header) ? header.requestCode : 0;
}

void RunDiscover(WorkTask& task) {
  const int adapters = TVGetAdpaterCount();
  for (int i = 0; i < adapters; ++i) {
    if (!TVIsAdapterConnected(i)) continue;
    StoreU32(task.request.data() + FrameOffset::AdapterIndex, static_cast<uint32_t>(i));
    task.result = TVDoWork(&task.work, &task.cancelHandle);
    task.unchecked += TVGetUncheckedReplies();
    // A full host list on one adapter ends the discovery: the list holds no more.
    if (task.cancelRequested.load() || task.result == TV_HOST_LIMIT) break;
  }
}

// An answered poll is followed by a Refresh of the host, within the same task, so that its
// completion comes only when the row's fresh data is there.
void RunPoll(WorkTask& task) {
  task.result = TVDoPolling(&task.work);
  if (!task.result || task.refreshRequest.empty()) return;
  task.refreshReply.assign(kConsoleReplyBufferLength, 0);
  PresetRefreshReply(task.refreshReply.data(), task.refreshReply.size(), task.storedMagicNumber);
  TVWork refresh{};
  refresh.request = task.refreshRequest.data();
  refresh.reply = task.refreshReply.data();
  void* cancel = nullptr;
  task.refreshResult = TVDoWork(&refresh, &cancel);
}

void RunTask(const std::shared_ptr<WorkTask>& task) {
  const uint32_t code = RequestCodeOf(task->request);
  if (code < Request::Discover || code > Request::Refresh) {
    task->endCode = 2;  // nothing is sent
  } else if (task->kind == TaskKind::Discover) {
    RunDiscover(*task);
  } else if (task->kind == TaskKind::Poll) {
    RunPoll(*task);
  } else {
    task->result = TVDoWork(&task->work, &task->cancelHandle);
  }
  task->finished = true;
  if (task->work.event) SetEvent(task->work.event);
  if (HWND window = mainWindowHandle.load()) {
    SendMessageA(window, UM_WORK_DONE, task->endCode, reinterpret_cast<LPARAM>(task.get()));
  }
}

}  // namespace

WorkTask::~WorkTask() {
  WipeSecret(request);  // credentials travel in requests; they do not outlive the task
  if (work.event) CloseHandle(work.event);
  if (packets) TVFreePackets(&packets);
}

bool PrepareTask(WorkTask& task) {
  task.work.request = task.request.empty() ? nullptr : task.request.data();
  if (task.kind == TaskKind::Discover) {
    task.work.reply = &task.packets;
    task.work.hook = &HostFoundCallback;
  } else {
    task.work.reply = task.reply.empty() ? nullptr : task.reply.data();
  }
  task.work.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return task.work.event != nullptr;
}

bool StartTask(const std::shared_ptr<WorkTask>& task) {
  try {
    std::thread([task] {
      try {
        RunTask(task);
      } catch (...) {
        // Nothing may unwind out of a thread routine.
      }
    }).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool WaitServingSends(const WorkTask& task, DWORD timeoutMs) {
  if (task.finished.load()) return true;
  HANDLE event = task.work.event;
  if (!event) return false;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const DWORD left =
        timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
    const DWORD wait = MsgWaitForMultipleObjects(1, &event, FALSE, left, QS_SENDMESSAGE);
    if (wait == WAIT_OBJECT_0) return true;
    if (wait != WAIT_OBJECT_0 + 1) return task.finished.load();
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
