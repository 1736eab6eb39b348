// The Output pane of the project dialog (items 2070-2099): result and noise movies, the codec pop-up 2078
// (items 1-5 the codecs, 6 a separator, 7 "Export" with the submenu of movie exporters), the exporter's
// settings, the DV choice and the estimate of the output size. Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/menus.h"
#include "platform/movie/atom_container.h"

enum : SInt32 { kBZ_ExportMenuItem = 7 };  // the pop-up's item holding the exporters

Boolean BZ_IsOutputHit(SInt32 item);
// The reaction to an Output item after the dialog's settings were read; marks the output settings for update.
OSStatus BZ_HandleOutputHit(WindowRef window, SInt32 itemHit);
// 'dvc ' and 'dvcp' 1, 'mjpa' 2, '2vuy' 3, 'icod' 4, 'y420' 5, anything else 0; and back (0 for other items).
SInt32 BZ_ProjDialogCodecTypeToPopupMenuItem(CodecType cType);
CodecType BZ_ProjDialogPopupMenuItemToCodecType(SInt32 popupMenuItem);
// Dialog to settings: item 7 sets `export`; any other clears it and sets cType from the table.
OSStatus BZ_GetCompressor(WindowRef window);
// Settings to dialog: the exporter's item checked and its name in 2080 when exporting, else the codec's item
// and 2080 emptied; 2078 set to the item, which alone is checked.
OSStatus BZ_SetCompressor(WindowRef window);
// The submenu of item 7 of 2078's pop-up menu (borrowed).
OSStatus BZ_GetVideoExportMenu(WindowRef window, MenuRef *videoExportMenu);
// Gives 2078 its codec menu when it has none, fills the export submenu with the movie exporters (their
// list in gBZ.expCompInfoList) and installs BZ_ExportMenuEventHandler on it.
OSStatus BZ_InitExportMenu(WindowRef window);
// A command from the export submenu (userData: that submenu): the exporter chosen with its settings, or the
// failure shown. Handled; other events are not (eventNotHandledErr).
OSStatus BZ_ExportMenuEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
// The exporter of component subtype commandID chosen: its settings dialog over the source movie (none for
// the portable-device exporters); OK keeps the settings and sets `export`, a cancel answers userCanceledErr.
OSStatus BZ_HandleVideoExportChoice(WindowRef window, UInt32 commandID);
// Item 2080 = the name of the listed exporter of that subtype; nothing when none is listed. noErr.
OSStatus BZ_SetExportTypeInSTI(WindowRef window, OSType exportType);
// The DV export settings made to fit the source movie: PAL or NTSC, the sound's sample rate, 16:9 and
// progressive. The last call's result.
OSStatus BZ_AdjustDVSettingsToInputMovie(BZ_ProjInfo *projInfo, Handle videoExportSett);
// DV (item 1) only for a 720 x 576 or 720 x 480 picture after cutting the crop margins; a chosen DV then
// becomes 'mjpa'.
OSStatus BZ_ActivateDV_Compression(WindowRef window);
// 2073 and 2077 are active when a source and a result are chosen (and with averaging the second source).
OSStatus BZ_ActivateSpecialMovieButtons(WindowRef window);
// Items 2071, 2072, 2078 and 2088 follow `activate`; 2073 and 2077 are deactivated; in that order, stopping
// at the first failure.
OSStatus BZ_ReactivateOutputControls(WindowRef window, int activate);
// Item 2082 to 0, 2083 to "#frames", 2084 to the localised "GL average rate".
OSStatus BZ_ResetProgressBar(WindowRef window);
// Item 2079: the localised "BZ Size" and the estimated size of the result, or "?" without an estimate.
OSStatus BZ_SetOutputSize(WindowRef window);
