// The Input pane of the project dialog (items 2020-2049): the source movie and its handling (interlacing,
// field order, cropping, black bars), the opening of a newly chosen source movie, its information text and
// poster, and the source frame cache of the analyses. Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/controls.h"

Boolean BZ_IsInputHit(SInt32 item);
Boolean BZ_IsCropHit(SInt32 item);
// Whether a change of interlacing (of field order) changes what the valid methods produce: noise reduction,
// logo removal or varying brightness (varying brightness alone) among validSelectedTypes.
UInt32 BZ_InterlaceTypeAffectsResult(UInt32 validSelectedTypes);
UInt32 BZ_FieldDominanceAffectsResult(UInt32 validSelectedTypes);
// In group 2033: items 2038-2041 into a new pane 2037, then items 2035-2037 into a new pane 2034.
OSStatus BZ_EmbedCropItems(WindowRef window);
// The reaction to an Input item after the dialog's settings were read; marks the input settings for update.
OSStatus BZ_HandleInputHit(WindowRef window, SInt32 itemHit);
// Takes the source movie just chosen into source record 0 (or its absence): any run is stopped first, the
// previous movie and its project are closed, the new one opened and the dialog set up for it. A movie that
// fails to open or to describe itself is shown as an error and leaves the dialog without a source movie.
OSStatus BZ_HandleInputMovieChoice(WindowRef window);
// Opens the movie of source record 0, gathers its static information and sets the dialog's limits, caches
// and input settings for it. A failed open zeroes the source reference. The first failure.
OSStatus BZ_HandleOpenMovie1Hit(WindowRef window);
// Item 2024: the information text of source 0 with its poster in 2025, or the localised "BZ Movie info"
// without a movie; then the output size estimate.
OSStatus BZ_SetMovieInfo(WindowRef window);
// Redraws the source's poster letterboxed into image well 2025 (mid grey bars) and shows it; paramErr
// without a poster.
OSStatus BZ_SetScaledPosterInDialog(WindowRef window);
// Installs BZ_ImageWellEventHandler as the draw handler of image wells 2025 (poster) and 2312 (logo mask),
// keeping the handlers in the dialog data (imageWellEvHandler, maskWellEvHandler) when there is one; a well
// whose handler is kept already gets no second one. The first failure.
OSStatus BZ_SetProjDlgImageWellBackground(WindowRef window);
// Control-draw handler of image wells: a well holding a picture draws it (the next handler) and paints the
// bands of the drawing area beside the picture in the window's background, darkened (black at alpha 0.03
// for the poster well 2025, whose picture is the letterbox of the source movie's proportions, 0.06 for
// other wells, whose picture fills them), answering what the drawing answered; an empty well is drawn and
// then covered with the window's background (noErr). Other events: eventNotHandledErr.
OSStatus BZ_ImageWellEventHandler(EventHandlerCallRef nextHandler, EventRef event, void *userData);
// Disables the fourth codec (Apple Intermediate Codec) of pop-up 2078 when no codec of that kind is present.
OSStatus BZ_ActivateAIC(WindowRef window);
// Frees and reallocates, zeroed, the 25-slot frame cache and the 3-frame preview cache for bufferSize-byte
// frames, makes the cache's critical region when there is none and marks every slot free. memFullErr
// (caches NULL) when the blocks cannot be had.
OSStatus BZ_InitFrameCache(BZ_DlgTaskData *dlgTaskData, SInt64 bufferSize);
