// The project's settings: defaults, validation of the input, "Project Prefs", "Video Export Settings" and log
// text.
#include "engine/runtime/project_settings.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_types.h"
#include "engine/runtime/settings_fields.h"
#include "general/cf_encodings.h"
#include "general/strings_text.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_dictionary.h"

#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

namespace {

const CFStringRef kProjectPrefsKey = CFSTR("Project Prefs");
const CFStringRef kVideoExportSettKey = CFSTR("Video Export Settings");
const CFStringRef kInputPrefsKey = CFSTR("Input Prefs");
const CFStringRef kCleaningPrefsKey = CFSTR("Cleaning Prefs");
const CFStringRef kOutputPrefsKey = CFSTR("Output Prefs");
const CFStringRef kDiffPrefsKey = CFSTR("Diff Prefs");

bool SourceKnown(const BZ_StatMovInfo *statMovInfo) { return statMovInfo != nullptr && statMovInfo[0].cType != 0; }

// The dictionary stored under key (borrowed), or NULL when it is missing or something else.
CFDictionaryRef SubDict(CFDictionaryRef dict, CFStringRef key) {
  if (dict == nullptr) return nullptr;
  const void *value = CFDictionaryGetValue(dict, key);
  if (value == nullptr || CFGetTypeID(value) != CFDictionaryGetTypeID()) return nullptr;
  return static_cast<CFDictionaryRef>(value);
}

// Takes an owned dictionary and stores it under key.
void SetOwnedDict(CFMutableDictionaryRef dict, CFStringRef key, CFDictionaryRef value) {
  if (value == nullptr) return;
  CFDictionarySetValue(dict, key, value);
  CFRelease(value);
}

// Moves an odd interlaced crop margin to an even one in the direction asked, staying within 0 .. limit.
SInt32 MakeEven(SInt32 margin, SInt32 step, SInt32 limit) {
  SInt32 even = margin + step;
  if (even > limit) even -= 2;
  if (even < 0) even += 2;
  return even;
}

bool CheckMargin(SInt32 *margin, SInt32 limit, Boolean correcting) {
  if (*margin >= 0 && *margin <= limit) return true;
  if (correcting) *margin = *margin < 0 ? 0 : limit;
  return false;
}

// ---- Input ----

// Field order and interlacing from the analysis of source 0 (its 'fiel' extension, or a white line piece
// found), the black bars it detected.
void InputDefaults(const BZ_StatMovInfo *statMovInfo, void *record) {
  auto *inputSett = static_cast<BZ_InputSett *>(record);
  const bool known = SourceKnown(statMovInfo);
  inputSett->interlaced = true;
  inputSett->topFieldFirst = false;
  inputSett->whiteLinePiece = false;
  if (known) {
    const BZ_StatMovInfo &movie = statMovInfo[0];
    const bool searched = gBZ.dlgTaskData.searchedWhiteLinePiece[0];
    if (movie.hasFielExt || (searched && movie.whiteLinePiece)) {
      inputSett->interlaced = movie.interlaced;
      inputSett->topFieldFirst = movie.topFieldFirst;
    }
    inputSett->whiteLinePiece = searched ? movie.whiteLinePiece : false;
  }
  inputSett->cropRect = known && gBZ.dlgTaskData.detectedBlackBars ? statMovInfo[0].blackEdges : Rect{0, 0, 0, 0};
}

constexpr BZ_SettField kInputFields[] = {
    {.key = "Interlaced", .logTitle = "interlaced", BZ_SETT_AT(BZ_InputSett, interlaced, kBZ_SettBoolean)},
    {.key = "TopFieldFirst", .logTitle = "top field first", BZ_SETT_AT(BZ_InputSett, topFieldFirst, kBZ_SettBoolean)},
    {.key = "WhiteLinePiece", .logTitle = "white line piece in bottom line",
     BZ_SETT_AT(BZ_InputSett, whiteLinePiece, kBZ_SettBoolean)},
    {.key = "Cropping", .logTitle = "cropping", BZ_SETT_AT(BZ_InputSett, cropping, kBZ_SettBoolean), .def = false},
    {.key = "Crop automatic", .logTitle = "crop automatic",
     BZ_SETT_AT(BZ_InputSett, autoDetectBlackBars, kBZ_SettBoolean), .def = true},
    {.key = "Crop values", .logTitle = "crop rect", BZ_SETT_AT(BZ_InputSett, cropRect, kBZ_SettMargins)},
    {.key = "Mask out black bars", BZ_SETT_AT(BZ_InputSett, maskBlackBars, kBZ_SettBoolean), .def = false},
};

const BZ_SettRecordDescr kInputDescr{.fields = kInputFields,
                                     .numFields = std::size(kInputFields),
                                     .recordSize = sizeof(BZ_InputSett),
                                     .logHeading = "  Input settings:\r",
                                     .logIndent = "    ",
                                     .makeDefaults = InputDefaults};

// ---- Output ----

bool Exporting(const void *record) { return static_cast<const BZ_OutputSett *>(record)->export_ != 0; }
bool Compressing(const void *record) { return !Exporting(record); }

// In the order of the log: the export type or the compressor, whichever is used. The export settings and
// type stay as they are when the defaults are made.
constexpr BZ_SettField kOutputFields[] = {
    {.key = "Make Noise Movie", .logTitle = "make noise movie",
     BZ_SETT_AT(BZ_OutputSett, makeNoiseMovie, kBZ_SettBoolean), .def = false},
    {.key = "Export", .logTitle = "export", BZ_SETT_AT(BZ_OutputSett, export_, kBZ_SettBoolean),
     .missing = kBZ_SettMissingFalse, .compared = false},
    {.key = "Export Type", .logTitle = "export type", BZ_SETT_AT(BZ_OutputSett, exportType, kBZ_SettOSType),
     .missing = kBZ_SettMissingKeep, .compared = false, .logged = Exporting},
    {.key = "CodecType", .logTitle = "compressor", BZ_SETT_AT(BZ_OutputSett, cType, kBZ_SettCodecType),
     .def = double('dvc '), .logged = Compressing},
};

const BZ_SettRecordDescr kOutputDescr{.fields = kOutputFields,
                                      .numFields = std::size(kOutputFields),
                                      .recordSize = sizeof(BZ_OutputSett),
                                      .logHeading = "  Output settings:\r",
                                      .logIndent = "    "};

// ---- Difference picture ----

// The optimal scales are measured, never defaulted; a scale must be above 0.
constexpr BZ_SettField kDiffFields[] = {
    {.key = "Show Chroma", BZ_SETT_AT(BZ_DiffParams, showChroma, kBZ_SettBoolean), .def = false},
    {.key = "Show Luma", BZ_SETT_AT(BZ_DiffParams, showLuma, kBZ_SettBoolean), .def = true},
    {.key = "Scale", BZ_SETT_AT(BZ_DiffParams, scale, kBZ_SettFloat32),
     .lo = double(std::numeric_limits<float>::denorm_min()), .def = 1.0},
    {.key = "Scale Mode", BZ_SETT_AT(BZ_DiffParams, scaleMode, kBZ_SettUInt32), .lo = 0, .hi = 2, .def = 2},
    {.key = "Optimal chroma scale", BZ_SETT_AT(BZ_DiffParams, optScaleC, kBZ_SettFloat32),
     .missing = kBZ_SettMissingKeep, .compared = false},
    {.key = "Optimal luma scale", BZ_SETT_AT(BZ_DiffParams, optScaleY, kBZ_SettFloat32),
     .missing = kBZ_SettMissingKeep, .compared = false},
};

const BZ_SettRecordDescr kDiffDescr{
    .fields = kDiffFields, .numFields = std::size(kDiffFields), .recordSize = sizeof(BZ_DiffParams)};

// ---- Cleaning methods ----

// One row per method record in BZ_CleaninSett, in the order of "Cleaning Prefs", the defaults, the
// validation and the log. A method without a dictionary in the preferences takes its defaults.
struct MethodRecord {
  const char *key;         // its dictionary in "Cleaning Prefs"
  size_t offset;           // of its record in BZ_CleaninSett
  size_t applyOffset;      // of its apply flag in BZ_CleaninSett
  const BZ_SettRecordDescr *descr;
  UInt32 typeFlag;         // its bit among the valid selected process types
  BZ_TaskType taskType;    // its stage
};

const MethodRecord kMethods[] = {
    {"Average", offsetof(BZ_CleaninSett, average), offsetof(BZ_CleaninSett, average.apply), &kBZ_AvSettDescr,
     kBZ_AverageTypeFlag, kBZ_AverageTaskType},
    {"Noise Reduction", offsetof(BZ_CleaninSett, noiseRed), offsetof(BZ_CleaninSett, noiseRed.apply),
     &kBZ_NrSettDescr, kBZ_NoiseRedTypeFlag, kBZ_NoiseRedTaskType},
    {"Remove Logo", offsetof(BZ_CleaninSett, removeLogo), offsetof(BZ_CleaninSett, removeLogo.apply),
     &kBZ_RlSettDescr, kBZ_RlTypeFlag, kBZ_RlTaskType},
    {"Cross-Luma", offsetof(BZ_CleaninSett, crossLuma), offsetof(BZ_CleaninSett, crossLuma.apply),
     &kBZ_ClSettDescr, kBZ_CrossLumaTypeFlag, kBZ_CrossLumaTaskType},
    {"Varying Brightness", offsetof(BZ_CleaninSett, varBr), offsetof(BZ_CleaninSett, varBr.apply),
     &kBZ_VarBrSettDescr, kBZ_VarBrTypeFlag, kBZ_VarBrTaskType},
    {"Outliers", offsetof(BZ_CleaninSett, ou), offsetof(BZ_CleaninSett, ou.apply), &kBZ_OuSettDescr,
     kBZ_OutlierTypeFlag, kBZ_OutlierTaskType},
};

void *RecordOf(BZ_CleaninSett *cleaning, const MethodRecord &m) {
  return reinterpret_cast<char *>(cleaning) + m.offset;
}

const void *RecordOf(const BZ_CleaninSett *cleaning, const MethodRecord &m) {
  return reinterpret_cast<const char *>(cleaning) + m.offset;
}

}  // namespace

BZ_ProjSett *BZ_GetProjSettPtr() { return gBZ.project != nullptr ? &gBZ.project->info.settings : nullptr; }

// ---- Defaults -------------------------------------------------------------------------------------------------

void BZ_MakeDefaultProjSett(const BZ_StatMovInfo *statMovInfo, BZ_ProjSett *projSett) {
  if (projSett == nullptr) return;
  BZ_MakeDefaultInputSett(statMovInfo, &projSett->input);
  BZ_MakeDefaultOutputSett(&projSett->output);
  BZ_MakeDefaultDiffParams(&projSett->diffParams);
  BZ_MakeDefaultCleaningSett(statMovInfo, &projSett->cleaning);
}

void BZ_MakeDefaultInputSett(const BZ_StatMovInfo *statMovInfo, BZ_InputSett *inputSett) {
  BZ_MakeDefaultSettRecord(kInputDescr, statMovInfo, inputSett);
}

Boolean BZ_InputSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_InputSett *inputSett) {
  return BZ_SettRecordEqualDefault(kInputDescr, statMovInfo, inputSett);
}

void BZ_MakeDefaultOutputSett(BZ_OutputSett *outputSett) {
  BZ_MakeDefaultSettRecord(kOutputDescr, nullptr, outputSett);
}

Boolean BZ_OutputSettEqualDefault(const BZ_OutputSett *outputSett) {
  return BZ_SettRecordEqualDefault(kOutputDescr, nullptr, outputSett);
}

void BZ_MakeDefaultDiffParams(BZ_DiffParams *diffParams) {
  BZ_MakeDefaultSettRecord(kDiffDescr, nullptr, diffParams);
}

Boolean BZ_DiffParamsEqualDefault(const BZ_DiffParams *diffParams) {
  return BZ_SettRecordEqualDefault(kDiffDescr, nullptr, diffParams);
}

void BZ_MakeDefaultCleaningSett(const BZ_StatMovInfo *statMovInfo, BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return;
  for (const MethodRecord &m : kMethods) BZ_MakeDefaultSettRecord(*m.descr, statMovInfo, RecordOf(cleaning, m));
  cleaning->noiseRed.apply = true;
}

// ---- Validation -----------------------------------------------------------------------------------------------

Boolean BZ_ValidateCleaningSett(const BZ_StatMovInfo *statMovInfo, BZ_CleaninSett *cleaning, Boolean correcting) {
  if (cleaning == nullptr) return false;
  bool valid = true;
  for (const MethodRecord &m : kMethods)
    valid &= BZ_ValidateSettRecord(*m.descr, statMovInfo, RecordOf(cleaning, m), correcting) != 0;
  return valid;
}

Boolean BZ_ValidateInputSett(BZ_InputSett *input, Boolean correcting) {
  if (input == nullptr) return false;
  const BZ_StatMovInfo *statMovInfo = BZ_GetStaticMovieInfoPtr();
  const bool known = SourceKnown(statMovInfo);
  const SInt32 vLimit = known ? statMovInfo[0].height / 4 : 200;
  const SInt32 hLimit = known ? statMovInfo[0].width / 4 : 200;
  SInt32 top = input->cropRect.top, left = input->cropRect.left;
  SInt32 bottom = input->cropRect.bottom, right = input->cropRect.right;
  bool valid = CheckMargin(&top, vLimit, correcting);
  valid &= CheckMargin(&left, hLimit, correcting);
  valid &= CheckMargin(&bottom, vLimit, correcting);
  valid &= CheckMargin(&right, hLimit, correcting);
  if (known && input->interlaced) {
    // Each field must lose whole lines; the preview's last crop-edge command says which way to go.
    const BZ_EngineHost *host = BZ_GetEngineHost();
    const SInt32 lastMove = host->getLastCropEdgeMove(host->refCon);
    if ((top & 1) != 0) {
      valid = false;
      if (correcting) top = MakeEven(top, lastMove == 1 ? -1 : 1, vLimit);
    }
    if ((bottom & 1) != 0) {
      valid = false;
      if (correcting) bottom = MakeEven(bottom, lastMove == 6 ? 1 : -1, vLimit);
    }
  }
  if (correcting) input->cropRect = Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
  return valid;
}

// ---- Dictionaries ---------------------------------------------------------------------------------------------

CFDictionaryRef BZ_CreateInputSettDict(const BZ_InputSett *inputSett) {
  return BZ_CreateSettRecordDict(kInputDescr, inputSett);
}

// Whatever cannot be read takes the defaults of a project without a source.
void BZ_GetInputPrefsFromDict(CFDictionaryRef dict, BZ_InputSett *inputSett) {
  BZ_GetSettRecordFromDict(kInputDescr, nullptr, dict, inputSett);
}

CFDictionaryRef BZ_CreateOutputSettDict(const BZ_OutputSett *outputSett) {
  return BZ_CreateSettRecordDict(kOutputDescr, outputSett);
}

void BZ_GetOutputPrefsFromDict(CFDictionaryRef dict, BZ_OutputSett *outputSett) {
  BZ_GetSettRecordFromDict(kOutputDescr, nullptr, dict, outputSett);
}

CFDictionaryRef BZ_CreateCleaningSettDict(const BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return nullptr;
  CFMutableDictionaryRef d = CF_DictCreateMut();
  for (const MethodRecord &m : kMethods)
    SetOwnedDict(d, PL_CFStringMakeConstant(m.key), BZ_CreateSettRecordDict(*m.descr, RecordOf(cleaning, m)));
  return d;
}

void BZ_GetCleaningPrefsFromDict(const BZ_StatMovInfo *statMovInfo, CFDictionaryRef dict, BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return;
  for (const MethodRecord &m : kMethods) {
    if (CFDictionaryRef d = SubDict(dict, PL_CFStringMakeConstant(m.key)))
      BZ_GetSettRecordFromDict(*m.descr, statMovInfo, d, RecordOf(cleaning, m));
    else
      BZ_MakeDefaultSettRecord(*m.descr, statMovInfo, RecordOf(cleaning, m));
  }
}

CFDictionaryRef BZ_CreateDiffParamsDict(const BZ_DiffParams *diffParams) {
  return BZ_CreateSettRecordDict(kDiffDescr, diffParams);
}

void BZ_GetDiffParamsFromDict(CFDictionaryRef dict, BZ_DiffParams *diffParams) {
  BZ_GetSettRecordFromDict(kDiffDescr, nullptr, dict, diffParams);
}

// ---- Preferences ----------------------------------------------------------------------------------------------

void BZ_SaveProjSett(const BZ_ProjSett *projSett) {
  if (projSett == nullptr) return;
  CFMutableDictionaryRef all = CF_DictCreateMut();
  SetOwnedDict(all, kInputPrefsKey, BZ_CreateInputSettDict(&projSett->input));
  SetOwnedDict(all, kCleaningPrefsKey, BZ_CreateCleaningSettDict(&projSett->cleaning));
  SetOwnedDict(all, kOutputPrefsKey, BZ_CreateOutputSettDict(&projSett->output));
  SetOwnedDict(all, kDiffPrefsKey, BZ_CreateDiffParamsDict(&projSett->diffParams));
  CF_SaveValueInPrefs(kProjectPrefsKey, all);
  CFRelease(all);
  BZ_SaveVideoExportSett(&projSett->output);
}

void BZ_SaveVideoExportSett(const BZ_OutputSett *outputSett) {
  if (outputSett == nullptr || !outputSett->export_ || outputSett->videoExportSett == nullptr) return;
  CFMutableDictionaryRef all = CF_CopyOrCreateMutDictFromPrefs(kVideoExportSettKey);
  if (all == nullptr) return;
  CFStringRef key = GL_OSTypeToCFStr(outputSett->exportType);
  if (key != nullptr) {
    CF_AddDataToDictFromHandle(all, key, outputSett->videoExportSett);
    CF_SaveValueInPrefs(kVideoExportSettKey, all);
    CFRelease(key);
  }
  CFRelease(all);
}

void BZ_GetProjSett(const BZ_StatMovInfo *statMovInfo, BZ_ProjSett *projSett) {
  if (projSett == nullptr) return;
  CFPropertyListRef stored = CF_CopyValueFromPrefs(kProjectPrefsKey);
  if (stored == nullptr || CFGetTypeID(stored) != CFDictionaryGetTypeID()) {
    BZ_MakeDefaultProjSett(statMovInfo, projSett);
  } else {
    auto prefs = static_cast<CFDictionaryRef>(stored);
    // A group whose dictionary is missing takes its defaults, as a fresh start would.
    if (CFDictionaryRef d = SubDict(prefs, kInputPrefsKey))
      BZ_GetInputPrefsFromDict(d, &projSett->input);
    else
      BZ_MakeDefaultInputSett(statMovInfo, &projSett->input);
    if (CFDictionaryRef d = SubDict(prefs, kCleaningPrefsKey))
      BZ_GetCleaningPrefsFromDict(statMovInfo, d, &projSett->cleaning);
    else
      BZ_MakeDefaultCleaningSett(statMovInfo, &projSett->cleaning);
    if (CFDictionaryRef d = SubDict(prefs, kOutputPrefsKey))
      BZ_GetOutputPrefsFromDict(d, &projSett->output);
    else
      BZ_MakeDefaultOutputSett(&projSett->output);
    if (CFDictionaryRef d = SubDict(prefs, kDiffPrefsKey))
      BZ_GetDiffParamsFromDict(d, &projSett->diffParams);
    else
      BZ_MakeDefaultDiffParams(&projSett->diffParams);
  }
  if (stored != nullptr) CFRelease(stored);
  BZ_GetVideoExportSettFromPrefs(&projSett->output);
}

void BZ_GetVideoExportSettFromPrefs(BZ_OutputSett *outputSett) {
  if (outputSett == nullptr) return;
  CFMutableDictionaryRef all = CF_CopyMutDictFromPrefs(kVideoExportSettKey);
  if (all == nullptr) return;
  Handle settings = nullptr;
  CFStringRef key = GL_OSTypeToCFStr(outputSett->exportType);
  if (key != nullptr) {
    CF_GetDataFromDictAsHandle(all, key, &settings);
    CFRelease(key);
  }
  outputSett->videoExportSett = settings;
  CFRelease(all);
}

// ---- Log text -------------------------------------------------------------------------------------------------

void BZ_AddInputSettToTextPtr(const BZ_InputSett *inputSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kInputDescr, inputSett, textPtr, textSize);
}

void BZ_AddOutputSettToTextPtr(const BZ_OutputSett *outputSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kOutputDescr, outputSett, textPtr, textSize);
}

OSStatus BZ_AddCleaningSettToTextPtr(BZ_ProjPtr project, Ptr textPtr, SInt32 *textSize) {
  if (project == nullptr) return paramErr;
  const BZ_CleaninSett &cleaning = project->info.settings.cleaning;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  UInt32 types = 0;
  OSStatus err = host->getValidSelectedProcessTypes(host->refCon, &cleaning, &types);
  if (err != noErr) return err;
  GL_AddCStringToTextPtr(textPtr, textSize, "  Cleaning settings:\r");
  // Varying brightness has no log text.
  for (const MethodRecord &m : kMethods)
    if (types & m.typeFlag) BZ_AddSettRecordToTextPtr(*m.descr, RecordOf(&cleaning, m), textPtr, textSize);
  return noErr;
}

// ---- Applying one method --------------------------------------------------------------------------------------

void BZ_SetOnlyProcessType(BZ_TaskType taskType) {
  for (const MethodRecord &m : kMethods) BZ_SetApplyProcessType(m.taskType, m.taskType == taskType);
}

void BZ_SetApplyProcessType(BZ_TaskType taskType, Boolean apply) {
  BZ_ProjSett *sett = BZ_GetProjSettPtr();
  if (sett == nullptr) return;
  for (const MethodRecord &m : kMethods)
    if (m.taskType == taskType)
      *reinterpret_cast<Boolean *>(reinterpret_cast<char *>(&sett->cleaning) + m.applyOffset) = apply;
}
