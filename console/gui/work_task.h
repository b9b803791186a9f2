// One exchange with agents, run on a worker thread: a discovery, a request behind the wait
// dialog, or a poll followed by its refresh.
//
// Ownership: a task is held by shared_ptr. Its starter keeps one reference only while it
// waits for the outcome (discovery and RunRequest); the worker holds another for the whole
// run. The task carries its own buffers, result and cancel handle, so neither side ever
// touches the other's memory, and a console that closes under a worker frees nothing the
// worker still uses. A task completes exactly once: the worker sends UM_WORK_DONE carrying
// the task, and the interface thread takes its outcome over there.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "TaviClient.h"

struct HostItem;

enum class TaskKind { Discover, Request, Poll };

struct WorkTask {
  explicit WorkTask(TaskKind taskKind) : kind(taskKind) {}
  ~WorkTask();
  WorkTask(const WorkTask&) = delete;
  WorkTask& operator=(const WorkTask&) = delete;

  const TaskKind kind;

  // The frame sent and the reply buffer, owned by the task. Discover: replies go to
  // `packets`; Poll: `reply` is the 32-byte answer to the poll.
  std::vector<uint8_t> request;
  std::vector<uint8_t> reply;
  // The transport's descriptor over the buffers above (request, reply, hook, done event).
  TVWork work{};
  void* cancelHandle = nullptr;  // written by the transport during TVDoWork
  std::atomic<bool> cancelRequested{false};  // a discovery stops between adapters

  // Discovery replies, kept by the transport until TVFreePackets. The dialog takes them
  // over at completion; a task that ends unclaimed frees them itself.
  TVPacketList packets = nullptr;

  // Outcome, written by the worker before it completes.
  int result = 0;          // the transport's result; 0 = failure
  unsigned long unchecked = 0;  // Discover: replies the transport could not check
  WPARAM endCode = 1;      // 1 normal, 2 request code outside 1..9
  std::atomic<bool> finished{false};

  // Poll: the row (kept alive even if the list drops it meanwhile), the refresh that
  // follows an answered poll, and its reply.
  std::shared_ptr<HostItem> host;
  std::vector<uint8_t> refreshRequest;
  std::vector<uint8_t> refreshReply;
  uint32_t storedMagicNumber = 0;  // preset into the refresh reply
  int refreshResult = 0;
};

// Fills the descriptor from the task's buffers; creates the done event.
bool PrepareTask(WorkTask& task);

// Runs `task` on a new detached thread. The worker completes the task by sending
// UM_WORK_DONE (wParam end code, lParam the task) to mainWindowHandle. False when no thread
// could be started: the task is then not run and does not complete.
bool StartTask(const std::shared_ptr<WorkTask>& task);

// Waits until the task's worker has finished, serving the messages sent to this thread
// meanwhile (so a worker reporting just then cannot deadlock). False on time-out.
bool WaitServingSends(const WorkTask& task, DWORD timeoutMs);
