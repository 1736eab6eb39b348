// The video export menu: the movie exporters offered for exporting the cleaned movie, as items of a
// pop-up menu (text: the exporter's name and an ellipsis, command: its subtype) and as a list of
// QT_CompInfoLE records with their file name extensions. Main thread only.
#pragma once

#include "movie/codecs.h"
#include "movie/export_components.h"
#include "platform/core/controls.h"

// Fills the menu (or, when menu is null, the menu of the pop-up popupViewID of window, whose maximum then
// becomes the item count) with every exporter that exports files and from procedures, takes video and
// implements settings from an atom container and file name extensions; restricting leaves out exporters
// of manufacturers 'TELE' and 'DARC'. With qtVersion 1813 (low 16 bits) the portable-device exporter
// 'M4VH' of 'appl' is added too when present. The menu's old items are deleted. Exporters with an
// extension are appended to *compInfoList (when given; the caller owns the list).
OSStatus QT_AddVideoExportCompsToMenu(SInt32 qtVersion, WindowRef window, HIViewID popupViewID, MenuRef menu,
                                      QT_CompInfoLE **compInfoList, Boolean restricting);
// Adds one exporter: the item text is itemString with an ellipsis (none for portable-device exporters); a
// text the menu has already adds nothing. Otherwise the item goes at the end with the subtype as its
// command, *numVideoItems grows by one, and with a non-empty typeString a list element (name without
// ellipsis, extension, 'spit', subtype) is appended to *expCompInfoList when that is given.
OSStatus QT_AddVideoExportCompToList(MenuRef videoExportMenu, const char *itemString, const char *typeString,
                                     OSType subType, SInt32 *numVideoItems, QT_CompInfoLE **expCompInfoList);
