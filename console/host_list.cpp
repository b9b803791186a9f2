// Host list: one row per answering agent, updated in place, selected by click or arrow keys
// and sorted by any column.
#include "console/main_dialog.h"

#include <cstdio>

#include "console/host_reply.h"
#include "console/os_names.h"
#include "console/resource.h"

namespace {

HostSortKey SortKeyOf(LPARAM param) {
  const HostItem* item = reinterpret_cast<const HostItem*>(param);
  HostSortKey key;
  if (!item || item->record.empty()) return key;
  key.reply = item->record.data();
  key.length = item->record.size();
  if (const unsigned char* nic = TVGetMACData(item->record.data(), nullptr)) {
    key.answeringAddress = DecodeNicEntry(nic).ipAddress;
  }
  return key;
}

int CALLBACK CompareAscending(LPARAM a, LPARAM b, LPARAM column) {
  return CompareHostsAscending(SortKeyOf(a), SortKeyOf(b), static_cast<int>(column));
}

int CALLBACK CompareDescending(LPARAM a, LPARAM b, LPARAM column) {
  return CompareHostsAscending(SortKeyOf(b), SortKeyOf(a), static_cast<int>(column));
}

// The answering adapter's "IP" column text of a stored reply.
std::string AddressText(const std::vector<uint8_t>& record) {
  const unsigned char* nic = TVGetMACData(record.data(), nullptr);
  if (!nic) return AddressColumnText(0, std::string());
  NicEntry entry = DecodeNicEntry(nic);
  return AddressColumnText(entry.ipAddress, entry.nicName.str());
}

}  // namespace

int MainDialog::RowCount() const { return ListView_GetItemCount(Item(IDC_LST_HOSTS)); }

HostItem* MainDialog::ItemAtRow(int row) const {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (row < 0 || !ListView_GetItem(Item(IDC_LST_HOSTS), &item)) return nullptr;
  return reinterpret_cast<HostItem*>(item.lParam);
}

int MainDialog::FindRow(const HostItem* item) const {
  if (!item) return -1;
  LVFINDINFOA find = {};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(item);
  return ListView_FindItem(Item(IDC_LST_HOSTS), -1, &find);
}

std::shared_ptr<HostItem> MainDialog::SharedItem(const HostItem* item) const {
  for (const auto& owned : hostItems) {
    if (owned.get() == item) return owned;
  }
  return nullptr;
}

void MainDialog::SetRowImage(const HostItem* item, int image) {
  int row = FindRow(item);
  if (row < 0) return;
  LVITEMA lvItem = {};
  lvItem.mask = LVIF_IMAGE;
  lvItem.iItem = row;
  lvItem.iImage = image;
  ListView_SetItem(Item(IDC_LST_HOSTS), &lvItem);
}

bool MainDialog::SetRowTexts(int row, const std::vector<uint8_t>& record, bool allColumns) {
  HostRecord host;
  if (!ReplyHostRecord(record.data(), record.size(), host)) return false;
  HWND list = Item(IDC_LST_HOSTS);
  char count[8];
  std::snprintf(count, sizeof count, "%d", host.nicCount);
  const std::string texts[6] = {std::string(), host.hostName.str().substr(0, kHostNameMaxChars),
                                host.modelName.str(), OsShortName(host.osInfo), count,
                                AddressText(record)};
  for (int column = 1; column <= 5; ++column) {
    if (!allColumns && (column == 2 || column == 3)) continue;
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(texts[column].c_str());
    if (!SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item))) {
      return false;
    }
  }
  return true;
}

bool MainDialog::AddHostRow(int index, const uint8_t* frame) {
  // The transport keeps the whole reply, so what its nicCount announces (up to the ten
  // entries the console keeps) is readable.
  const std::size_t readable = WireReplyLength(
      std::min<std::size_t>(frame[ReplyOffset::NicCount], kConsoleNicCapacity));
  auto item = std::make_shared<HostItem>();
  item->record = MakeStoredReply(frame, readable);
  if (item->record.empty()) return false;

  LVITEMA lvItem = {};
  lvItem.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_TEXT;
  lvItem.iItem = index;
  lvItem.pszText = const_cast<char*>("");
  lvItem.iImage = StatusImage(ReplySetupState(item->record.data(), item->record.size()));
  lvItem.lParam = reinterpret_cast<LPARAM>(item.get());
  int row = ListView_InsertItem(Item(IDC_LST_HOSTS), &lvItem);
  if (row < 0) return false;
  hostItems.push_back(item);
  return SetRowTexts(row, item->record, true);
}

void MainDialog::UpdateHostRow(HostItem* item, const uint8_t* frame) {
  if (!item || !frame) return;
  // Refreshed replies arrive in the console's own 596-byte buffers.
  if (!CopyHostRecord(item->record, frame, kConsoleReplyBufferLength)) return;
  int row = FindRow(item);
  if (row < 0) return;
  SetRowImage(item, StatusImage(ReplySetupState(item->record.data(), item->record.size())));
  SetRowTexts(row, item->record, false);
}

void MainDialog::UpdateSelectedHost(HostItem* item, const uint8_t* frame) {
  UpdateHostRow(item, frame);
  ShowHostDetails(item, selectedNic);
}

void MainDialog::ClearHostList() {
  for (const auto& item : hostItems) {
    item->removed = true;
    ReleaseBusySlot(item.get());
  }
  ListView_DeleteAllItems(Item(IDC_LST_HOSTS));
  hostItems.clear();
  selectedHost = nullptr;
}

void MainDialog::OnListClick(NMHDR* header) {
  const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
  int row = activate->iItem;
  if (row < 0) {
    LVHITTESTINFO hit = {};
    hit.pt = activate->ptAction;
    row = ListView_SubItemHitTest(Item(IDC_LST_HOSTS), &hit);
    if (row >= 0) row = hit.iItem;
  }
  HostItem* item = ItemAtRow(row);
  if (item && item != selectedHost) {
    selectedHost = item;
    ShowHostDetails(item, 0);
  }
}

void MainDialog::OnListKeyDown(NMHDR* header) {
  const NMLVKEYDOWN* key = reinterpret_cast<const NMLVKEYDOWN*>(header);
  int current = FindRow(selectedHost);
  int target;
  if (key->wVKey == VK_UP) {
    target = current - 1;
  } else if (key->wVKey == VK_DOWN) {
    target = current + 1;
  } else {
    return;
  }
  if (target < 0 || target >= RowCount() || target == current) return;
  HostItem* item = ItemAtRow(target);
  if (!item) return;
  selectedHost = item;
  ShowHostDetails(item, 0);
}

void MainDialog::SortRows(int column, bool ascending) {
  ListView_SortItems(Item(IDC_LST_HOSTS), ascending ? CompareAscending : CompareDescending,
                     static_cast<LPARAM>(column));
}

void MainDialog::OnColumnClick(int column) {
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
  HWND list = Item(IDC_LST_HOSTS);
  InvalidateRect(list, nullptr, TRUE);
  UpdateWindow(list);
}
