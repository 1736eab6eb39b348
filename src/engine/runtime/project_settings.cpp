// The project's settings: defaults, validation of the input, "Project Prefs", "Video Export Settings" and log
// text.
#include "engine/runtime/project_settings.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_types.h"
#include "general/cf_encodings.h"
#include "general/strings_text.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_array.h"
#include "platform/core/cf_dictionary.h"

#include <cmath>

namespace {

const CFStringRef kProjectPrefsKey = CFSTR("Project Prefs");
const CFStringRef kVideoExportSettKey = CFSTR("Video Export Settings");
const CFStringRef kInputPrefsKey = CFSTR("Input Prefs");
const CFStringRef kCleaningPrefsKey = CFSTR("Cleaning Prefs");
const CFStringRef kOutputPrefsKey = CFSTR("Output Prefs");
const CFStringRef kDiffPrefsKey = CFSTR("Diff Prefs");

bool SourceKnown(const BZ_StatMovInfo *statMovInfo) { return statMovInfo != nullptr && statMovInfo[0].cType != 0; }

bool RectsEqual(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

bool Same(Boolean a, Boolean b) { return (a != 0) == (b != 0); }

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

Boolean BoolOr(CFDictionaryRef dict, CFStringRef key, Boolean def) {
  Boolean v = false;
  return CF_GetBooleanFromDict(dict, key, &v) ? Boolean(v != 0) : def;
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
  if (inputSett == nullptr) return;
  const bool known = SourceKnown(statMovInfo);
  if (!known) {
    inputSett->interlaced = true;
    inputSett->topFieldFirst = false;
    inputSett->whiteLinePiece = false;
  } else {
    const BZ_StatMovInfo &movie = statMovInfo[0];
    const bool searched = gBZ.dlgTaskData.searchedWhiteLinePiece[0];
    if (movie.hasFielExt || (searched && movie.whiteLinePiece)) {
      inputSett->interlaced = movie.interlaced;
      inputSett->topFieldFirst = movie.topFieldFirst;
    } else {
      inputSett->interlaced = true;
      inputSett->topFieldFirst = false;
    }
    inputSett->whiteLinePiece = searched ? movie.whiteLinePiece : false;
  }
  inputSett->cropping = false;
  inputSett->autoDetectBlackBars = true;
  inputSett->maskBlackBars = false;
  inputSett->cropRect = known && gBZ.dlgTaskData.detectedBlackBars ? statMovInfo[0].blackEdges : Rect{0, 0, 0, 0};
}

Boolean BZ_InputSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_InputSett *inputSett) {
  if (inputSett == nullptr) return false;
  BZ_InputSett d = *inputSett;
  BZ_MakeDefaultInputSett(statMovInfo, &d);
  return Same(inputSett->interlaced, d.interlaced) && Same(inputSett->topFieldFirst, d.topFieldFirst) &&
         Same(inputSett->whiteLinePiece, d.whiteLinePiece) && Same(inputSett->cropping, d.cropping) &&
         RectsEqual(inputSett->cropRect, d.cropRect) && Same(inputSett->autoDetectBlackBars, d.autoDetectBlackBars) &&
         Same(inputSett->maskBlackBars, d.maskBlackBars);
}

void BZ_MakeDefaultOutputSett(BZ_OutputSett *outputSett) {
  if (outputSett == nullptr) return;
  outputSett->cType = 'dvc ';
  outputSett->makeNoiseMovie = false;
}

Boolean BZ_OutputSettEqualDefault(const BZ_OutputSett *outputSett) {
  if (outputSett == nullptr) return false;
  return outputSett->cType == 'dvc ' && !outputSett->makeNoiseMovie;
}

void BZ_MakeDefaultDiffParams(BZ_DiffParams *diffParams) {
  if (diffParams == nullptr) return;
  diffParams->showChroma = false;
  diffParams->showLuma = true;
  diffParams->scale = 1.0f;
  diffParams->scaleMode = 2;
}

Boolean BZ_DiffParamsEqualDefault(const BZ_DiffParams *diffParams) {
  if (diffParams == nullptr) return false;
  return !diffParams->showChroma && diffParams->showLuma &&
         std::fabs(diffParams->scale - 1.0) <= kBZ_SettEqualTolerance && diffParams->scaleMode == 2;
}

void BZ_MakeDefaultCleaningSett(const BZ_StatMovInfo *statMovInfo, BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return;
  BZ_MakeDefaultAvSett(statMovInfo, &cleaning->average);
  BZ_MakeDefaultNrSett(statMovInfo, &cleaning->noiseRed);
  BZ_MakeDefaultRlSett(&cleaning->removeLogo);
  BZ_MakeDefaultClSett(&cleaning->crossLuma);
  BZ_MakeDefaultOuSett(&cleaning->ou);
  cleaning->noiseRed.apply = true;
}

// ---- Validation -----------------------------------------------------------------------------------------------

Boolean BZ_ValidateCleaningSett(const BZ_StatMovInfo *statMovInfo, BZ_CleaninSett *cleaning, Boolean correcting) {
  if (cleaning == nullptr) return false;
  bool valid = BZ_AvValidateSett(&cleaning->average, correcting) != 0;
  valid &= BZ_NrValidateSett(statMovInfo, &cleaning->noiseRed, correcting) != 0;
  valid &= BZ_RlValidateSett(&cleaning->removeLogo, correcting) != 0;
  valid &= BZ_ClValidateSett(&cleaning->crossLuma, correcting) != 0;
  valid &= BZ_OuValidateSett(&cleaning->ou, correcting) != 0;
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
  if (inputSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = CF_DictCreateMut();
  CF_AddBooleanToDict(d, CFSTR("Interlaced"), inputSett->interlaced);
  CF_AddBooleanToDict(d, CFSTR("TopFieldFirst"), inputSett->topFieldFirst);
  CF_AddBooleanToDict(d, CFSTR("WhiteLinePiece"), inputSett->whiteLinePiece);
  CF_AddBooleanToDict(d, CFSTR("Cropping"), inputSett->cropping);
  CF_AddBooleanToDict(d, CFSTR("Crop automatic"), inputSett->autoDetectBlackBars);
  CFArrayRef crop = CF_CopyRectToCFArray(&inputSett->cropRect);
  if (crop != nullptr) {
    CFDictionarySetValue(d, CFSTR("Crop values"), crop);
    CFRelease(crop);
  }
  CF_AddBooleanToDict(d, CFSTR("Mask out black bars"), inputSett->maskBlackBars);
  return d;
}

void BZ_GetInputPrefsFromDict(CFDictionaryRef dict, BZ_InputSett *inputSett) {
  if (inputSett == nullptr) return;
  // Whatever cannot be read takes the defaults of a project without a source.
  BZ_InputSett def = *inputSett;
  BZ_MakeDefaultInputSett(nullptr, &def);
  inputSett->interlaced = BoolOr(dict, CFSTR("Interlaced"), def.interlaced);
  inputSett->topFieldFirst = BoolOr(dict, CFSTR("TopFieldFirst"), def.topFieldFirst);
  inputSett->whiteLinePiece = BoolOr(dict, CFSTR("WhiteLinePiece"), def.whiteLinePiece);
  inputSett->cropping = BoolOr(dict, CFSTR("Cropping"), def.cropping);
  inputSett->autoDetectBlackBars = BoolOr(dict, CFSTR("Crop automatic"), def.autoDetectBlackBars);
  inputSett->maskBlackBars = BoolOr(dict, CFSTR("Mask out black bars"), def.maskBlackBars);
  Rect crop{-1, -1, -1, -1};
  const bool read = CF_GetRectFromDict(dict, CFSTR("Crop values"), &crop);
  // Margins are never negative.
  inputSett->cropRect = read && crop.top >= 0 && crop.left >= 0 && crop.bottom >= 0 && crop.right >= 0 ? crop : def.cropRect;
}

CFDictionaryRef BZ_CreateOutputSettDict(const BZ_OutputSett *outputSett) {
  if (outputSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = CF_DictCreateMut();
  CF_AddSInt32ToDict(d, CFSTR("CodecType"), SInt32(outputSett->cType));
  CF_AddBooleanToDict(d, CFSTR("Make Noise Movie"), outputSett->makeNoiseMovie);
  CF_AddBooleanToDict(d, CFSTR("Export"), outputSett->export_);
  CF_AddOSTypeToDict(d, CFSTR("Export Type"), outputSett->exportType);
  return d;
}

void BZ_GetOutputPrefsFromDict(CFDictionaryRef dict, BZ_OutputSett *outputSett) {
  if (outputSett == nullptr) return;
  BZ_OutputSett def = *outputSett;
  BZ_MakeDefaultOutputSett(&def);
  SInt32 cType = 0;
  outputSett->cType = CF_GetSInt32FromDict(dict, CFSTR("CodecType"), &cType) && cType != 0 ? CodecType(cType) : def.cType;
  outputSett->makeNoiseMovie = BoolOr(dict, CFSTR("Make Noise Movie"), def.makeNoiseMovie);
  outputSett->export_ = BoolOr(dict, CFSTR("Export"), false);
  const OSType exportType = CF_GetOSTypeFromDict(dict, CFSTR("Export Type"));
  if (exportType != 0) outputSett->exportType = exportType;
}

CFDictionaryRef BZ_CreateCleaningSettDict(const BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return nullptr;
  CFMutableDictionaryRef d = CF_DictCreateMut();
  SetOwnedDict(d, CFSTR("Average"), BZ_CreateAvSettDict(&cleaning->average));
  SetOwnedDict(d, CFSTR("Noise Reduction"), BZ_CreateNrSettDict(&cleaning->noiseRed));
  SetOwnedDict(d, CFSTR("Remove Logo"), BZ_CreateRlSettDict(&cleaning->removeLogo));
  SetOwnedDict(d, CFSTR("Cross-Luma"), BZ_CreateClSettDict(&cleaning->crossLuma));
  SetOwnedDict(d, CFSTR("Varying Brightness"), BZ_CreateVarBrSettDict(&cleaning->varBr));
  SetOwnedDict(d, CFSTR("Outliers"), BZ_CreateOuSettDict(&cleaning->ou));
  return d;
}

void BZ_GetCleaningPrefsFromDict(const BZ_StatMovInfo *statMovInfo, CFDictionaryRef dict, BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return;
  if (CFDictionaryRef d = SubDict(dict, CFSTR("Average")))
    BZ_GetAvPrefsFromDict(d, &cleaning->average);
  else
    BZ_MakeDefaultAvSett(statMovInfo, &cleaning->average);
  if (CFDictionaryRef d = SubDict(dict, CFSTR("Noise Reduction")))
    BZ_GetNrPrefsFromDict(statMovInfo, d, &cleaning->noiseRed);
  else
    BZ_MakeDefaultNrSett(statMovInfo, &cleaning->noiseRed);
  if (CFDictionaryRef d = SubDict(dict, CFSTR("Remove Logo")))
    BZ_GetRlPrefsFromDict(d, &cleaning->removeLogo);
  else
    BZ_MakeDefaultRlSett(&cleaning->removeLogo);
  if (CFDictionaryRef d = SubDict(dict, CFSTR("Cross-Luma")))
    BZ_GetClPrefsFromDict(d, &cleaning->crossLuma);
  else
    BZ_MakeDefaultClSett(&cleaning->crossLuma);
  if (CFDictionaryRef d = SubDict(dict, CFSTR("Varying Brightness"))) BZ_GetVarBrPrefsFromDict(d, &cleaning->varBr);
  if (CFDictionaryRef d = SubDict(dict, CFSTR("Outliers")))
    BZ_GetOuPrefsFromDict(d, &cleaning->ou);
  else
    BZ_MakeDefaultOuSett(&cleaning->ou);
}

CFDictionaryRef BZ_CreateDiffParamsDict(const BZ_DiffParams *diffParams) {
  if (diffParams == nullptr) return nullptr;
  CFMutableDictionaryRef d = CF_DictCreateMut();
  CF_AddBooleanToDict(d, CFSTR("Show Chroma"), diffParams->showChroma);
  CF_AddBooleanToDict(d, CFSTR("Show Luma"), diffParams->showLuma);
  CF_AddFloat32ToDict(d, CFSTR("Scale"), diffParams->scale);
  CF_AddSInt32ToDict(d, CFSTR("Scale Mode"), SInt32(diffParams->scaleMode));
  CF_AddFloat32ToDict(d, CFSTR("Optimal chroma scale"), diffParams->optScaleC);
  CF_AddFloat32ToDict(d, CFSTR("Optimal luma scale"), diffParams->optScaleY);
  return d;
}

void BZ_GetDiffParamsFromDict(CFDictionaryRef dict, BZ_DiffParams *diffParams) {
  if (diffParams == nullptr) return;
  BZ_DiffParams def = *diffParams;
  BZ_MakeDefaultDiffParams(&def);
  diffParams->showChroma = BoolOr(dict, CFSTR("Show Chroma"), def.showChroma);
  diffParams->showLuma = BoolOr(dict, CFSTR("Show Luma"), def.showLuma);
  Float32 scale = 0;
  diffParams->scale =
      CF_GetFloat32FromDict(dict, CFSTR("Scale"), &scale) && std::isfinite(scale) && scale > 0 ? scale : def.scale;
  SInt32 mode = -1;
  diffParams->scaleMode =
      CF_GetSInt32FromDict(dict, CFSTR("Scale Mode"), &mode) && mode >= 0 && mode <= 2 ? UInt32(mode) : def.scaleMode;
  Float32 opt = 0;
  if (CF_GetFloat32FromDict(dict, CFSTR("Optimal chroma scale"), &opt) && std::isfinite(opt)) diffParams->optScaleC = opt;
  if (CF_GetFloat32FromDict(dict, CFSTR("Optimal luma scale"), &opt) && std::isfinite(opt)) diffParams->optScaleY = opt;
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
  if (inputSett == nullptr) return;
  GL_AddCStringToTextPtr(textPtr, textSize, "  Input settings:\r");
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    interlaced"), inputSett->interlaced);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    top field first"), inputSett->topFieldFirst);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    white line piece in bottom line"),
                                   inputSett->whiteLinePiece);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    cropping"), inputSett->cropping);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    crop automatic"), inputSett->autoDetectBlackBars);
  GL_AddRectFieldDescrToTextPtr(textPtr, textSize, CFSTR("    crop rect"), &inputSett->cropRect);
}

void BZ_AddOutputSettToTextPtr(const BZ_OutputSett *outputSett, Ptr textPtr, SInt32 *textSize) {
  if (outputSett == nullptr) return;
  GL_AddCStringToTextPtr(textPtr, textSize, "  Output settings:\r");
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    make noise movie"), outputSett->makeNoiseMovie);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("    export"), outputSett->export_);
  if (outputSett->export_)
    GL_AddOSTypeFieldDescrToTextPtr(textPtr, textSize, CFSTR("    export type"), outputSett->exportType);
  else
    GL_AddOSTypeFieldDescrToTextPtr(textPtr, textSize, CFSTR("    compressor"), outputSett->cType);
}

OSStatus BZ_AddCleaningSettToTextPtr(BZ_ProjPtr project, Ptr textPtr, SInt32 *textSize) {
  if (project == nullptr) return paramErr;
  const BZ_CleaninSett &cleaning = project->info.settings.cleaning;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  UInt32 types = 0;
  OSStatus err = host->getValidSelectedProcessTypes(host->refCon, &cleaning, &types);
  if (err != noErr) return err;
  GL_AddCStringToTextPtr(textPtr, textSize, "  Cleaning settings:\r");
  if (types & kBZ_AverageTypeFlag) BZ_AddAvSettToTextPtr(&cleaning.average, textPtr, textSize);
  if (types & kBZ_NoiseRedTypeFlag) BZ_AddNrSettToTextPtr(&cleaning.noiseRed, textPtr, textSize);
  if (types & kBZ_RlTypeFlag) BZ_AddRlSettToTextPtr(&cleaning.removeLogo, textPtr, textSize);
  if (types & kBZ_CrossLumaTypeFlag) BZ_AddClSettToTextPtr(&cleaning.crossLuma, textPtr, textSize);
  if (types & kBZ_OutlierTypeFlag) BZ_AddOuSettToTextPtr(&cleaning.ou, textPtr, textSize);
  return noErr;
}

// ---- Applying one method --------------------------------------------------------------------------------------

void BZ_SetOnlyProcessType(BZ_TaskType taskType) {
  for (BZ_TaskType type : {kBZ_AverageTaskType, kBZ_VarBrTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType,
                           kBZ_CrossLumaTaskType, kBZ_OutlierTaskType})
    BZ_SetApplyProcessType(type, type == taskType);
}

void BZ_SetApplyProcessType(BZ_TaskType taskType, Boolean apply) {
  BZ_ProjSett *sett = BZ_GetProjSettPtr();
  if (sett == nullptr) return;
  BZ_CleaninSett &c = sett->cleaning;
  switch (taskType) {
    case kBZ_AverageTaskType: c.average.apply = apply; break;
    case kBZ_VarBrTaskType: c.varBr.apply = apply; break;
    case kBZ_NoiseRedTaskType: c.noiseRed.apply = apply; break;
    case kBZ_RlTaskType: c.removeLogo.apply = apply; break;
    case kBZ_CrossLumaTaskType: c.crossLuma.apply = apply; break;
    case kBZ_OutlierTaskType: c.ou.apply = apply; break;
    default: break;
  }
}
