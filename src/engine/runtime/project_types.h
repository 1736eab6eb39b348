// The records that the engine, the cleaning methods, the outlier stage, the application shell and the project
// dialog share: the one project record with its state, information and run-time state, the static
// information of a source movie, the analysis data kept between runs, the dialog's calculation state, the
// application preferences, the padding description of a working frame, and the application's global record.
//
// Threads: the main thread owns the records; pipeline tasks read them during a run. Fields that several
// threads write, or that one thread writes while another reads them without another synchronisation (states,
// the first error, counters, flags, semaphores that are replaced), are std::atomic. "Keep the first error" is
// a compare-exchange from noErr (BZ_KeepFirstError).
//
// The records are made zeroed (value-initialised) and live for the life of the program; later modules add
// functions, not fields.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_settings.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "general/processor_info.h"
#include "general/progress_types.h"
#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"
#include "platform/core/matrix_math.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_types.h"

#include <atomic>

struct QT_TrackLE;       // movie library: one track of a movie's track list
struct QT_CompInfoLE;    // movie library: one movie exporter offered for export
struct BZ_ProjDlgData;   // project dialog: its data
struct BZ_RlDlgTaskData;  // logo removal's analysis data
struct BZ_OuDlgTaskData;  // outlier removal's analysis data
struct Picture;
typedef Picture **PicHandle;
struct OpaqueIBNibRef;
typedef OpaqueIBNibRef *IBNibRef;

enum : SInt32 {
  kBZ_MaxNumFiles = 8,        // sources and targets of a project
  kBZ_NumTestFrames = 10,     // sample frames of an analysis
  kBZ_FrameCacheSize = 25,    // slots of the source frame cache
  kBZ_MaxNumStages = 16,      // stage numbers that per-stage arrays index
  kBZ_NumOutSampleRefs = 100  // sample-reference records of an output file
};

// ---- Project state -------------------------------------------------------------------------------------------

enum BZ_ExecuteSubState : SInt32 {
  kBZ_ProjSubStateMain = 0,
  kBZ_ProjSubStateCalcAutoSett = 1,
  kBZ_ProjSubStateCalcPreview = 2,
};

typedef SInt32 BZ_SuspendState;
enum : BZ_SuspendState { kBZ_SuspendedSilently = 4 };

struct BZ_ProjectState {
  std::atomic<Boolean> suspended;
  std::atomic<Boolean> suspending;
  std::atomic<BZ_SuspendState> suspendState;
  std::atomic<Boolean> resuming;
  std::atomic<BZ_ExecuteState> exec;
  std::atomic<BZ_ExecuteSubState> subExec;
  std::atomic<OSStatus> error;  // the first error of the project; noErr: none
  std::atomic<Boolean> errorShown;
};

// ---- Static information of a source movie ---------------------------------------------------------------------

struct BZ_StatMovInfo {
  SInt32 numFrames;
  TimeValue *timeList;  // owned: the start time of every frame
  SInt32 numVideoTracks;
  SInt32 numVisualTracks;  // enabled visual tracks that are not text
  Boolean hasOneSimpleVideoTrack;
  SInt16 numDataRefIndexes;  // data references of the video media
  QT_TrackLE *trackList;
  TimeScale mediaTimeScale;
  TimeScale movieTimeScale;
  float avFrameDuration;  // seconds
  TimeValue videoDuration;
  TimeValue frameDuration;
  double frameDurationF;
  CodecType cType;  // 0: empty record; 0xFFFFFFFF: the visual tracks use different codecs
  Boolean isVideoRange;
  Boolean isPAL;
  Boolean hasFielExt;
  Boolean interlaced;
  Boolean topFieldFirst;
  Boolean hasPaspExt;
  PixelAspectRatioImageDescriptionExtension paspExt;
  Boolean hasClapExt;
  CleanApertureImageDescriptionExtension clapExt;
  Boolean whiteLinePiece;  // results of the movie analysis
  Boolean whiteLineIsBottomLine;
  Rect blackEdges;
  float noiseLevel[3];
  Boolean hasSound;
  float gamma;
  MatrixRecord movieMatrix;
  RgnHandle movieClip;
  MatrixRecord trackMatrix;
  RgnHandle trackClip;  // owned
  SInt32 trackWidth;
  SInt32 trackHeight;
  Boolean allTracksHaveEqualGeometry;
  SInt32 maxSampleSize;
  Boolean movieHasApertureModeDimensions;
  SInt32 height;  // frame size used by the pipeline
  SInt32 width;
  SInt32 displayHeight;
  SInt32 displayWidth;
  SInt32 naturalHeight;
  SInt32 naturalWidth;
  SInt64 mediaDataSize;
  PicHandle posterPict;  // owned
};

// ---- Project information ----------------------------------------------------------------------------------------

struct BZ_SrcFileData {
  FSRef fileRef;
  OSType creator;
  OSType fileType;
  SInt64 size;
};

struct BZ_TargetFileData {
  FSRef fileRef;
  HFSUniStr255 fileName;
  FSRef parentRef;
  HFSUniStr255 parentName;
  FSRef parentParentRef;
  Boolean tempFileInMoviesFolder;  // the movie is written first to the user's Movies folder
  OSType creator;
  OSType fileType;
  SInt32 estSampleSize;
  SInt64 estimatedSize;  // bytes, set by the free-space check
  Boolean hideExtension;
  Boolean mayDelete;
};

// The open movies of a project, per file.
struct BZ_DynMovieInfo {
  Movie sourceMovie[kBZ_MaxNumFiles];
  Movie targetMovie[kBZ_MaxNumFiles];
  Track targetTrack[kBZ_MaxNumFiles];
  Media targetMedia[kBZ_MaxNumFiles];
  ImageDescriptionHandle targetDesc[kBZ_MaxNumFiles];
  SoundDescriptionHandle targetSoundDesc[kBZ_MaxNumFiles];
};

// File 0 is the first source and the target movie; file 1 the second source (averaging) and the noise movie.
struct BZ_ProjInfo {
  BZ_ProjSett settings;
  BZ_SrcFileData srcFileData[kBZ_MaxNumFiles];
  BZ_TargetFileData targetFileData[kBZ_MaxNumFiles];
  FSRef auxFiles[kBZ_MaxNumFiles];  // a free slot holds an invalid reference
  BZ_StatMovInfo statMovInfo[kBZ_MaxNumFiles];  // filled by the project dialog
  BZ_DynMovieInfo dynMovieInfo;
};

// ---- Run-time state of a run ------------------------------------------------------------------------------------

// Per source.
struct BZ_DynInputInfo {
  SInt32 frameNum;  // the current frame
  TimeValue movieTime;
  double movieTimeF;
  TimeValue duration;
  Boolean rgbPlayback;   // played back into 32-bit ARGB
  Boolean y420Playback;  // played back into 4:2:0
  Boolean openedMovieForPlayback;
  Boolean directRead;  // read straight from the file (uncompressed 4:2:2, one simple video track)
  FSIORefNum fileRefNum[kBZ_MaxNumFiles];  // one per data reference of a directly read movie
};

// Per target.
struct BZ_DynOutputInfo {
  FSForkIOParam ioParam;  // the open data fork
  std::atomic<SInt32> numFrames;  // frames written
  SampleReference64Record sampleRefs[kBZ_NumOutSampleRefs];
  MPSemaphoreID sampleRefsSemaphore;
  SInt32 recordNum;  // the current record, -1 none
  TimeValue time;    // sum of the written durations
};

struct BZ_DynIO_Info {
  FSIORefNum auxFileRefNum[kBZ_MaxNumFiles];
  BZ_DynInputInfo inputInfo[kBZ_MaxNumFiles];
  std::atomic<SInt64> workDone;
  BZ_DynOutputInfo outputInfo[kBZ_MaxNumFiles];
  std::atomic<Boolean> started;
  UInt32 startTime;
  SInt32 numStages;
  BZ_BuffInfo buffInfo[kBZ_NumBuffInfos];  // the stage table; an entry of type 0 ends it
  std::atomic<Boolean> exportingVideo;
  SInt64 projSize;
  CFAbsoluteTime startProgrTime;
  CFAbsoluteTime prevProgrTime;
  Fixed savedPercentDone;
  SInt32 maxComprSize;  // the largest compressed frame in bytes
};

// The one project record: made zeroed at start-up, kept for the life of the program, cleared after each
// project except its settings.
struct BZ_Project {
  BZ_ProjectState state;
  GL_ProgrData progress;
  BZ_ProjInfo info;
  BZ_DynIO_Info dynIO_Info;
};

// ---- Analysis data kept between runs ----------------------------------------------------------------------------

struct BZ_FrameCacheInfo {
  SInt32 frameNum;  // -1: free
  std::atomic<SInt32> needed;  // buffers that still have to copy this slot
};

// One frame handed to the analysis tasks.
struct BZ_DlgTaskInput {
  UInt8 *inBuffer;   // the frame before the stage
  UInt8 *outBuffer;  // the frame after the stage
  SInt32 frameNum;
  SInt32 arrayNum;
  SInt32 realArrayNum;
  SInt32 testNum;   // 0 to 9
  SInt32 stageNum;  // index of the asking stage in the stage table
  SInt32 fileNum;
};

enum BZ_CalcItemType : SInt32 {
  kBZ_CalcItemTypeNoiseLevel = 0,
  kBZ_CalcItemTypePixelDiff = 1,
  kBZ_CalcItemTypePercChanged = 2,
  kBZ_CalcItemTypeBestShift = 3,
  kBZ_CalcItemTypeBestWeight = 4,
  kBZ_CalcItemTypeVarBrPeriod = 5,
  kBZ_CalcItemTypeVarBrAtten = 6,
};

// Averaging's analysis: one slot per sample frame.
struct BZ_AvDlgTaskData {
  float bestShift[kBZ_NumTestFrames];
  float bestWeight[kBZ_NumTestFrames];
  float weight[kBZ_NumTestFrames];
};

// Noise reduction's analysis: the random tables and the measured spectra with their equivalent levels
// (each three: Y, Cb, Cr).
struct BZ_RnDlgTaskData {
  SInt32 accDiff[kBZ_NumTestFrames];
  float *randomPowerTable8;
  float *randomPowerTable16;
  float *randomPowerTable64;
  float *randomPowerTable256;
  float *noiseSpectr16H[3];
  float *noiseSpectr16V[3];
  float *noiseSpectr2D[3];
  float *noiseSpectr2Dadd[3];
  float eqNoiseLevel16H[3];
  float eqNoiseLevel16V[3];
  float eqNoiseLevel2D[3];
  // The random noise's first coefficient row and column bins of the 8 x 8 and 16 x 16 blocks (built with the
  // random tables): the two-dimensional model's first-row and first-column values in manual mode.
  float randomPowerTable64add[8];
  float randomPowerTable256add[16];
};

// Varying brightness's analysis: the factor tables (NULL until measured).
struct BZ_VbDlgTaskData {
  std::atomic<Boolean> analyzedVarBr;
  float *vbFactors;        // progressive
  float *vbFactorsTop;     // interlaced, top field first
  float *vbFactorsBottom;  // interlaced, bottom field first
  // Their entries: the frames (progressive) or fields of the movie analysed.
  SInt32 numVbFactors;
  SInt32 numVbFactorsTop;
  SInt32 numVbFactorsBottom;
};

// The analysis tasks, their results, the source frame cache and the run-control semaphores.
struct BZ_DlgTaskData {
  MP_TaskData whiteLineTaskData;
  MP_TaskData blackBarsTaskData;
  MP_TaskData noiseLevelTaskData;
  MP_TaskData frameDiffTaskData;
  Boolean hasWhiteLineInBottomLine[kBZ_MaxNumFiles][kBZ_NumTestFrames];
  Boolean hasWhiteLineInSecLastLine[kBZ_MaxNumFiles][kBZ_NumTestFrames];
  float pixelDiff[kBZ_MaxNumStages][kBZ_NumTestFrames];
  float noiseLevel[kBZ_MaxNumStages][kBZ_NumTestFrames];
  float percChanged[kBZ_MaxNumStages][kBZ_NumTestFrames];
  std::atomic<Boolean> searchedWhiteLinePiece[kBZ_MaxNumFiles];
  std::atomic<Boolean> detectedBlackBars;
  SInt32 blackBarSize[kBZ_NumTestFrames][4];  // top, left, bottom, right
  float optScaleY[kBZ_NumTestFrames];
  float optScaleC[kBZ_NumTestFrames];
  BZ_AvDlgTaskData *avDlgTaskData;  // each allocated zeroed at start-up by its method
  BZ_RnDlgTaskData *rnDlgTaskData;
  BZ_OuDlgTaskData *ouDlgTaskData;
  BZ_VbDlgTaskData *vbDlgTaskData;
  BZ_RlDlgTaskData *rlDlgTaskData;
  UInt8 *frameCache;  // kBZ_FrameCacheSize frame-sized slots
  BZ_FrameCacheInfo frameCacheInfo[kBZ_FrameCacheSize];
  MPCriticalRegionID frameCacheCritRgn;
  UInt8 *previewCache;
  Boolean inputSettChanged;  // the input handling changed since the frame cache was filled
  FSRef savedSrcFile;
  // Signalled by the main task once a run stopped by 5029 or 5030 has closed; the main thread replaces it
  // before it waits.
  std::atomic<MPSemaphoreID> stopSemaphore;
  // Signalled by the main thread once it has handled the end of a run (event 2009).
  std::atomic<MPSemaphoreID> prfSemaphore;
};

// ---- The project dialog's calculation state ----------------------------------------------------------------------
// Written by the dialog on the main thread and by the stages while they measure.

struct BZ_ProjDlgState {
  std::atomic<Boolean> needMovieAnalysis;
  std::atomic<Boolean> needPreviewCalc;
  std::atomic<Boolean> movieAnalysisDeferred;  // an analysis starts once the running run has stopped
  UInt32 neededUpdates;                        // kBZ_InputSettUpdate, the type flags, kBZ_OutputSettUpdate
  std::atomic<Boolean> noiseTablesReady[4];    // 1: one-dimensional, 2: two-dimensional random tables
  std::atomic<Boolean> calcRedNoiseBestSett;
  std::atomic<Boolean> findingNoiseLevel[kBZ_MaxNumStages];  // by stage number
  std::atomic<Boolean> findingFrameDiff[kBZ_MaxNumStages];
  std::atomic<Boolean> findingWhiteLinePiece[kBZ_MaxNumFiles];
  std::atomic<Boolean> detectingBlackBars;
  std::atomic<Boolean> findingBestShift;
  std::atomic<Boolean> findingBestWeight;
  std::atomic<Boolean> findingLogo;
  std::atomic<Boolean> analyzingVarBr;
  Boolean interlaceSetByUser;
  Boolean dvSettingsMade;
  Boolean savedCropping;  // what the progress view was last built for
  Rect savedCropRect;
  Boolean savedInterlaced;
};

// ---- Application preferences ---------------------------------------------------------------------------------------

struct BZ_AppPrefs {
  Boolean copySound;
  CFStringRef successSound;  // a system sound name
  Boolean anamorphic1080;
  Boolean yuv2IsVideoRange;
  Boolean yuvSanityCheck;
  Boolean ntscSafeColors;
  SInt32 maxIRE;
  Boolean alwaysGamma22;
  Boolean preserveHighlights;
  SInt32 outputFolderOption;  // 1 the source's folder, 2 the previous output folder, 3 the Movies folder
  FSRef prevOutputFolder;
};

// ---- Padding of a working frame ----------------------------------------------------------------------------------

struct BZ_PadParams {
  SInt32 inWidth;   // picture width in pixels
  SInt32 inHeight;  // picture height in lines
  SInt32 width;     // buffer width in pixels
  SInt32 height;    // buffer height in lines
  Boolean interlaced;  // top margin 16 lines, mirrored within each field
};

// The padding fields every stage's parameter record carries under the same names (null records: nothing).
template <typename StageParams>
void BZ_StageParamsToPadParams(const StageParams *params, BZ_PadParams *padParams) {
  if (params == nullptr || padParams == nullptr) return;
  *padParams = BZ_PadParams{params->inWidth, params->inHeight, params->width, params->height, params->interlaced};
}

// ---- The application's global record ---------------------------------------------------------------------------------

struct BZ_Global {
  SInt32 systemVersion;
  SInt32 systemVersionMajor, systemVersionMinor, systemVersionBugFix;
  SInt32 qtVersion;
  TextEncoding sysTextEnc;
  SInt64 physRamSize;
  ItemCount numProcessors;
  GL_ProcessorInfo procInfo;
  MP_TaskData mainTaskData;
  CFAbsoluteTime compStartupDate;
  FSRef appRef;
  IBNibRef nibRef;
  FSRef prefsFile;
  SInt16 prefsFileID;
  EventTargetRef appTargetRef;
  UInt32 appVersion;
  Boolean navDialogOpen;
  Point savedWindowLoc[16];
  Boolean setTopLineDefault;
  Point previewSize;
  BZ_ProjDlgData *dlgData;
  BZ_DlgTaskData dlgTaskData;
  QT_CompInfoLE *expCompInfoList;
  BZ_ProjPtr project;
  std::atomic<Boolean> startQuitting;
  std::atomic<Boolean> done;  // the application may leave the event loop once no project executes
  Boolean switchedIn;
  EventLoopTimerRef oneSecondTimerRef, fiveSecondTimerRef;
  EventHandlerRef progrEvHandler;
  std::atomic<OSStatus> error;  // the pending error to show; noErr: none
  std::atomic<OSStatus> taskError;
  Boolean notified;
};

// The one global record; zero at program start.
extern BZ_Global gBZ;

// Sets the project's first error to err when it has none (err noErr does nothing); returns the error it
// holds afterwards.
OSStatus BZ_KeepFirstError(BZ_ProjPtr project, OSStatus err);

// The current project's information and the static information of its sources (an array, source 0 first),
// or NULL before there is a project. Borrowed.
BZ_ProjInfo *BZ_GetProjectInfoPtr();
BZ_StatMovInfo *BZ_GetStaticMovieInfoPtr();
