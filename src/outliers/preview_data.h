// The preview window's state (kept by the project dialog inside its data for the life of the program) and
// the two questions the engine and the outlier code ask the dialog about it. The dialog answers through the
// engine host (getPreviewDataPtr, getEditingOutliers), so code below the dialog reaches it without linking up.
#pragma once

#include "general/progress_types.h"
#include "movie/movie_files.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"
#include "platform/core/menus.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/quartz_geometry.h"

#include <atomic>

struct BZ_OuPreviewData;

struct BZ_PreviewData {
  Point movieSize;  // v height, h width
  Rect currentBounds;
  Rect savedBounds;
  Point previewTopLeft;
  Rect movieBounds;
  EventTime savedEventTime;
  EventHandlerRef movieControlEvHandler, rootControlEvHandler, gotoEvHandler;
  TimeValue movieTime;
  SInt32 frameNum;  // 0-based frame number of the preview frame
  Boolean receivedGotoEvent;
  Fixed savedRate;
  MovieController mc;
  EventLoopTimerRef drawBeforeImageTimer;
  UInt64 savedUpdateTime;
  Boolean dragging;
  MPCriticalRegionID critRgn;
  std::atomic<Boolean> previewCalcDeferred;  // read by the main task
  MenuItemIndex lastCropEdgeMove;
  // One block of 6 x the padded '2vuy' frame size: the ARGB pictures before, after and difference start at
  // 0, 2 x and 4 x that size, rows of padded width x 4 bytes.
  UInt8 *buffersRGB;
  SInt64 buffersRGBSize;  // bytes allocated at buffersRGB
  CGImageRef cgImageRef[3];
  GL_ProviderInfo providerInfo[3];
  EventHandlerRef imagelEvHandler[3];
  BZ_OuPreviewData *ouPreviewData;
  Boolean hasSelectionRect[16];
  HIPoint selRectStartPt[16], selRectEndPt[16];
  SInt32 maPhase;
  void *cb;  // the time-base callback used while the movie plays
};

// The preview's data (borrowed), NULL when the dialog has none. Any thread.
BZ_PreviewData *BZ_GetPreviewDataPtr();
// True while the user edits outliers in the preview. Any thread.
Boolean BZ_GetEditingOutliers();
