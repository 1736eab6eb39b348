// Data browsers (list and column views) of the user-interface toolkit addressed by view identifier: each
// call finds the browser under the window's root (HIViewFindByID), returns that error unchanged when it is
// missing, and otherwise makes one Data Browser call on the root container and returns its status. No window
// of the application has a data browser; these are offered for windows that do. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/data_browser.h"

// Removes every item of the root container.
OSStatus GL_ClearDataBrowserByID(WindowRef window, HIViewID viewID);
// Adds the items (no pre-sort property).
OSStatus GL_PopulateDataBrowserByID(WindowRef window, HIViewID viewID, UInt32 numItems, DataBrowserItemID *items);
OSStatus GL_AddDataBrowserItem(WindowRef window, HIViewID viewID, DataBrowserItemID itemID);
OSStatus GL_RemoveDataBrowserItem(WindowRef window, HIViewID viewID, DataBrowserItemID itemID);
OSStatus GL_RemoveDataBrowserItemsByID(WindowRef window, HIViewID viewID, UInt32 numItems, DataBrowserItemID *items);
// Asks again for every property of the items.
OSStatus GL_UpdateDataBrowserItemsByID(WindowRef window, HIViewID viewID, UInt32 numItems, DataBrowserItemID *items);
// Asks again for the item's self-identity property, which a column view shows.
OSStatus GL_UpdateDataBrowserItemCV(WindowRef window, HIViewID viewID, DataBrowserItemID itemID);
// Installs a fresh callbacks record with these three procedures (the others none).
OSStatus GL_SetDataBrowserCbsByID(WindowRef window, HIViewID viewID, DataBrowserItemDataUPP itemDataProc,
                                  DataBrowserItemNotificationUPP itemNotificationProc,
                                  DataBrowserItemCompareUPP itemCompareProc);
// Every item of the root container and its open containers, in any state.
OSStatus GL_CountDBItems(WindowRef window, HIViewID viewID, UInt32 *count);
// The selected ones among them.
OSStatus GL_CountSelectedDBItems(WindowRef window, HIViewID viewID, UInt32 *numSelected);
// *itemIDs: NULL first, then the same items in a new block (owned: free()); *numItems their number. The
// block of an empty browser holds nothing but is still made.
OSStatus GL_CopyDBItems(WindowRef window, HIViewID viewID, DataBrowserItemID **itemIDs, UInt32 *numItems);
OSStatus GL_CopySelectedDBItems(WindowRef window, HIViewID viewID, DataBrowserItemID **selectedIDs,
                                UInt32 *numSelected);
OSStatus GL_GetDataBrowserSortPropertyByID(WindowRef window, HIViewID viewID, DataBrowserPropertyID *property);
OSStatus GL_DataBrowserChangeAttributesByID(WindowRef window, HIViewID viewID, OptionBits attributesToSet,
                                            OptionBits attributesToClear);
OSStatus GL_GetDataBrowserTableViewNamedColumnWidthByID(WindowRef window, HIViewID viewID,
                                                        DataBrowserTableViewColumnID column, UInt16 *width);
// The width is taken as 16 bits.
OSStatus GL_SetDataBrowserTableViewNamedColumnWidthByID(WindowRef window, HIViewID viewID,
                                                        DataBrowserTableViewColumnID column, int width);
