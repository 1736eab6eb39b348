// The project's settings record BZ_ProjSett: input handling, the cleaning methods, the output, and how the
// preview shows differences. Defaults (which depend on what the analysis of source 0 found), validation of the
// input settings, storage as the "Project Prefs" preference and of the export settings as "Video Export
// Settings", and the settings' text in the log.
//
// "Project Prefs" is a dictionary of four dictionaries: "Input Prefs", "Cleaning Prefs" (one dictionary per
// method, engine/runtime/method_settings.h), "Output Prefs", "Diff Prefs". It is a stored format. Reading
// never fails: a missing preference gives the defaults, and a missing dictionary, a missing key, a value of
// the wrong type or one out of range gives the default of what it would have filled.
//
// Main thread: the settings change only between runs; runs read them through BZ_GetProjSettPtr.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"
#include "platform/movie/codec_info.h"

// How the source is read.
struct BZ_InputSett {
  Boolean interlaced;     // frames hold two fields
  Boolean topFieldFirst;  // field order
  Boolean whiteLinePiece;  // the bottom line holds a white line piece to be treated
  Boolean cropping;
  Rect cropRect;  // margins: lines cut at the top and bottom, pixels at the left and right
  Boolean autoDetectBlackBars;
  Boolean maskBlackBars;
};

// What is written.
struct BZ_OutputSett {
  CodecType cType;         // codec of the output movie
  Boolean makeNoiseMovie;  // also write the noise movie (target 1)
  Boolean export_;         // export the result through a movie export component ("export" is a keyword)
  OSType exportType;       // subtype of the export component
  Handle videoExportSett;  // the exporter's settings (an atom container), or NULL; owned by the record
};

// Not part of the preferences.
struct BZ_LatentProjSett {
  Boolean dummy;
};

// How the preview shows the difference between input and output.
struct BZ_DiffParams {
  Boolean showChroma;
  Boolean showLuma;
  float scale;      // amplification of the difference picture
  float optScaleC;  // optimal chroma scale last measured
  float optScaleY;  // optimal luma scale last measured
  UInt32 scaleMode;  // 0: 1.0, 1: scale, 2: the optimal scales
};

struct BZ_ProjSett {
  BZ_InputSett input;
  BZ_CleaninSett cleaning;
  BZ_OutputSett output;
  BZ_LatentProjSett latent;
  BZ_DiffParams diffParams;
};

// Settings-update bits of the project dialog; the methods use their type flags (kBZ_AverageTypeFlag...).
enum : UInt32 {
  kBZ_InputSettUpdate = 1,
  kBZ_AverageTypeFlag = 2,
  kBZ_NoiseRedTypeFlag = 4,
  kBZ_RlTypeFlag = 8,
  kBZ_CrossLumaTypeFlag = 16,
  kBZ_VarBrTypeFlag = 32,
  kBZ_OutlierTypeFlag = 64,
  kBZ_OutputSettUpdate = 128,
};

// The settings of the current project (gBZ.project), or NULL before there is one. Borrowed.
BZ_ProjSett *BZ_GetProjSettPtr();

// Input, output, difference and cleaning defaults, in that order; latent stays.
void BZ_MakeDefaultProjSett(const BZ_StatMovInfo *statMovInfo, BZ_ProjSett *projSett);
void BZ_MakeDefaultInputSett(const BZ_StatMovInfo *statMovInfo, BZ_InputSett *inputSett);
Boolean BZ_InputSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_InputSett *inputSett);
// cType 'dvc ', makeNoiseMovie false; export, exportType and videoExportSett stay.
void BZ_MakeDefaultOutputSett(BZ_OutputSett *outputSett);
Boolean BZ_OutputSettEqualDefault(const BZ_OutputSett *outputSett);
// showChroma false, showLuma true, scale 1.0, scaleMode 2; the optimal scales stay.
void BZ_MakeDefaultDiffParams(BZ_DiffParams *diffParams);
Boolean BZ_DiffParamsEqualDefault(const BZ_DiffParams *diffParams);
// Averaging, noise reduction, logo, cross-luma and outlier defaults; then noise reduction applies.
void BZ_MakeDefaultCleaningSett(const BZ_StatMovInfo *statMovInfo, BZ_CleaninSett *cleaning);
// All five validators run (averaging, noise reduction, logo, cross-luma, outliers), also after a failure.
Boolean BZ_ValidateCleaningSett(const BZ_StatMovInfo *statMovInfo, BZ_CleaninSett *cleaning, Boolean correcting);
// The crop margins against a quarter of the current project's source 0 (200 without a source); with an
// interlaced source the top and bottom margins must be even (the direction of a correction follows the
// preview's last crop-edge command).
Boolean BZ_ValidateInputSett(BZ_InputSett *input, Boolean correcting);

// Writes "Project Prefs" (not synchronised), then BZ_SaveVideoExportSett.
void BZ_SaveProjSett(const BZ_ProjSett *projSett);
// Only with export set and settings held: stores their bytes under the export type in "Video Export
// Settings", keeping the other types' settings.
void BZ_SaveVideoExportSett(const BZ_OutputSett *outputSett);
// Reads "Project Prefs", or makes the defaults without it; then BZ_GetVideoExportSettFromPrefs.
void BZ_GetProjSett(const BZ_StatMovInfo *statMovInfo, BZ_ProjSett *projSett);
// videoExportSett = a new handle (owned by the record) with the stored settings for exportType, NULL when
// none are stored for it; unchanged when there is no "Video Export Settings" preference. A handle held
// before is the caller's.
void BZ_GetVideoExportSettFromPrefs(BZ_OutputSett *outputSett);

// Owned dictionaries (CFRelease).
CFDictionaryRef BZ_CreateInputSettDict(const BZ_InputSett *inputSett);
CFDictionaryRef BZ_CreateOutputSettDict(const BZ_OutputSett *outputSett);
CFDictionaryRef BZ_CreateCleaningSettDict(const BZ_CleaninSett *cleaning);
CFDictionaryRef BZ_CreateDiffParamsDict(const BZ_DiffParams *diffParams);
void BZ_GetInputPrefsFromDict(CFDictionaryRef dict, BZ_InputSett *inputSett);
void BZ_GetOutputPrefsFromDict(CFDictionaryRef dict, BZ_OutputSett *outputSett);
// A missing method dictionary gives that method's defaults, except varying brightness, which stays.
void BZ_GetCleaningPrefsFromDict(const BZ_StatMovInfo *statMovInfo, CFDictionaryRef dict, BZ_CleaninSett *cleaning);
void BZ_GetDiffParamsFromDict(CFDictionaryRef dict, BZ_DiffParams *diffParams);

// Log text.
void BZ_AddInputSettToTextPtr(const BZ_InputSett *inputSett, Ptr textPtr, SInt32 *textSize);
void BZ_AddOutputSettToTextPtr(const BZ_OutputSett *outputSett, Ptr textPtr, SInt32 *textSize);
// The valid selected methods of the project, in the order averaging, noise reduction, logo removal,
// cross-luma, outliers; returns the failure of finding them.
OSStatus BZ_AddCleaningSettToTextPtr(BZ_ProjPtr project, Ptr textPtr, SInt32 *textSize);

// Makes the method of that stage type the only one applied (current project).
void BZ_SetOnlyProcessType(BZ_TaskType taskType);
// Sets the apply flag of the method of that stage type (13 to 18); other types do nothing.
void BZ_SetApplyProcessType(BZ_TaskType taskType, Boolean apply);
