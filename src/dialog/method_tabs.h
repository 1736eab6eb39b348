// The method panes of the project dialog (items 2051 to 2056): the grouping of the noise and logo items into
// panes, and the reactions to the items that do more than store a value: the second movie of averaging, the
// noise filter, frame range and selection box, the logo's mode, mask picture, transparency and position, and
// the outlier pane. They run from the dependent-items pass that follows a hit (the dialog's settings are read
// before and written back after) and from the defaults buttons' replays. Main thread only.
//
// The logo mask state is the logo method's (gBZ.dlgTaskData.rlDlgTaskData); the measured noise levels are
// the noise analysis's (gBZ.dlgTaskData.rnDlgTaskData).
#pragma once

#include "dialog/project_dialog.h"
#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "platform/core/controls.h"

// Item ranges of the panes, bounds included.
Boolean BZ_IsAverageHit(SInt32 item);     // 2100-2149
Boolean BZ_IsRedNoiseHit(SInt32 item);    // 2150-2199
Boolean BZ_IsRnSelRectHit(SInt32 item);   // 2170-2173
Boolean BZ_IsRlHit(SInt32 item);          // 2300-2349
Boolean BZ_IsFadeItem(SInt32 item);       // 2329-2333 (the logo's fade)
Boolean BZ_IsLogoRectItem(SInt32 item);   // 2300-2303
Boolean BZ_IsCrossLumaHit(SInt32 item);   // 2350-2399
Boolean BZ_IsVarBrHit(SInt32 item);       // 2400-2409
Boolean BZ_IsOutlierHit(SInt32 item);     // 2500-2517

// In group 2156: items 2166-2173 into a new pane 2165, then items 2158-2165 into a new pane 2157.
OSStatus BZ_EmbedReduceNoiseItems(WindowRef window);
// In the logo pane 2053: 2325-2328 into 2324; in group 2329, 2331-2333 into 2330; 2318-2323 into 2317;
// 2310-2316, 2317 and 2324 into 2309, which then goes below its siblings.
OSStatus BZ_EmbedRlItems(WindowRef window);

// The second movie just chosen (source record 1 holds the choice, or nothing after a cancel): a running
// analysis or preview is stopped first, the previous second movie closed, the new one opened and described,
// the pair checked against the first movie (a pair that cannot be averaged is shown and the second movie
// dropped), and its name shown in 2100. A movie that cannot be opened leaves no second movie behind and its
// error is returned.
OSStatus BZ_HandleAvSecondMovieChoice(WindowRef window);

// A hit on the noise pane. The filter's measured levels (2D with both directions, 16H with horizontal alone,
// else 16V) are copied into the levels when automatic and a direction changes (2151, 2152); the frame range
// keeps first <= last (2159 pulls the last frame, 2162 the first); turning off the selection box (2164)
// cancels the pane's selection in the preview; a typed Y level (2153) sets Cb and Cr: in proportion to the
// measured levels when automatic and Y was measured, else equal to Y, within 0.1 .. 40. The range, box and
// selection (2159, 2162, 2164, 2170-2173) make the measured levels stale: they are zeroed. Always noErr.
OSStatus BZ_HandleNoiseRedHit(WindowRef window, SInt32 itemHit);

// A hit on the logo pane: marks the logo settings for update; the mode (2308), find-mask box (2325) and
// transparency box (2316) drop the mask picture; the logo position (2341) moves the logo rectangle to the
// anchor and reads the mask file's picture again for it; an import (2314) turns finding the mask off.
OSStatus BZ_HandleRlHit(WindowRef window, SInt32 itemHit);
// Items 2300-2303 and the settings' logoRect (and the mask's logoRect) become *logoRect.
OSStatus BZ_SetLogoDimensions(WindowRef window, const Rect *logoRect);
// The mask picture's logo rectangle placed in the movie so that the picture's corner maskAnchor (0 top left,
// 1 bottom left, 2 bottom right, 3 top right) meets the movie's; without an open movie the rectangle in the
// picture. Without a mask picture there is nothing to place and the logo rectangle stays. paramErr for an
// anchor outside 0..3.
OSStatus BZ_SetLogoPosition(WindowRef window, SInt32 maskAnchor);
// Without a mask picture the logo rectangle items (2300-2307) are active and the position controls (2340,
// 2341) inactive; with one the other way round, except that a picture as large as the open movie leaves the
// position controls inactive too (there is only one place for it).
OSStatus BZ_ActivateLogoDimensions(WindowRef window);
// The find-mask box changed: the mask picture goes and the dimension items follow.
OSStatus BZ_HandleFindMaskHit(WindowRef window);
// The transparency box changed: the transparent-logo items (pane 2317) follow it, the mask picture goes.
OSStatus BZ_HandleMaskTrGroupBoxHit(WindowRef window, const BZ_RlSett *removeLogo);
// The mode changed: the mask items (pane 2309) are active in mode 3 only, the mask picture goes.
OSStatus BZ_HandleDiminishRadioGroupHit(WindowRef window, const BZ_RlSett *removeLogo);
// The mask picture removed: export button 2315 inactive, 2311 back to its "no file" text, well 2312 emptied,
// the picture, the mask pixels and the mask file dropped, the picture's rectangles zeroed. A NULL window
// (no dialog) only frees. The first failure of an item; the mask is dropped whatever.
OSStatus BZ_RlRemoveMaskPic(WindowRef window, BZ_ProjDlgData *dlgData);
// Whether the dialog holds a logo mask picture (kept by the logo method).
Boolean BZ_ProjDlgHasLogoMaskPic();
// *logoRect = items 2300-2303, checked and corrected against the movie (any size without a movie); whether
// it was valid as typed.
Boolean BZ_GetCorrectLogoPosEtiText(WindowRef window, const BZ_StatMovInfo *statMovInfo, Rect *logoRect);

// A hit on the outlier pane: marks the outlier settings for update. Always noErr.
OSStatus BZ_HandleOuHit(WindowRef window, SInt32 itemHit);
