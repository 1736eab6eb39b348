// Data Browser stand-in: the item model of a list or column view control. A browser is a control
// (platform/core/controls.h) of kind {'appl', 'datb'}; its items are 32-bit IDs in containers, the root
// container being 0. An item becomes a container when it is opened: the item-notification procedure is told
// (kDataBrowserContainerOpened) and adds the container's items, which go again when it is closed. Counts and
// copies with recurse go into open containers. The user-interface layer shows a browser as a QTreeWidget and
// is told of every change through the changed procedure. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/memory.h"

typedef UInt32 DataBrowserItemID;
typedef UInt32 DataBrowserPropertyID;
typedef UInt32 DataBrowserItemState;
typedef UInt32 DataBrowserPropertyType;
typedef UInt32 DataBrowserItemNotification;
typedef UInt32 DataBrowserTableViewColumnID;
typedef void *DataBrowserItemDataRef;

enum : OSType { kControlKindDataBrowser = 'datb' };
enum : DataBrowserItemID { kDataBrowserNoItem = 0 };
enum : DataBrowserPropertyID { kDataBrowserItemNoProperty = 0, kDataBrowserItemSelfIdentityProperty = 8 };
enum : DataBrowserItemState {
  kDataBrowserItemNoState = 0,
  kDataBrowserItemIsSelected = 1 << 0,
  kDataBrowserContainerIsOpen = 1 << 1,
  kDataBrowserItemAnyState = 0xFFFFFFFFu,
};
enum : DataBrowserItemNotification {
  kDataBrowserItemAdded = 1,
  kDataBrowserItemRemoved = 2,
  kDataBrowserItemSelected = 5,
  kDataBrowserItemDeselected = 6,
  kDataBrowserContainerOpened = 9,
  kDataBrowserContainerClosed = 10,
};
// errDataBrowserItemNotFound (-4971) is in mac_errors.h.
enum : OSStatus {
  errDataBrowserNotConfigured = -4970,
  errDataBrowserItemNotAdded = -4975,
  errDataBrowserPropertyNotFound = -4972,
};
typedef UInt32 DataBrowserSetOption;
enum : DataBrowserSetOption {
  kDataBrowserItemsAdd = 0,
  kDataBrowserItemsAssign = 1,
  kDataBrowserItemsToggle = 2,
  kDataBrowserItemsRemove = 3,
};
enum : OptionBits {
  kDataBrowserAttributeNone = 0,
  kDataBrowserAttributeColumnViewResizeWindow = 1 << 0,
  kDataBrowserAttributeListViewAlternatingRowColors = 1 << 1,
  kDataBrowserAttributeListViewDrawColumnDividers = 1 << 2,
};

struct OpaqueControlRef;
typedef OSStatus (*DataBrowserItemDataProcPtr)(ControlRef browser, DataBrowserItemID item,
                                               DataBrowserPropertyID property, DataBrowserItemDataRef itemData,
                                               Boolean setValue);
typedef void (*DataBrowserItemNotificationProcPtr)(ControlRef browser, DataBrowserItemID item,
                                                   DataBrowserItemNotification message);
typedef Boolean (*DataBrowserItemCompareProcPtr)(ControlRef browser, DataBrowserItemID itemOne,
                                                 DataBrowserItemID itemTwo, DataBrowserPropertyID sortProperty);
typedef DataBrowserItemDataProcPtr DataBrowserItemDataUPP;
typedef DataBrowserItemNotificationProcPtr DataBrowserItemNotificationUPP;
typedef DataBrowserItemCompareProcPtr DataBrowserItemCompareUPP;

enum : UInt32 { kDataBrowserLatestCallbacks = 0 };
struct DataBrowserCallbacks {
  UInt32 version;
  union {
    struct {
      DataBrowserItemDataUPP itemDataCallback;
      DataBrowserItemCompareUPP itemCompareCallback;
      DataBrowserItemNotificationUPP itemNotificationCallback;
    } v1;
  } u;
};

// Makes the control a data browser (kind 'datb', no items, sort property none, no columns). paramErr for a
// NULL control.
OSStatus PL_MakeDataBrowser(ControlRef control);

// Items of a container (kDataBrowserNoItem: the root); numItems 0 with RemoveDataBrowserItems removes all.
// errDataBrowserItemNotFound for a container that is not an open one or an item it lacks; adding an item the
// browser has already gives errDataBrowserItemNotAdded. The pre-sort property is not used.
OSStatus AddDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                             const DataBrowserItemID *items, DataBrowserPropertyID preSortProperty);
OSStatus RemoveDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID *items, DataBrowserPropertyID preSortProperty);
// Asks the item-data procedure again for the property (kDataBrowserItemNoProperty: every column property and
// the self-identity property) of each item.
OSStatus UpdateDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID *items, DataBrowserPropertyID preSortProperty,
                                DataBrowserPropertyID propertyID);

OSStatus InitDataBrowserCallbacks(DataBrowserCallbacks *callbacks);
// paramErr for a record of another version.
OSStatus SetDataBrowserCallbacks(ControlRef browser, const DataBrowserCallbacks *callbacks);
OSStatus GetDataBrowserCallbacks(ControlRef browser, DataBrowserCallbacks *callbacks);

// Items of the container (with recurse, also those of its open containers, depth first) whose state has all
// the bits of state (kDataBrowserItemAnyState: any).
OSStatus GetDataBrowserItemCount(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                                 DataBrowserItemState state, UInt32 *numItems);
// The same IDs appended to the handle (resized to hold them).
OSStatus GetDataBrowserItems(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                             DataBrowserItemState state, Handle items);

OSStatus SetDataBrowserSelectedItems(ControlRef browser, UInt32 numItems, const DataBrowserItemID *items,
                                     DataBrowserSetOption operation);
Boolean IsDataBrowserItemSelected(ControlRef browser, DataBrowserItemID item);
OSStatus OpenDataBrowserContainer(ControlRef browser, DataBrowserItemID container);
OSStatus CloseDataBrowserContainer(ControlRef browser, DataBrowserItemID container);
OSStatus GetDataBrowserItemState(ControlRef browser, DataBrowserItemID item, DataBrowserItemState *state);

OSStatus SetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID property);
OSStatus GetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID *property);

OSStatus DataBrowserChangeAttributes(ControlRef browser, OptionBits attributesToSet, OptionBits attributesToClear);
OSStatus DataBrowserGetAttributes(ControlRef browser, OptionBits *attributes);

// A list-view column (by its property ID) is made by the first width set or by PL_AddDataBrowserColumn;
// errDataBrowserPropertyNotFound for a column the browser does not have.
OSStatus PL_AddDataBrowserColumn(ControlRef browser, DataBrowserTableViewColumnID column, CFStringRef title,
                                 UInt16 width);
OSStatus GetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column,
                                                 UInt16 *width);
OSStatus SetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column,
                                                 UInt16 width);

// Inside the item-data procedure: the text of the asked property (the browser keeps a copy).
OSStatus SetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef text);

// ---- Our own helpers, for the user-interface layer and tests ----
// The text the item-data procedure last gave for the item's property (borrowed; NULL when none).
CFStringRef PL_GetDataBrowserItemText(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property);
// The columns' property IDs in order; *count the number (ids may be NULL).
OSStatus PL_GetDataBrowserColumns(ControlRef browser, DataBrowserTableViewColumnID *ids, UInt32 maxCount,
                                  UInt32 *count);
// Called after the browser's items, selection, columns or texts changed.
typedef void (*PL_DataBrowserChangedProc)(ControlRef browser);
void PL_SetDataBrowserChangedProc(PL_DataBrowserChangedProc proc);
// The user's selection of items in the view: assigns it and tells the notification procedure.
OSStatus PL_UserSelectDataBrowserItems(ControlRef browser, UInt32 numItems, const DataBrowserItemID *items);
// Forgets the browser's model (DisposeControl and the window's disposal call it).
void PL_DisposeDataBrowser(ControlRef browser);
