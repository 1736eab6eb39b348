// The progress record of one long job (GL_ProgrData) and the reading state of a sequential pixel provider
// (GL_ProviderInfo). The project record keeps one progress record; the toolkit's progress display and the
// project dialog's progress view draw it, and the pipeline's tasks report into it.
//
// Only records live here. Fields that pipeline tasks write while the main thread reads them (the fraction
// done, the counter, the start and switch times and the hand-over of the progress frame) are atomic.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/movie/movie_types.h"

#include <atomic>

typedef unsigned char *UPtr;
typedef SInt32 ImageSequence;

// Quartz objects held by the display; opaque here.
struct CGImage;
typedef CGImage *CGImageRef;
struct CGDataProvider;
typedef CGDataProvider *CGDataProviderRef;
struct CGColorSpace;
typedef CGColorSpace *CGColorSpaceRef;
struct CGContext;
typedef CGContext *CGContextRef;

// A pixel buffer read by a sequential data provider; mark is the read position in bytes.
struct GL_ProviderInfo {
  UPtr ptr;
  SInt32 height;
  SInt32 width;
  SInt32 rowBytes;
  SInt32 bytesPerPixel;
  SInt32 offsetH;
  SInt32 offsetV;
  SInt32 mark;
  void *data;
};

// One long job: how far it is, when it started and will end, how fast it goes, and which items show it.
struct GL_ProgrData {
  WindowRef window;  // holds the progress items
  WindowRef sheet;   // over the window, or NULL
  Boolean standAloneWindow;
  HIViewID progrBarID;
  HIViewID progrBarTitleID;
  HIViewID rateID;
  CFAbsoluteTime compStartupDate;
  std::atomic<CFAbsoluteTime> startTime;   // set by the first pipeline stage when a run starts
  std::atomic<CFAbsoluteTime> switchTime;  // when the job last started or resumed
  CFAbsoluteTime savedEndTime;             // 4294967295.0: unknown
  float percWorkDoneAtSwitch;
  float savedPercWorkDone;
  std::atomic<float> percWorkDone;  // 0 to 1
  SInt32 savedCount;
  std::atomic<SInt32> count;  // parts done
  SInt32 numParts;
  CFAbsoluteTime totalActiveTime;
  SInt32 savedCountForRate;
  float percWorkDoneAtPrevTime;
  float percWorkDoneAtPrevPrevTime;
  CFAbsoluteTime prevTime;  // 0: none yet
  CFAbsoluteTime curSpeedInterval;
  ImageSequence seqID;        // decompression sequence of the progress frame
  std::atomic<UPtr> ptr;      // frame data to show next
  UPtr smallImageBuffer;      // 32-bit ARGB, rows of width x 4 bytes
  GWorldPtr smallImage;
  CGImageRef cgImageRef;
  GL_ProviderInfo providerInfo;
  CGDataProviderRef dataProvider;
  Rect srcClip;
  Rect sideBars;
  Rect blackSideBars;
  SInt32 height, width;
  UInt8 newRGB[2048];
  Movie sndMovie;
  SInt32 endSndPlay;  // TimeValue
  Boolean playingSnd;
  Boolean *switchedIn;
  Boolean *playSndPref;
  CGColorSpaceRef genericRGB;
  SInt32 animationCount;
  CGImageRef dockTileImage;
  UPtr dockTileImageBuffer;  // 128 x 128 x 4 bytes
  CGContextRef dockTileImageBitMap;
  GL_ProviderInfo dockTileImageProvider;
  CGDataProviderRef dockTileImageDataProvider;
  CGImageRef iconOverlay;
  CGImageRef iconOverlayMask;
  UPtr iconOverlayBuffer;
  GL_ProviderInfo iconOverlayProvider;
  std::atomic<SInt32> size;     // bytes of the frame data at ptr
  std::atomic<Boolean> show;    // the next frame handed in may be shown
  std::atomic<Boolean> shown;   // the last frame has been drawn
  Boolean decomprStarted;
  MPCriticalRegionID showCritRgn;
  MPSemaphoreID showSemaphore;
};
