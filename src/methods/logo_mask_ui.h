// The logo mask picture of the logo pane: importing a mask image (button), showing a mask found by an
// analysis run (event 2011) clipped in image well 2312 with the logo position in item 2341, exporting it as an
// image file (button 2315), and the mask file's description in item 2311. The mask state itself is the logo
// method's (gBZ.dlgTaskData.rlDlgTaskData, logo_params.h); the window is the project dialog (items of
// signature 'Orl1'), reached through the toolkit's item routines.
//
// Main thread only. While a run finds the logo, its distributor waits on the stage semaphore until
// BZ_RlSetMaskPicture has finished (the event handler signals it whatever the result).
#pragma once

#include "methods/logo_params.h"
#include "movie/pictures.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"
#include "platform/core/windows.h"
#include "platform/ui/images_graphics.h"

// The import button: the chooser (still images only); a chosen file is read into the mask (BZ_RlCheckMask),
// placed at the settings' mask anchor (the project's logo rectangle follows), shown in the well, and its name
// shown in 2311. A cancel clears the mask file and leaves no picture (noErr). The first failure; the previous
// mask stays when the new file cannot be read.
OSStatus BZ_ImportMask(WindowRef window);
// The mask file's image as the mask picture (logoMaskPic), the part shown in the well (BZ_RlGetClip).
OSStatus BZ_GetMaskPicFromFile(WindowRef window, const FSRef *maskFile, SInt32 logoPos);
// The picture of a found mask (event 2011): its bounding box becomes the logo rectangle of the mask, a
// black-on-white picture reaching from the box to the nearest frame corners (at least the well's size),
// clipped into the well; 2341 shows the corner, and with findMask the export button is activated.
// kBZ_LogoEmptyErr for a mask without a pixel.
OSStatus BZ_RlSetMaskPicture(WindowRef window, BZ_RlParams *rlParams);
// *clip = the part of the mask picture the well shows: the logo and 4 pixels beyond it on the side away from
// the frame corner logoPos (0 top left, 1 bottom left, 2 bottom right, 3 top right), kept inside the picture;
// a picture smaller than the well whole. paramErr (-50) for logoPos outside 0..3.
OSStatus BZ_RlGetClip(WindowRef window, Rect *clip, SInt32 logoPos);
// The export button: the mask picture written through the 'qtif' image exporter to a file the user chooses
// (named "Logo mask" with the exporter's extension), its creator and type set, its extension hidden as chosen;
// the button deactivated and the file named in 2311. userCanceledErr for a cancel; the first failure.
OSStatus BZ_ExportMask(WindowRef window);
// *maskName = "Logo mask." and the exporter's default extension (owned: the caller releases it).
OSStatus BZ_RlSuggestMaskName(GraphicsExportComponent exporter, CFStringRef *maskName);
// Item 2311: the file's name, folder and volume, or "Mask name & location" without a valid file.
OSStatus BZ_RlSetMaskFileLocation(WindowRef window, const FSRef *maskFile);
// A file name without an extension gets the exporter's default one (the file is renamed).
OSStatus BZ_RlAddFileNameExtension(GraphicsExportComponent exporter, FSRef *logoFile);
