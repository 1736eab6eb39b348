// Data browsers of the user-interface toolkit addressed by view identifier.
#include "toolkit/data_browser.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <cstdlib>
#include <cstring>

namespace {

// Finds the browser, then does `act` with it; the finding's failure or act's result.
template <class Act>
OSStatus WithBrowser(WindowRef window, HIViewID viewID, Act act) {
  HIViewRef browser = nullptr;
  OSStatus err = HIViewFindByID(HIViewGetRoot(window), viewID, &browser);
  if (err != noErr) return err;
  return act(browser);
}

// The items of the root container in the state, recursively, copied into a new malloc block.
OSStatus CopyItems(WindowRef window, HIViewID viewID, DataBrowserItemState state, DataBrowserItemID **ids,
                   UInt32 *count) {
  if (ids == nullptr || count == nullptr) return paramErr;
  *ids = nullptr;
  return WithBrowser(window, viewID, [&](HIViewRef browser) {
    Handle items = NewHandle(0);
    if (items == nullptr) return OSStatus(memFullErr);
    OSStatus err = GetDataBrowserItems(browser, kDataBrowserNoItem, true, state, items);
    if (err == noErr) {
      const Size bytes = GetHandleSize(items);
      // One byte at least, so an empty browser still hands out a block the caller frees.
      auto *block = static_cast<DataBrowserItemID *>(std::malloc(bytes > 0 ? size_t(bytes) : 1));
      if (block == nullptr) {
        err = memFullErr;
      } else {
        if (bytes > 0) std::memcpy(block, *items, size_t(bytes));
        *ids = block;
        *count = UInt32(bytes / Size(sizeof(DataBrowserItemID)));
      }
    }
    DisposeHandle(items);
    return err;
  });
}

}  // namespace

OSStatus GL_ClearDataBrowserByID(WindowRef window, HIViewID viewID) {
  return WithBrowser(window, viewID, [](HIViewRef b) {
    return RemoveDataBrowserItems(b, kDataBrowserNoItem, 0, nullptr, kDataBrowserItemNoProperty);
  });
}

OSStatus GL_PopulateDataBrowserByID(WindowRef window, HIViewID viewID, UInt32 numItems, DataBrowserItemID *items) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return AddDataBrowserItems(b, kDataBrowserNoItem, numItems, items, kDataBrowserItemNoProperty);
  });
}

OSStatus GL_AddDataBrowserItem(WindowRef window, HIViewID viewID, DataBrowserItemID itemID) {
  return GL_PopulateDataBrowserByID(window, viewID, 1, &itemID);
}

OSStatus GL_RemoveDataBrowserItem(WindowRef window, HIViewID viewID, DataBrowserItemID itemID) {
  return GL_RemoveDataBrowserItemsByID(window, viewID, 1, &itemID);
}

OSStatus GL_RemoveDataBrowserItemsByID(WindowRef window, HIViewID viewID, UInt32 numItems, DataBrowserItemID *items) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return RemoveDataBrowserItems(b, kDataBrowserNoItem, numItems, items, kDataBrowserItemNoProperty);
  });
}

OSStatus GL_UpdateDataBrowserItemsByID(WindowRef window, HIViewID viewID, UInt32 numItems, DataBrowserItemID *items) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return UpdateDataBrowserItems(b, kDataBrowserNoItem, numItems, items, kDataBrowserItemNoProperty,
                                  kDataBrowserItemNoProperty);
  });
}

OSStatus GL_UpdateDataBrowserItemCV(WindowRef window, HIViewID viewID, DataBrowserItemID itemID) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return UpdateDataBrowserItems(b, kDataBrowserNoItem, 1, &itemID, kDataBrowserItemNoProperty,
                                  kDataBrowserItemSelfIdentityProperty);
  });
}

OSStatus GL_SetDataBrowserCbsByID(WindowRef window, HIViewID viewID, DataBrowserItemDataUPP itemDataProc,
                                  DataBrowserItemNotificationUPP itemNotificationProc,
                                  DataBrowserItemCompareUPP itemCompareProc) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    DataBrowserCallbacks callbacks;
    OSStatus err = InitDataBrowserCallbacks(&callbacks);
    if (err != noErr) return err;
    callbacks.u.v1.itemDataCallback = itemDataProc;
    callbacks.u.v1.itemNotificationCallback = itemNotificationProc;
    callbacks.u.v1.itemCompareCallback = itemCompareProc;
    return SetDataBrowserCallbacks(b, &callbacks);
  });
}

OSStatus GL_CountDBItems(WindowRef window, HIViewID viewID, UInt32 *count) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return GetDataBrowserItemCount(b, kDataBrowserNoItem, true, kDataBrowserItemAnyState, count);
  });
}

OSStatus GL_CountSelectedDBItems(WindowRef window, HIViewID viewID, UInt32 *numSelected) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return GetDataBrowserItemCount(b, kDataBrowserNoItem, true, kDataBrowserItemIsSelected, numSelected);
  });
}

OSStatus GL_CopyDBItems(WindowRef window, HIViewID viewID, DataBrowserItemID **itemIDs, UInt32 *numItems) {
  return CopyItems(window, viewID, kDataBrowserItemAnyState, itemIDs, numItems);
}

OSStatus GL_CopySelectedDBItems(WindowRef window, HIViewID viewID, DataBrowserItemID **selectedIDs,
                                UInt32 *numSelected) {
  return CopyItems(window, viewID, kDataBrowserItemIsSelected, selectedIDs, numSelected);
}

OSStatus GL_GetDataBrowserSortPropertyByID(WindowRef window, HIViewID viewID, DataBrowserPropertyID *property) {
  return WithBrowser(window, viewID, [&](HIViewRef b) { return GetDataBrowserSortProperty(b, property); });
}

OSStatus GL_DataBrowserChangeAttributesByID(WindowRef window, HIViewID viewID, OptionBits attributesToSet,
                                            OptionBits attributesToClear) {
  return WithBrowser(window, viewID,
                     [&](HIViewRef b) { return DataBrowserChangeAttributes(b, attributesToSet, attributesToClear); });
}

OSStatus GL_GetDataBrowserTableViewNamedColumnWidthByID(WindowRef window, HIViewID viewID,
                                                        DataBrowserTableViewColumnID column, UInt16 *width) {
  return WithBrowser(window, viewID,
                     [&](HIViewRef b) { return GetDataBrowserTableViewNamedColumnWidth(b, column, width); });
}

OSStatus GL_SetDataBrowserTableViewNamedColumnWidthByID(WindowRef window, HIViewID viewID,
                                                        DataBrowserTableViewColumnID column, int width) {
  return WithBrowser(window, viewID, [&](HIViewRef b) {
    return SetDataBrowserTableViewNamedColumnWidth(b, column, UInt16(width));
  });
}
