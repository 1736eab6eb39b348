// Speck editing in the preview: the previewed frame's speck list, queries on it, the filling of the specks
// the user keeps and the colouring of every speck in the difference picture. The preview's frames, flag
// plane and pictures come from the preview data (BZ_GetPreviewDataPtr) and the outlier state in gBZ.
//
// Threads: the speck list and the preview buffers are guarded by oeCritRgn (BZ_OuDlgTaskData). The outlier
// task holds it for a whole run; the noise-frame stage of the same preview run uses the buffers while it does.
#pragma once

#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/preview_data.h"
#include "outliers/speck_properties.h"

// Colour codes of the speck states in the difference picture.
enum : SInt32 {
  kBZ_OuColorNotRemoved = 205,    // red
  kBZ_OuColorScratch = 409,       // blue
  kBZ_OuColorUserSpeck = 341,     // green
  kBZ_OuColorAutoSpeck = 30,      // grey and black
};

// The window of 4 x numConstPix + 1 slots around the previewed frame, as the replacement routines take it:
// the preview's frames fill slots numConstPix to 3 x numConstPix, the others are empty.
void BZ_OuGetPreviewWindow(const BZ_OuPreviewData *ouPreviewData, SInt32 numConstPix,
                           UInt8 *window[kBZ_OuNumWindowSlots]);

// Fills the specks that are not removed into the preview's cleaned frame (outBuffer2vuy): spatially from the
// previewed frame when interpolateSpatially is set, else from its neighbouring frames. paramErr without a
// project, preview data, cleaned frame or previewed frame.
OSStatus BZ_OuApplyNonRemovedSpecks();
// Colours every speck of the preview's list in the difference picture (the third ARGB picture of
// buffersRGB) by its state; removed specks filled spatially get a yellow ring. paramErr as above.
OSStatus BZ_OuColorSpecksDiffs();
// Colours the speck's pixels in diffBufferRGB: pixels whose luminance in diffBuffer lies above the difference
// picture's grey get the bright colour of the code, the others the dark one; only R, G and B are written.
void BZ_OuColorSpeckDiffs(const BZ_OuSpeck *speck, float internalGamma, SInt32 color, const UInt8 *diffBuffer,
                          UInt8 *diffBufferRGB);
// Paints the speck's ring (the indexes after its region pixels) yellow in diffBufferRGB.
void BZ_OuAddYellowEdgeToSpeckDiff(const BZ_OuSpeck *speck, UInt8 *diffBufferRGB);

// ---- Speck-list queries ----

// Whether some other speck of the list shares a pixel with it.
Boolean BZ_OuSpeckOverlapsAnySpeck(BZ_OuSpeckLE *speckList, const BZ_OuSpeckLE *speckLE);
// A found list (owned: LL_DisposeLinkedList) of one element pointing at the first speck whose region holds
// the padded point, or NULL.
LL_PtrLE *BZ_OuFindPtInSpeckList(SInt32 width, BZ_OuSpeckLE *speckList, Point paddedPt);
// A found list (owned: LL_DisposeLinkedList) of every speck whose region bounds lie inside bounds, in list
// order, or NULL.
LL_PtrLE *BZ_OuFindSpecksInRect(BZ_OuSpeckLE *speckList, const Rect *bounds);
// Gives all found specks one remove (type 0) or interpolateSpatially (type 1) state: set when more than half
// of them have it.
void BZ_OuEqualizeSpeckState(LL_PtrLE *firstFndSpeckLE, BZ_OuOeType oeType);
// Flips remove (type 0) or interpolateSpatially (type 1) of the first speck with that number; other types and
// unknown numbers do nothing.
void BZ_OuToggleSpeckStateByNumber(BZ_OuSpeckLE *speckList, SInt32 speckNum, BZ_OuOeType oeType);

// ---- Edits ----

// Makes a new speck (no option key, 0x800) from the rectangle (unpadded frame coordinates) by its edge median,
// or a scratch through it (north-west, or south-west with the shift key 0x200 too), records the edit in the
// preview frame's list and redraws the edited preview; the alert sound when nothing is found. Main thread;
// waits for the edit region. The redraw's error, else that of leaving the region.
OSStatus BZ_OuFindSpeckInSelectionRect(const Rect *selRect, UInt32 modifiers);
// Toggles the speck under pt (unpadded), or with pt NULL all specks whose bounds lie inside selRect (after
// giving them one state); records or takes back the edits. Main thread; waits for the edit region.
OSStatus BZ_OuToggleSpeckState(const Point *pt, const Rect *selRect, BZ_OuOeType oeType);
// Replays a frame's edits in order on its speck list (inBuffer the frame, data its flag plane, pixelList one
// SInt32 per padded pixel), with the parameters of the current project. Unknown types are skipped.
OSStatus BZ_OuImplementOutlierEditList(const UInt8 *inBuffer, UInt16 *data, SInt32 *pixelList,
                                       const BZ_OuOeLE *firstOe, BZ_OuSpeckLE **speckList);
// Recomputes the preview's cleaned and difference frames after an edit, their ARGB pictures and the speck
// colours, and asks for the preview to be redrawn (event 2015).
OSStatus BZ_OuUpdatePreviewAfterUserEdit();

// Finds a speck in the padded rectangle inset by 1 from pixels darker (or brighter) than medianY by the
// outlier distance, retrying at distances 5 smaller down to 10; it must span 70 % of the inset's width and
// height and touch no other speck. Appended to the list with createdByUser, initiallyRemoved and remove set;
// *speckNum its number, or -1 when none was found.
Boolean BZ_OuFindSpeckUsingEdgeMedian(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                                      SInt32 *pixelList, const Rect *paddedSelRect, UInt8 medianY,
                                      BZ_OuSpeckLE **speckList, SInt32 *speckNum);
// Makes a scratch of width 1 + scratchWidth along the inset rectangle's diagonal (flag 0: north-west, 0x200:
// south-west); false when the inset holds no band pixel (nothing is appended).
Boolean BZ_OuFindScratch(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data, SInt32 *pixelList,
                         const Rect *paddedSelRect, UInt32 flag, BZ_OuSpeckLE **speckList, SInt32 *speckNum);

// ---- Scratches and edge medians ----

// One byte per pixel of a width x height rectangle, 1 where the pixel centre lies inside the band of
// bandWidth around the diagonal (top-left to bottom-right when scratchNW, else bottom-left to top-right).
void BZ_OuMakeScratchMask(SInt32 width, SInt32 height, float bandWidth, UInt8 *scratchMask, Boolean scratchNW);
// The median luminance of the padded rectangle's edge (rows top and bottom - 1, columns left and right - 1,
// corners counted twice). pixelList holds at least 2 x (w + h) bytes followed by as many SInt32 entries.
UInt8 BZ_OuGetMedianY_InEdge(SInt32 width, const UInt8 *inBuffer, const Rect *paddedSelRect, SInt32 *pixelList);
