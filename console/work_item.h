// The argument record of one worker thread, with the transport's work descriptor in it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "TaviClient.h"

class MainDialog;
struct HostItem;

struct WorkItem {
  MainDialog* dialog = nullptr;  // set by StartWork
  // request, reply, context (discovery hook / poll data) and doneEvent, laid out as the
  // transport's four-field descriptor: TVDoWork and TVDoPolling take its address.
  TVWork work{};
  void* cancelHandle = nullptr;  // written by the transport during TVDoWork

  // This item's own outcome, so that a nested refresh or another worker can neither end a
  // wait dialog that is not theirs nor overwrite the result its caller reads.
  int result = 0;
  WPARAM endCode = 1;
  std::atomic<bool> finished{false};
  // Nested refresh inside a poll: no done event, no completion message.
  bool nested = false;
  // Discovery and RunRequest items are shared by their starter and the worker: whichever of
  // the two lets go last frees the item, so the starter may give up on a worker at close
  // without either side touching freed memory. Other items belong to their worker alone.
  bool ownedByStarter = false;
  std::atomic<int> owners{1};

  // Poll: the host (kept alive while the poll runs, even if its row is deleted meanwhile),
  // and the buffers the worker owns.
  std::shared_ptr<HostItem> host;
  std::vector<uint8_t> requestBuffer;
  std::vector<uint8_t> replyBuffer;
  std::vector<uint8_t> refreshRequest;  // prepared on the interface thread from the row
  uint32_t storedMagicNumber = 0;       // preset into the refresh reply

  WorkItem() = default;
  WorkItem(const WorkItem&) = delete;
  WorkItem& operator=(const WorkItem&) = delete;
  ~WorkItem() {
    if (work.event) CloseHandle(work.event);
  }
  // Drops one owner's hold; true when the caller was the last and must delete the item.
  bool Release() { return owners.fetch_sub(1) == 1; }
};
