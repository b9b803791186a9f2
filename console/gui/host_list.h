// The host list (control 1002): one row per answering agent, each row owning its HostItem
// and through it a copy of the host's last reply. Rows are added, updated in place,
// animated while their host is polled, and sorted by any column. Interface thread only.
//
// The list knows nothing of the panel or of workers: who is selected, and what a refresh
// means for the panel, is the main dialog's business.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "console/gui/host_item.h"

// Column of the last sort by header click.
extern int lastSortColumn;

class HostList {
 public:
  // A row whose icon is animated while its host is polled.
  struct BusySlot {
    const HostItem* item = nullptr;
    uint32_t frame = 0;
  };
  static constexpr std::size_t kBusySlotCount = 64;

  // Styles, images and the six columns; widths in average characters of `charWidth`.
  void Attach(HWND list, int charWidth);
  HWND window() const { return list_; }

  // A row at `index` for a discovery reply the transport delivered; false when the reply
  // holds no host record or the row could not be filled.
  bool AddRow(int index, const uint8_t* frame);
  // Rows at the end for a batch of delivered replies, with one repaint for the batch.
  void AddRows(const std::vector<std::vector<uint8_t>>& replies);
  // Takes a refreshed reply (a 596-byte reply buffer) into the item and its row.
  void UpdateRow(HostItem* item, const uint8_t* frame);
  int FindRow(const HostItem* item) const;
  HostItem* ItemAtRow(int row) const;
  int RowCount() const;
  void SetRowImage(const HostItem* item, int image);
  // Deletes every row; items still held by a running poll are marked removed.
  void Clear();
  // The owning reference of an item that has a row, or null.
  std::shared_ptr<HostItem> Shared(const HostItem* item) const;

  void SortRows(int column, bool ascending);
  // Header click: toggles or resets the direction, moves the triangle, sorts.
  void OnColumnClick(int column);

  // Busy animation of polled rows (timer 1 ticks call Animate).
  void StartBusy(const HostItem* item);
  void EndBusy(const HostItem* item);
  void Animate();

  int sortAscending = 1;

 private:
  bool SetRowTexts(int row, const std::vector<uint8_t>& record, bool allColumns);
  void SetHeaderImage(int column, int image);  // image -1: none

  HWND list_ = nullptr;
  HIMAGELIST imageList_ = nullptr;
  std::vector<std::shared_ptr<HostItem>> items_;
  std::array<BusySlot, kBusySlotCount> busySlots_{};
};
