// Host list rows: texts, images, in-place updates, sorting and the busy animation.
#include "console/gui/host_list.h"

#include <cstdio>
#include <string>

#include "console/core/host_reply.h"
#include "console/core/os_names.h"
#include "console/gui/resource.h"

int lastSortColumn = 0;

namespace {

ReplyView SortKeyOf(LPARAM param) {
  const HostItem* item = reinterpret_cast<const HostItem*>(param);
  return item ? ReplyView(item->record) : ReplyView();
}

int CALLBACK CompareAscending(LPARAM a, LPARAM b, LPARAM column) {
  return CompareHostsAscending(SortKeyOf(a), SortKeyOf(b), static_cast<int>(column));
}

int CALLBACK CompareDescending(LPARAM a, LPARAM b, LPARAM column) {
  return CompareHostsAscending(SortKeyOf(b), SortKeyOf(a), static_cast<int>(column));
}

// The answering adapter's "IP" column text of a stored reply.
std::string AddressText(const ReplyView& reply) {
  const NicEntry entry = reply.AnsweringNic().value_or(NicEntry{});
  return AddressColumnText(entry.ipAddress, entry.nicName.str());
}

}  // namespace

void HostList::Attach(HWND list, int charWidth) {
  list_ = list;
  ListView_SetExtendedListViewStyleEx(list, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  // Rows carry no item text, so the list's own text sorting would place each new row among
  // the equal empty texts wherever it likes; rows are appended in arrival order and ordered
  // only by the column comparators.
  SetWindowLongA(list, GWL_STYLE, GetWindowLongA(list, GWL_STYLE) & ~LVS_SORTASCENDING);

  imageList_ = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LIST_IMAGES),
                                    16, 16, RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  ListView_SetImageList(list, imageList_, LVSIL_SMALL);
  Header_SetImageList(ListView_GetHeader(list), imageList_);

  struct Column {
    const char* caption;
    int width;
  };
  const Column columns[] = {{"", 30},
                            {"Host", 14 * charWidth},
                            {"Model", 10 * charWidth},
                            {"OS", 9 * charWidth},
                            {"NIC#", 10 * charWidth},
                            {"IP", 20 * charWidth}};
  for (int i = 0; i < 6; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = columns[i].width;
    column.pszText = const_cast<char*>(columns[i].caption);
    column.iSubItem = i;
    ListView_InsertColumn(list, i, &column);
  }
  SetHeaderImage(0, 0);
  busySlots_.fill(BusySlot{});
}

void HostList::SetHeaderImage(int column, int image) {
  HWND header = ListView_GetHeader(list_);
  HDITEMA item = {};
  item.mask = HDI_FORMAT;
  if (!Header_GetItem(header, column, &item)) return;
  item.mask = HDI_FORMAT | HDI_IMAGE;
  if (image >= 0) {
    item.fmt |= HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
    item.iImage = image;
  } else {
    item.fmt &= ~(HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
    item.iImage = I_IMAGENONE;
  }
  Header_SetItem(header, column, &item);
}

int HostList::RowCount() const { return ListView_GetItemCount(list_); }

HostItem* HostList::ItemAtRow(int row) const {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (row < 0 || !ListView_GetItem(list_, &item)) return nullptr;
  return reinterpret_cast<HostItem*>(item.lParam);
}

int HostList::FindRow(const HostItem* item) const {
  if (!item) return -1;
  LVFINDINFOA find = {};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(item);
  return ListView_FindItem(list_, -1, &find);
}

std::shared_ptr<HostItem> HostList::Shared(const HostItem* item) const {
  for (const auto& owned : items_) {
    if (owned.get() == item) return owned;
  }
  return nullptr;
}

void HostList::SetRowImage(const HostItem* item, int image) {
  int row = FindRow(item);
  if (row < 0) return;
  LVITEMA lvItem = {};
  lvItem.mask = LVIF_IMAGE;
  lvItem.iItem = row;
  lvItem.iImage = image;
  ListView_SetItem(list_, &lvItem);
}

bool HostList::SetRowTexts(int row, const std::vector<uint8_t>& record, bool allColumns) {
  const ReplyView reply(record);
  if (!reply.HasRecord()) return false;
  const HostRecord host = reply.Record();
  char count[8];
  std::snprintf(count, sizeof count, "%d", host.nicCount);
  const std::string texts[6] = {std::string(), host.hostName.str().substr(0, kHostNameMaxChars),
                                host.modelName.str(), OsShortName(host.osInfo), count,
                                AddressText(reply)};
  for (int column = 1; column <= 5; ++column) {
    if (!allColumns && (column == 2 || column == 3)) continue;
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(texts[column].c_str());
    if (!SendMessageA(list_, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item))) {
      return false;
    }
  }
  return true;
}

bool HostList::AddRow(int index, const uint8_t* frame) {
  // The transport keeps the whole reply, so what its nicCount announces (up to the ten
  // entries the console keeps) is readable.
  const ReplyView delivered = ReplyView::Delivered(frame);
  auto item = std::make_shared<HostItem>();
  item->record = MakeStoredReply(delivered.data(), delivered.length());
  if (item->record.empty()) return false;

  LVITEMA lvItem = {};
  lvItem.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_TEXT;
  lvItem.iItem = index;
  lvItem.pszText = const_cast<char*>("");
  lvItem.iImage = StatusImage(ReplyView(item->record).SetupState());
  lvItem.lParam = reinterpret_cast<LPARAM>(item.get());
  int row = ListView_InsertItem(list_, &lvItem);
  if (row < 0) return false;
  items_.push_back(item);
  return SetRowTexts(row, item->record, true);
}

void HostList::AddRows(const std::vector<std::vector<uint8_t>>& replies) {
  if (replies.empty() || !list_) return;
  SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
  for (const auto& reply : replies) AddRow(RowCount(), reply.data());
  SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void HostList::UpdateRow(HostItem* item, const uint8_t* frame) {
  if (!item || !frame) return;
  // Refreshed replies arrive in the console's own 596-byte buffers.
  if (!CopyHostRecord(item->record, frame, kConsoleReplyBufferLength)) return;
  int row = FindRow(item);
  if (row < 0) return;
  SetRowImage(item, StatusImage(ReplyView(item->record).SetupState()));
  SetRowTexts(row, item->record, false);
}

void HostList::Clear() {
  for (const auto& item : items_) {
    item->removed = true;
    EndBusy(item.get());
  }
  if (list_) ListView_DeleteAllItems(list_);
  items_.clear();
}

void HostList::SortRows(int column, bool ascending) {
  ListView_SortItems(list_, ascending ? CompareAscending : CompareDescending,
                     static_cast<LPARAM>(column));
}

void HostList::OnColumnClick(int column) {
  if (column < 0 || column > 5) return;
  if (column != lastSortColumn) {
    sortAscending = 1;
    SetHeaderImage(lastSortColumn, -1);
  } else {
    sortAscending = !sortAscending;
  }
  SetHeaderImage(column, sortAscending ? kSortAscendingImage : kSortDescendingImage);
  SortRows(column, sortAscending != 0);
  lastSortColumn = column;
  InvalidateRect(list_, nullptr, TRUE);
  UpdateWindow(list_);
}

void HostList::StartBusy(const HostItem* item) {
  SetRowImage(item, kFirstBusyImage);
  for (BusySlot& slot : busySlots_) {
    if (!slot.item) {
      slot = {item, 0};
      return;
    }
  }
  // All slots taken: this row goes without animation.
}

void HostList::EndBusy(const HostItem* item) {
  for (BusySlot& slot : busySlots_) {
    if (item && slot.item == item) {
      slot = BusySlot{};
      return;
    }
  }
}

void HostList::Animate() {
  for (BusySlot& slot : busySlots_) {
    if (!slot.item) continue;
    slot.frame = (slot.frame + 1) & 3;
    SetRowImage(slot.item, kFirstBusyImage + static_cast<int>(slot.frame));
  }
}
