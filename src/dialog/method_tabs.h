// The method panes of the project dialog: the grouping of the noise and logo items into panes and the
// reactions to each method's items. Main thread only. The reactions come with the method tabs' work; until
// then they change nothing and answer noErr.
#pragma once

#include "platform/core/controls.h"

Boolean BZ_IsRlHit(SInt32 item);
Boolean BZ_IsOutlierHit(SInt32 item);
Boolean BZ_IsRedNoiseHit(SInt32 item);
// Items 2329 to 2333 (the logo's fade).
Boolean BZ_IsFadeItem(SInt32 item);
// In group 2156: items 2166-2173 into a new pane 2165, then items 2158-2165 into a new pane 2157.
OSStatus BZ_EmbedReduceNoiseItems(WindowRef window);
// In the logo pane 2053: 2325-2328 into 2324; in group 2329, 2331-2333 into 2330; 2318-2323 into 2317;
// 2310-2316, 2317 and 2324 into 2309, which then goes below its siblings.
OSStatus BZ_EmbedRlItems(WindowRef window);
OSStatus BZ_HandleAvSecondMovieChoice(WindowRef window);
OSStatus BZ_HandleNoiseRedHit(WindowRef window, SInt32 itemHit);
OSStatus BZ_HandleRlHit(WindowRef window, SInt32 itemHit);
OSStatus BZ_HandleOuHit(WindowRef window, SInt32 itemHit);
OSStatus BZ_RlRemoveMaskPic();
// Whether the dialog holds a logo mask picture (kept by the logo method).
Boolean BZ_ProjDlgHasLogoMaskPic();
