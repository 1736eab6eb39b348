// Data Browser stand-in.
#include "platform/core/data_browser.h"

#include "platform/core/cf_string.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

struct Column {
  DataBrowserTableViewColumnID id;
  UInt16 width;
};

struct Browser {
  // Children by container (0: the root); a container is listed here only while it is open.
  std::map<DataBrowserItemID, std::vector<DataBrowserItemID>> children;
  std::map<DataBrowserItemID, DataBrowserItemID> parentOf;
  std::vector<DataBrowserItemID> selection;
  DataBrowserCallbacks callbacks{};
  DataBrowserPropertyID sortProperty = kDataBrowserItemNoProperty;
  OptionBits attributes = 0;
  std::vector<Column> columns;
  std::map<std::pair<DataBrowserItemID, DataBrowserPropertyID>, CFStringRef> texts;
};

// What SetDataBrowserItemDataText fills while the item-data procedure runs.
struct ItemData {
  Browser *browser;
  DataBrowserItemID item;
  DataBrowserPropertyID property;
};

std::map<ControlRef, std::unique_ptr<Browser>> gBrowsers;
PL_DataBrowserChangedProc gChanged = nullptr;

Browser *Find(ControlRef control) {
  if (control == nullptr || GetControlOwner(control) == nullptr) return nullptr;
  auto it = gBrowsers.find(control);
  return it == gBrowsers.end() ? nullptr : it->second.get();
}

void Changed(ControlRef control) {
  if (gChanged != nullptr) gChanged(control);
}

void Notify(ControlRef control, Browser *b, DataBrowserItemID item, DataBrowserItemNotification message) {
  if (b->callbacks.u.v1.itemNotificationCallback != nullptr)
    b->callbacks.u.v1.itemNotificationCallback(control, item, message);
}

bool Selected(const Browser *b, DataBrowserItemID item) {
  return std::find(b->selection.begin(), b->selection.end(), item) != b->selection.end();
}

DataBrowserItemState StateOf(const Browser *b, DataBrowserItemID item) {
  DataBrowserItemState state = kDataBrowserItemNoState;
  if (Selected(b, item)) state |= kDataBrowserItemIsSelected;
  if (b->children.count(item) != 0) state |= kDataBrowserContainerIsOpen;
  return state;
}

bool Matches(const Browser *b, DataBrowserItemID item, DataBrowserItemState state) {
  return state == kDataBrowserItemAnyState || (StateOf(b, item) & state) == state;
}

void Collect(const Browser *b, DataBrowserItemID container, bool recurse, DataBrowserItemState state,
             std::vector<DataBrowserItemID> *out) {
  auto it = b->children.find(container);
  if (it == b->children.end()) return;
  for (DataBrowserItemID item : it->second) {
    if (Matches(b, item, state)) out->push_back(item);
    if (recurse) Collect(b, item, true, state, out);
  }
}

// Removes the item with everything below it, forgetting its selection and texts.
void Forget(Browser *b, DataBrowserItemID item) {
  auto open = b->children.find(item);
  if (open != b->children.end()) {
    const std::vector<DataBrowserItemID> below = open->second;
    for (DataBrowserItemID child : below) Forget(b, child);
    b->children.erase(item);
  }
  b->parentOf.erase(item);
  b->selection.erase(std::remove(b->selection.begin(), b->selection.end(), item), b->selection.end());
  for (auto it = b->texts.begin(); it != b->texts.end();) {
    if (it->first.first == item) {
      CFRelease(it->second);
      it = b->texts.erase(it);
    } else {
      ++it;
    }
  }
}

void AskData(ControlRef control, Browser *b, DataBrowserItemID item, DataBrowserPropertyID property) {
  if (b->callbacks.u.v1.itemDataCallback == nullptr) return;
  ItemData data{b, item, property};
  b->callbacks.u.v1.itemDataCallback(control, item, property, &data, false);
}

void AskAllData(ControlRef control, Browser *b, DataBrowserItemID item, DataBrowserPropertyID property) {
  if (property != kDataBrowserItemNoProperty) {
    AskData(control, b, item, property);
    return;
  }
  for (const Column &c : b->columns) AskData(control, b, item, c.id);
  AskData(control, b, item, kDataBrowserItemSelfIdentityProperty);
}

Column *ColumnOf(Browser *b, DataBrowserTableViewColumnID id) {
  for (Column &c : b->columns)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace

OSStatus PL_MakeDataBrowser(ControlRef control) {
  if (control == nullptr || GetControlOwner(control) == nullptr) return paramErr;
  PL_DisposeDataBrowser(control);
  auto b = std::make_unique<Browser>();
  b->children[kDataBrowserNoItem];
  InitDataBrowserCallbacks(&b->callbacks);
  gBrowsers[control] = std::move(b);
  const ControlKind kind{kControlKindSignatureApple, kControlKindDataBrowser};
  PL_SetControlKind(control, &kind);
  return noErr;
}

OSStatus AddDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                             const DataBrowserItemID *items, DataBrowserPropertyID) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (numItems > 0 && items == nullptr) return paramErr;
  auto list = b->children.find(container);
  if (list == b->children.end()) return errDataBrowserItemNotFound;
  // Check them all first, so a refused call leaves the browser as it was.
  for (UInt32 i = 0; i < numItems; ++i) {
    if (items[i] == kDataBrowserNoItem || b->parentOf.count(items[i]) != 0) return errDataBrowserItemNotAdded;
    for (UInt32 j = 0; j < i; ++j)
      if (items[j] == items[i]) return errDataBrowserItemNotAdded;
  }
  for (UInt32 i = 0; i < numItems; ++i) {
    list->second.push_back(items[i]);
    b->parentOf[items[i]] = container;
  }
  for (UInt32 i = 0; i < numItems; ++i) {
    AskAllData(browser, b, items[i], kDataBrowserItemNoProperty);
    Notify(browser, b, items[i], kDataBrowserItemAdded);
  }
  Changed(browser);
  return noErr;
}

OSStatus RemoveDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID *items, DataBrowserPropertyID) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (numItems > 0 && items == nullptr) return paramErr;
  auto list = b->children.find(container);
  if (list == b->children.end()) return errDataBrowserItemNotFound;
  std::vector<DataBrowserItemID> gone;
  if (numItems == 0) {
    gone = list->second;
  } else {
    for (UInt32 i = 0; i < numItems; ++i) {
      auto at = b->parentOf.find(items[i]);
      if (at == b->parentOf.end() || at->second != container) return errDataBrowserItemNotFound;
      gone.push_back(items[i]);
    }
  }
  for (DataBrowserItemID item : gone) {
    auto &siblings = b->children[container];
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    Forget(b, item);
    Notify(browser, b, item, kDataBrowserItemRemoved);
  }
  Changed(browser);
  return noErr;
}

OSStatus UpdateDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID *items, DataBrowserPropertyID, DataBrowserPropertyID propertyID) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (numItems > 0 && items == nullptr) return paramErr;
  if (b->children.count(container) == 0) return errDataBrowserItemNotFound;
  for (UInt32 i = 0; i < numItems; ++i)
    if (b->parentOf.count(items[i]) == 0) return errDataBrowserItemNotFound;
  for (UInt32 i = 0; i < numItems; ++i) AskAllData(browser, b, items[i], propertyID);
  Changed(browser);
  return noErr;
}

OSStatus InitDataBrowserCallbacks(DataBrowserCallbacks *callbacks) {
  if (callbacks == nullptr) return paramErr;
  *callbacks = DataBrowserCallbacks{};
  callbacks->version = kDataBrowserLatestCallbacks;
  return noErr;
}

OSStatus SetDataBrowserCallbacks(ControlRef browser, const DataBrowserCallbacks *callbacks) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (callbacks == nullptr || callbacks->version != kDataBrowserLatestCallbacks) return paramErr;
  b->callbacks = *callbacks;
  return noErr;
}

OSStatus GetDataBrowserCallbacks(ControlRef browser, DataBrowserCallbacks *callbacks) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (callbacks == nullptr) return paramErr;
  *callbacks = b->callbacks;
  return noErr;
}

OSStatus GetDataBrowserItemCount(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                                 DataBrowserItemState state, UInt32 *numItems) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (numItems == nullptr) return paramErr;
  if (b->children.count(container) == 0) return errDataBrowserItemNotFound;
  std::vector<DataBrowserItemID> found;
  Collect(b, container, recurse, state, &found);
  *numItems = UInt32(found.size());
  return noErr;
}

OSStatus GetDataBrowserItems(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                             DataBrowserItemState state, Handle items) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (items == nullptr) return paramErr;
  if (b->children.count(container) == 0) return errDataBrowserItemNotFound;
  std::vector<DataBrowserItemID> found;
  Collect(b, container, recurse, state, &found);
  const Size had = GetHandleSize(items);
  const Size bytes = Size(found.size() * sizeof(DataBrowserItemID));
  SetHandleSize(items, had + bytes);
  if (MemError() != noErr) return memFullErr;
  if (bytes > 0) std::memcpy(*items + had, found.data(), size_t(bytes));
  return noErr;
}

OSStatus SetDataBrowserSelectedItems(ControlRef browser, UInt32 numItems, const DataBrowserItemID *items,
                                     DataBrowserSetOption operation) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if ((numItems > 0 && items == nullptr) || operation > kDataBrowserItemsRemove) return paramErr;
  const std::vector<DataBrowserItemID> before = b->selection;
  if (operation == kDataBrowserItemsAssign) b->selection.clear();
  for (UInt32 i = 0; i < numItems; ++i) {
    const DataBrowserItemID item = items[i];
    if (b->parentOf.count(item) == 0) continue;  // only items the browser shows can be selected
    const bool on = Selected(b, item);
    const bool want = operation == kDataBrowserItemsRemove ? false : operation == kDataBrowserItemsToggle ? !on : true;
    if (want && !on) b->selection.push_back(item);
    if (!want && on) b->selection.erase(std::find(b->selection.begin(), b->selection.end(), item));
  }
  for (DataBrowserItemID item : before)
    if (!Selected(b, item)) Notify(browser, b, item, kDataBrowserItemDeselected);
  for (DataBrowserItemID item : b->selection)
    if (std::find(before.begin(), before.end(), item) == before.end()) Notify(browser, b, item, kDataBrowserItemSelected);
  Changed(browser);
  return noErr;
}

Boolean IsDataBrowserItemSelected(ControlRef browser, DataBrowserItemID item) {
  Browser *b = Find(browser);
  return b != nullptr && Selected(b, item);
}

OSStatus OpenDataBrowserContainer(ControlRef browser, DataBrowserItemID container) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (b->parentOf.count(container) == 0) return errDataBrowserItemNotFound;
  if (b->children.count(container) != 0) return noErr;
  b->children[container];
  Notify(browser, b, container, kDataBrowserContainerOpened);
  Changed(browser);
  return noErr;
}

OSStatus CloseDataBrowserContainer(ControlRef browser, DataBrowserItemID container) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (b->parentOf.count(container) == 0) return errDataBrowserItemNotFound;
  auto it = b->children.find(container);
  if (it == b->children.end()) return noErr;
  const std::vector<DataBrowserItemID> below = it->second;
  for (DataBrowserItemID child : below) Forget(b, child);
  b->children.erase(container);
  Notify(browser, b, container, kDataBrowserContainerClosed);
  Changed(browser);
  return noErr;
}

OSStatus GetDataBrowserItemState(ControlRef browser, DataBrowserItemID item, DataBrowserItemState *state) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (state == nullptr) return paramErr;
  if (b->parentOf.count(item) == 0) return errDataBrowserItemNotFound;
  *state = StateOf(b, item);
  return noErr;
}

OSStatus SetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID property) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (property != kDataBrowserItemNoProperty && ColumnOf(b, property) == nullptr) return errDataBrowserPropertyNotFound;
  b->sortProperty = property;
  Changed(browser);
  return noErr;
}

OSStatus GetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID *property) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (property == nullptr) return paramErr;
  *property = b->sortProperty;
  return noErr;
}

OSStatus DataBrowserChangeAttributes(ControlRef browser, OptionBits attributesToSet, OptionBits attributesToClear) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  b->attributes = (b->attributes | attributesToSet) & ~attributesToClear;
  Changed(browser);
  return noErr;
}

OSStatus DataBrowserGetAttributes(ControlRef browser, OptionBits *attributes) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (attributes == nullptr) return paramErr;
  *attributes = b->attributes;
  return noErr;
}

OSStatus PL_AddDataBrowserColumn(ControlRef browser, DataBrowserTableViewColumnID column, CFStringRef title,
                                 UInt16 width) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (column == kDataBrowserItemNoProperty) return paramErr;
  if (ColumnOf(b, column) != nullptr) return dupFNErr;
  b->columns.push_back(Column{column, width});
  if (title != nullptr) b->texts[{kDataBrowserNoItem, column}] = CFStringCreateCopy(nullptr, title);
  Changed(browser);
  return noErr;
}

OSStatus GetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column,
                                                 UInt16 *width) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (width == nullptr) return paramErr;
  Column *c = ColumnOf(b, column);
  if (c == nullptr) return errDataBrowserPropertyNotFound;
  *width = c->width;
  return noErr;
}

OSStatus SetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column,
                                                 UInt16 width) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  Column *c = ColumnOf(b, column);
  if (c == nullptr) return errDataBrowserPropertyNotFound;
  c->width = width;
  Changed(browser);
  return noErr;
}

OSStatus SetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef text) {
  if (itemData == nullptr || text == nullptr) return paramErr;
  auto *data = static_cast<ItemData *>(itemData);
  CFStringRef &slot = data->browser->texts[{data->item, data->property}];
  if (slot != nullptr) CFRelease(slot);
  slot = CFStringCreateCopy(nullptr, text);
  return noErr;
}

CFStringRef PL_GetDataBrowserItemText(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property) {
  Browser *b = Find(browser);
  if (b == nullptr) return nullptr;
  auto it = b->texts.find({item, property});
  return it == b->texts.end() ? nullptr : it->second;
}

OSStatus PL_GetDataBrowserColumns(ControlRef browser, DataBrowserTableViewColumnID *ids, UInt32 maxCount,
                                  UInt32 *count) {
  Browser *b = Find(browser);
  if (b == nullptr) return errUnknownControl;
  if (count == nullptr) return paramErr;
  *count = UInt32(b->columns.size());
  for (UInt32 i = 0; ids != nullptr && i < maxCount && i < *count; ++i) ids[i] = b->columns[i].id;
  return noErr;
}

void PL_SetDataBrowserChangedProc(PL_DataBrowserChangedProc proc) { gChanged = proc; }

OSStatus PL_UserSelectDataBrowserItems(ControlRef browser, UInt32 numItems, const DataBrowserItemID *items) {
  return SetDataBrowserSelectedItems(browser, numItems, items, kDataBrowserItemsAssign);
}

void PL_DisposeDataBrowser(ControlRef browser) {
  auto it = gBrowsers.find(browser);
  if (it == gBrowsers.end()) return;
  for (auto &[key, text] : it->second->texts) CFRelease(text);
  gBrowsers.erase(it);
}
