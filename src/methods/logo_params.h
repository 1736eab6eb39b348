// The records of logo removal: the parameters of one run (BZ_RlParams), the per-frame work item, the
// connected components of the mask with their interpolation sources, the background records of transparent
// logo finding, and the logo method's state that outlives runs (BZ_RlDlgTaskData: the mask, its picture and
// file, the interpolation set-up).
//
// Geometry: the logo rectangle (logoRect of the settings, picture coordinates of the unpadded frame) has
// logoWidth = right - left columns and logoHeight = bottom - top rows. In a padded 2vuy working frame the
// picture row r starts at buffer line r + 8 x vStep (vStep 2 when interlaced, else 1) and picture column c
// has its chroma byte at 2c + 16 and its luma at 2c + 17 of that line (working_format.h). A pixel carries Cb
// when its absolute column is even, Cr when odd.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_pictures.h"

// Stage, automatic-settings bit and errors of logo removal.
enum : UInt32 { kBZ_RlAutoSettStage = 16 };
enum : OSStatus {
  kBZ_AuxFileNotFoundErr = 5005,       // the mask file is gone
  kBZ_CouldNotMeasureTrLogoErr = 5015,  // too little difference between dark and bright backgrounds
  kBZ_LogoTooLargeErr = 5020,           // the logo rectangle or mask does not fit the movie
  kBZ_LogoEmptyErr = 5021,              // a mask image without a mask pixel
};
// Items of the logo pane (signature 'Orl1').
enum : SInt16 {
  kBZ_RlMaskFileTextItem = 2311,
  kBZ_RlMaskWellItem = 2312,
  kBZ_RlExportMaskItem = 2315,
  kBZ_RlTransparencyItem = 2323,
  kBZ_RlLogoPositionItem = 2341,
};
enum : SInt32 {
  kBZ_RlNumUnifFrames = 10,  // five darkest and five brightest backgrounds
  kBZ_RlMinMaxBytes = 10,    // per pixel in opaque finding: five smallest, five largest luma values
};

// One interpolation source of a component: component-relative column and row (one pixel or one field line
// outside the bounds at most) and its values in the current frame.
struct BZ_RlLogoSrcPixel {
  SInt16 h, v;
  float cb, cr, y;
};

// Sources next to each other along a row (columns one apart) or a column (rows one field line apart), so
// that the weights of a target over them lie next to each other in the component's weight rows.
struct BZ_RlSrcRun {
  SInt16 v, h;       // the first source, component-relative
  SInt32 length;
  Boolean vertical;
  SInt32 first;      // its first source's index in the source arrays
};

// One 8-connected component of the mask (list element).
struct BZ_RlLogoCompLE {
  BZ_RlLogoCompLE *next;
  Rect bounds;           // picture coordinates
  UInt8 *isMaskPixel;    // component-local mask, bounds width per row (owned)
  SInt32 numSrcPix;
  SInt32 numTrgtPix;
  SInt32 numWorkers;     // entries of srcPix and srcValues
  BZ_RlLogoSrcPixel **srcPix;  // one source array per worker (owned); positions alike, values per frame
  UInt16 *trgtPix;       // numTrgtPix pairs (row, column), component-relative, row-major (owned)
  // The sources in runs (srcPix in run order), each worker's values as three planes (y, cb, cr; owned), and
  // the weight table unfolded for the runs: row dv of hWeights holds w(dv, |k|) at hOffset + k, row dh of
  // vWeights holds w(|k|, dh) at vOffset + k (owned).
  SInt32 numRuns;
  BZ_RlSrcRun *runs;
  float **srcValues;
  float *hWeights, *vWeights;
  SInt32 hRowLen, hOffset, vRowLen, vOffset;
};

// A background around the logo in one sample frame: means of the ring's luma, Cr and Cb.
struct BZ_RlUnifFrame {
  float avY, avCr, avCb;
  SInt32 number;  // the sample's frame number
};

// The logo method's state that outlives runs (gBZ.dlgTaskData.rlDlgTaskData, made at start-up). The mask
// (isMaskPixel over maskRect, numMaskPix, logoPixels) comes from an analysis run, an imported image or a
// mask file read at set-up; the picture fields belong to the mask picture of the logo pane. Main thread and
// the logo stage's distributor and collector, never at the same time (a run borrows it while the main thread
// waits for the run or the stage waits on its semaphore).
struct BZ_RlDlgTaskData {
  BZ_RlLogoCompLE *logoComps;  // the interpolation of the last run or re-initialisation (owned)
  SInt32 numConnectedComps;
  float *interpWeights;        // (logoHeight + 1) x (logoWidth + 1) (owned)
  UInt8 *isMaskPixel;          // one byte per pixel of maskRect, row-major (owned)
  Rect maskRect;               // the frame rectangle isMaskPixel covers
  SInt32 numMaskPix;
  UInt8 *logoPixels;           // transparent logo colours, (chroma, luma) per mask pixel (owned)
  SInt32 numLogoPixels;        // mask pixels logoPixels holds
  PicHandle logoMaskPic;       // the mask picture (owned)
  PicHandle wellPic;           // the part of a found mask's picture that well 2312 shows (owned)
  Rect logoRect;               // the mask's bounding box in frame coordinates
  Rect logoRectInPic;          // the bounding box in picture coordinates
  Rect logoPicBounds;          // the picture frame
  FSRef maskFile;              // the imported mask image; all zero when none
};

// The parameters of one run (owned by the distributor; the workers and the collector read them).
struct BZ_RlParams {
  SInt32 inHeight, inWidth;  // picture size of the source movie
  SInt32 height, width;      // padded buffer size
  BZ_RlSett *sett;           // the project's settings (read through the pointer)
  Boolean interlaced;
  Rect logoRect;             // the settings' rectangle at set-up, checked against the picture
  SInt32 numWorkers;         // entries of the per-worker arrays
  UInt8 *logoPixels;         // (chroma, luma) per mask pixel (borrowed from BZ_RlDlgTaskData)
  UInt8 *isMaskPixel;        // logoWidth x logoHeight (borrowed, or ownMask)
  SInt32 numMaskPix;
  UInt8 *ownMask;            // the all-mask array of mode 2 (owned)
  UInt8 *savedLogos;         // three logo copies for the anti-shimmer median (owned, executing only)
  SInt32 numConnectedComps;
  BZ_RlLogoCompLE *logoComps;  // borrowed from BZ_RlDlgTaskData
  float *interpWeights;        // borrowed from BZ_RlDlgTaskData
  UInt8 **yValues, **cbValues, **crValues;  // numWorkers scratch arrays each (owned)
  UInt8 *logosPtr;                          // ten logo copies (transparent finding, owned)
  BZ_RlUnifFrame *unifFrames;               // ten backgrounds (transparent finding, owned)
  SInt32 numUnifFrames;
  Boolean sufficientData, goodData, veryGoodData;
  SInt32 lastFrameNumBeforeFadeOut, lastFrameNumOfFadeOut, firstFrameNumAfterFadeIn, firstFrameNumOfFadeIn;
  SInt32 numSamplesMeasured;  // finding: samples measured so far
};

// One frame's work item (the slot of its input buffer).
struct BZ_RlProcParams {
  BZ_RlParams *rlParams;
  Boolean calcStats;
  Boolean padding;
  UInt8 *prevBuffer;
  UInt8 *inBuffer;
  UInt8 *nextBuffer;
  UInt8 *outBuffer;  // NULL for a measured sample
  SInt32 subTaskNum;
};

// ---- Geometry shared by the logo modules ------------------------------------------------------------------------

inline SInt32 BZ_RlLogoWidth(const Rect &r) { return r.right - r.left; }
inline SInt32 BZ_RlLogoHeight(const Rect &r) { return r.bottom - r.top; }
inline SInt32 BZ_RlVStep(const BZ_RlParams *p) { return p->interlaced ? 2 : 1; }
inline SInt32 BZ_RlLineSize(const BZ_RlParams *p) { return 2 * p->width; }
// The chroma byte of picture pixel (row, col) in a padded frame of the run.
inline UInt8 *BZ_RlPixel(const BZ_RlParams *p, UInt8 *frame, SInt32 row, SInt32 col) {
  return frame + ptrdiff_t(row + 8 * BZ_RlVStep(p)) * BZ_RlLineSize(p) + 2 * ptrdiff_t(col) + 16;
}
inline const UInt8 *BZ_RlPixel(const BZ_RlParams *p, const UInt8 *frame, SInt32 row, SInt32 col) {
  return frame + ptrdiff_t(row + 8 * BZ_RlVStep(p)) * BZ_RlLineSize(p) + 2 * ptrdiff_t(col) + 16;
}
// The transparency used for un-blending: the setting held to 0.01 .. 0.99, so neither t nor 1 - t is 0.
inline double BZ_RlUnblendTransparency(double t) { return t < 0.01 ? 0.01 : t > 0.99 ? 0.99 : t; }
