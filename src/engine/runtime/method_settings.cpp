// Settings of the cleaning methods, each record described by its table of fields (engine/runtime/
// settings_fields.h) and the hooks for what a table cannot say: defaults from the sources, checks across
// fields and the noise and logo rectangles.
#include "engine/runtime/method_settings.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/settings_fields.h"
#include "general/geometry.h"
#include "general/strings_text.h"
#include "general/cf_encodings.h"
#include "platform/core/cf_string.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <utility>

namespace {

// ---- Sources ----

bool SourceKnown(const BZ_StatMovInfo *statMovInfo, int fileNum) {
  return statMovInfo != nullptr && statMovInfo[fileNum].cType != 0;
}

// Frames of source 0, 1000 without one; at least 1 so that a frame range exists.
SInt32 NumFramesOfSource0(const BZ_StatMovInfo *statMovInfo) {
  SInt32 n = SourceKnown(statMovInfo, 0) ? statMovInfo[0].numFrames : 1000;
  return n < 1 ? 1 : n;
}

// The picture of source 0, (0, 0, 480, 720) without one.
Rect PictureOfSource0(const BZ_StatMovInfo *statMovInfo) {
  Rect r{0, 0, 480, 720};
  if (SourceKnown(statMovInfo, 0)) {
    r.bottom = SInt16(statMovInfo[0].height);
    r.right = SInt16(statMovInfo[0].width);
  }
  return r;
}

Rect InsetBy16(Rect r) {
  r.top += 16;
  r.left += 16;
  r.bottom -= 16;
  r.right -= 16;
  return r;
}

// ---- Averaging ----

// apply becomes true when a second source movie is known.
void AvDefaults(const BZ_StatMovInfo *statMovInfo, void *record) {
  if (SourceKnown(statMovInfo, 1)) static_cast<BZ_Av_Sett *>(record)->apply = true;
}

constexpr BZ_SettField kAvFields[] = {
    {.key = "Second Movie Has White Line Piece", .logTitle = "movie 2 has white line piece in bottom line",
     BZ_SETT_AT(BZ_Av_Sett, hasWhiteLinePiece, kBZ_SettBoolean), .def = false},
    {.key = "Shift", .logTitle = "shift movie 2", BZ_SETT_AT(BZ_Av_Sett, shift, kBZ_SettFloat64), .lo = -8.0,
     .hi = 8.0, .def = 0.0, .checked = true},
    {.key = "Weight", .logTitle = "weight movie 1", BZ_SETT_AT(BZ_Av_Sett, weight, kBZ_SettFloat64), .lo = 0.0,
     .hi = 1.0, .def = 0.5, .checked = true},
    {.key = "Automatic", .logTitle = "automatic noise level detection",
     BZ_SETT_AT(BZ_Av_Sett, automatic, kBZ_SettBoolean), .def = true},
    {.key = "Apply", BZ_SETT_AT(BZ_Av_Sett, apply, kBZ_SettBoolean), .missing = kBZ_SettMissingKeep},
};

// ---- Noise reduction ----

// Levels measured by the noise analysis, the frames and the picture of source 0.
void NrDefaults(const BZ_StatMovInfo *statMovInfo, void *record) {
  auto *nrSett = static_cast<BZ_Rn_Sett *>(record);
  if (const BZ_RnDlgTaskData *rn = gBZ.dlgTaskData.rnDlgTaskData) {
    for (int c = 0; c < 3; ++c) {
      const float measured = rn->eqNoiseLevel2D[c];
      if (measured > 0.1f && std::isfinite(measured)) nrSett->noiseLevel[c] = measured;
    }
  }
  nrSett->endFrame = SourceKnown(statMovInfo, 0) ? statMovInfo[0].numFrames : 1000;
  nrSett->selRect = InsetBy16(PictureOfSource0(statMovInfo));
}

bool NrValidate(const BZ_StatMovInfo *statMovInfo, void *record, Boolean correcting) {
  auto *nrSett = static_cast<BZ_Rn_Sett *>(record);
  bool valid = true;
  if (nrSett->temporal) {
    valid = false;
    if (correcting) nrSett->temporal = false;
  }
  if (!nrSett->horizontal && !nrSett->vertical) {
    valid = false;
    if (correcting) nrSett->horizontal = nrSett->vertical = true;
  }
  const SInt32 n = NumFramesOfSource0(statMovInfo);
  valid &= BZ_CheckSettRange(&nrSett->startFrame, 1, n, correcting);
  if (nrSett->endFrame < 1) {
    valid = false;
    if (correcting) nrSett->endFrame = 1;
  }
  // A movie shorter than the stored range is no fault of the settings.
  if (nrSett->endFrame > n && correcting) nrSett->endFrame = n;
  if (nrSett->endFrame < nrSett->startFrame) {
    valid = false;
    if (correcting) nrSett->endFrame = nrSett->startFrame;
  }
  valid &= BZ_NrValidateSelRect(statMovInfo, &nrSett->selRect, correcting) != 0;
  return valid;
}

// A missing or unusable level keeps the one the record has (a measured one, for instance).
constexpr BZ_SettField kNrFields[] = {
    {.key = "Use Temporal", .logTitle = "temporal noise reduction", BZ_SETT_AT(BZ_Rn_Sett, temporal, kBZ_SettBoolean),
     .def = false},
    {.key = "Use Horizontal", .logTitle = "horizontal noise reduction",
     BZ_SETT_AT(BZ_Rn_Sett, horizontal, kBZ_SettBoolean), .def = true},
    {.key = "Use Vertical", .logTitle = "vertical noise reduction", BZ_SETT_AT(BZ_Rn_Sett, vertical, kBZ_SettBoolean),
     .def = true},
    {.key = "Noise Level Y", .logTitle = "noise level Y", BZ_SETT_AT(BZ_Rn_Sett, noiseLevel[0], kBZ_SettFloat32),
     .lo = 0.0, .hi = 40.0, .def = 5.0, .missing = kBZ_SettMissingKeep, .checked = true},
    {.key = "Noise Level Cb", .logTitle = "noise level Cb", BZ_SETT_AT(BZ_Rn_Sett, noiseLevel[1], kBZ_SettFloat32),
     .lo = 0.0, .hi = 40.0, .def = 5.0, .missing = kBZ_SettMissingKeep, .checked = true},
    {.key = "Noise Level Cr", .logTitle = "noise level Cr", BZ_SETT_AT(BZ_Rn_Sett, noiseLevel[2], kBZ_SettFloat32),
     .lo = 0.0, .hi = 40.0, .def = 5.0, .missing = kBZ_SettMissingKeep, .checked = true},
    {.key = "Automatic noise detection", .logTitle = "automatic noise spectrum detection",
     BZ_SETT_AT(BZ_Rn_Sett, automatic, kBZ_SettBoolean), .def = true},
    {.key = "Start frame", .logTitle = "start frame number", BZ_SETT_AT(BZ_Rn_Sett, startFrame, kBZ_SettSInt32),
     .lo = 1, .hi = INT32_MAX, .def = 1},
    {.key = "End frame", .logTitle = "end frame number", BZ_SETT_AT(BZ_Rn_Sett, endFrame, kBZ_SettSInt32), .lo = 1,
     .hi = INT32_MAX},
    {.key = "Use selection rect", .logTitle = "use selection rect",
     BZ_SETT_AT(BZ_Rn_Sett, useSelRect, kBZ_SettBoolean), .def = false},
    {.key = "Selection rect", .logTitle = "selection rect", BZ_SETT_AT(BZ_Rn_Sett, selRect, kBZ_SettRect),
     .compared = false},
    {.key = "Apply", BZ_SETT_AT(BZ_Rn_Sett, apply, kBZ_SettBoolean), .missing = kBZ_SettMissingKeep,
     .compared = false},
};

// ---- Logo removal ----

constexpr Rect kDefaultLogoRect{40, 40, 100, 100};

bool RlFading(const void *record) { return static_cast<const BZ_RlSett *>(record)->fade != 0; }

bool RlUsesMask(const void *record) { return static_cast<const BZ_RlSett *>(record)->mode == kBZ_LogoModeUseMask; }

bool RlUsesTransparentMask(const void *record) {
  return RlUsesMask(record) && static_cast<const BZ_RlSett *>(record)->transparent;
}

bool RlValidate(const BZ_StatMovInfo *, void *record, Boolean correcting) {
  return BZ_RlValidateLogoRect(0, 0, correcting, &static_cast<BZ_RlSett *>(record)->logoRect) != 0;
}

// Files of older versions hold a Boolean under "Mask at top left": true meant the top left corner (anchor 0),
// false anchor 3.
void RlAfterReading(CFDictionaryRef dict, const void *, void *record) {
  Boolean atTopLeft = false;
  if (CF_GetBooleanFromDict(dict, CFSTR("Mask at top left"), &atTopLeft))
    static_cast<BZ_RlSett *>(record)->maskAnchor = atTopLeft ? 0 : 3;
}

void RlLogMode(const void *record, Ptr textPtr, SInt32 *textSize) {
  const BZ_RlMode mode = static_cast<const BZ_RlSett *>(record)->mode;
  GL_AddCStringToTextPtr(textPtr, textSize,
                         mode == kBZ_LogoModeDiminish ? "      mode: diminish\r"
                         : mode == kBZ_LogoModeInterp ? "      mode: interpolate from edge\r"
                                                      : "      mode: use mask\r");
}

// In the order of the log; the mode has a line of its own (RlLogMode).
constexpr BZ_SettField kRlFields[] = {
    {.key = "Diminish Logo", BZ_SETT_AT(BZ_RlSett, mode, kBZ_SettSInt32), .lo = kBZ_LogoModeDiminish,
     .hi = kBZ_LogoModeUseMask, .def = kBZ_LogoModeDiminish},
    {.key = "Logo bounds", .logTitle = "logo rect", BZ_SETT_AT(BZ_RlSett, logoRect, kBZ_SettRect),
     .defRect = &kDefaultLogoRect},
    {.key = "Fade", .logTitle = "fade", BZ_SETT_AT(BZ_RlSett, fade, kBZ_SettBoolean), .def = false},
    {.key = "Time Before Fade", .logTitle = "time before fade", BZ_SETT_AT(BZ_RlSett, timeBeforeFade, kBZ_SettSInt32),
     .lo = 0, .hi = 60, .def = 3, .checked = true, .logged = RlFading},
    {.key = "Max num frames to examine", .logTitle = "number of frames for logo detection",
     BZ_SETT_AT(BZ_RlSett, numBackGrFrames, kBZ_SettSInt32), .lo = 10, .hi = 1000, .def = 1000, .checked = true,
     .logged = RlUsesMask},
    {.key = "All White", .logTitle = "all white", BZ_SETT_AT(BZ_RlSett, allWhite, kBZ_SettBoolean), .def = true,
     .logged = RlUsesMask},
    {.key = "Find mask", .logTitle = "find mask", BZ_SETT_AT(BZ_RlSett, findMask, kBZ_SettBoolean), .def = false,
     .logged = RlUsesMask},
    {.key = "Logo Transparent", .logTitle = "transparent", BZ_SETT_AT(BZ_RlSett, transparent, kBZ_SettBoolean),
     .def = false, .logged = RlUsesMask},
    {.key = "Transparency", .logTitle = "transparency", BZ_SETT_AT(BZ_RlSett, transparency, kBZ_SettFloat64),
     .lo = 0.0, .hi = 1.0, .def = 0.7, .checked = true, .logged = RlUsesTransparentMask},
    // Unlimited, but it must be a number.
    {.key = "Min BackGround Uniformity", .logTitle = "minimum background uniformity",
     BZ_SETT_AT(BZ_RlSett, minBackGrUnif, kBZ_SettFloat64), .def = 0.9, .checked = true,
     .logged = RlUsesTransparentMask},
    {.key = "Mask at top left", .logTitle = "mask located at top left",
     BZ_SETT_AT(BZ_RlSett, maskAnchor, kBZ_SettSInt32), .lo = 0, .hi = 3, .def = 0, .checked = true,
     .logIsZero = true, .logged = RlUsesMask},
    {.key = "Apply", BZ_SETT_AT(BZ_RlSett, apply, kBZ_SettBoolean), .missing = kBZ_SettMissingKeep,
     .compared = false},
};

// ---- Cross-luma ----

// The interval must be longer than the test, and the deviation's maximum above its minimum.
bool ClValidate(const BZ_StatMovInfo *, void *record, Boolean correcting) {
  auto *clSett = static_cast<BZ_Cl_Sett *>(record);
  bool valid = BZ_CheckSettRange(&clSett->minConstChromaLen, clSett->constChromaTestLen + 2, 22, correcting);
  if (clSett->maxStddev < 5) {
    valid = false;
    if (correcting) clSett->maxStddev = 5;
  }
  if (clSett->maxStddev <= clSett->minStddev) {
    valid = false;
    if (correcting) clSett->maxStddev = clSett->minStddev + 1;
  } else if (clSett->maxStddev > 100) {
    valid = false;
    if (correcting) clSett->maxStddev = 100;
  }
  return valid;
}

// The interval read must still be longer than the test length read; else the default, made long enough.
void ClAfterReading(CFDictionaryRef, const void *defaults, void *record) {
  auto *clSett = static_cast<BZ_Cl_Sett *>(record);
  const SInt32 shortest = clSett->constChromaTestLen + 2;
  if (clSett->minConstChromaLen < shortest)
    clSett->minConstChromaLen = std::max(static_cast<const BZ_Cl_Sett *>(defaults)->minConstChromaLen, shortest);
}

constexpr BZ_SettField kClFields[] = {
    {.key = "Constant Chroma Test Length", .logTitle = "constant chroma test length",
     BZ_SETT_AT(BZ_Cl_Sett, constChromaTestLen, kBZ_SettSInt32), .lo = 4, .hi = 20, .def = 6, .checked = true},
    {.key = "Min Length of Constant Chroma Interval", .logTitle = "minimum length of constant chroma line piece",
     BZ_SETT_AT(BZ_Cl_Sett, minConstChromaLen, kBZ_SettSInt32), .lo = 6, .hi = 22, .def = 8},
    {.key = "Max Chroma Standard Deviation", .logTitle = "maximum chroma standard deviation",
     BZ_SETT_AT(BZ_Cl_Sett, maxChromaStddev, kBZ_SettSInt32), .lo = 0, .hi = 40, .def = 10, .checked = true},
    {.key = "Cross-luma Extent in Constant Chroma",
     .logTitle = "horizontal extent of cross-luma into constant chroma area",
     BZ_SETT_AT(BZ_Cl_Sett, extent, kBZ_SettSInt32), .lo = 0, .hi = 60, .def = 8, .checked = true},
    {.key = "Min Standard Deviation in 3x3 Square", .logTitle = "minimum standard deviation in 3x3 box",
     BZ_SETT_AT(BZ_Cl_Sett, minStddev, kBZ_SettSInt32), .lo = 0, .hi = 40, .def = 5, .checked = true},
    {.key = "Max Standard Deviation in 3x3 Square", .logTitle = "maximum standard deviation in 3x3 box",
     BZ_SETT_AT(BZ_Cl_Sett, maxStddev, kBZ_SettSInt32), .lo = 5, .hi = 100, .def = 25},
    {.key = "Percentage", .logTitle = "percentage", BZ_SETT_AT(BZ_Cl_Sett, percentage, kBZ_SettFloat64), .lo = 0.0,
     .hi = 1.0, .def = 0.5, .checked = true},
    {.key = "Apply", BZ_SETT_AT(BZ_Cl_Sett, apply, kBZ_SettBoolean), .missing = kBZ_SettMissingKeep,
     .compared = false},
};

// ---- Varying brightness ----

constexpr BZ_SettField kVarBrFields[] = {
    {.key = "Apply", BZ_SETT_AT(BZ_VarBrSett, apply, kBZ_SettBoolean), .missing = kBZ_SettMissingKeep,
     .compared = false},
};

// ---- Outliers ----

// In the order of the log.
constexpr BZ_SettField kOuFields[] = {
    {.key = "Number of constant pixels", .logTitle = "number of constant pixels",
     BZ_SETT_AT(BZ_OuSett, numConstPix, kBZ_SettSInt32), .lo = kBZ_OuMinNumConstPix, .hi = kBZ_OuMaxNumConstPix,
     .def = 2, .checked = true},
    {.key = "Scene change threshold", .logTitle = "scene change threshold",
     BZ_SETT_AT(BZ_OuSett, maxAvPixelDiff, kBZ_SettSInt32), .lo = 10, .hi = 100, .def = 30, .checked = true},
    {.key = "Scratch width", .logTitle = "scratch width", BZ_SETT_AT(BZ_OuSett, scratchWidth, kBZ_SettFloat32),
     .lo = 1.0, .hi = 10.0, .def = 2.0, .checked = true, .decimals = 1},
    {.key = "Outlier distance", .logTitle = "outlier distance", BZ_SETT_AT(BZ_OuSett, minDiff, kBZ_SettSInt32),
     .lo = 0, .hi = 100, .def = 30, .checked = true},
    // A missing "Apply" turns outlier removal off.
    {.key = "Apply", BZ_SETT_AT(BZ_OuSett, apply, kBZ_SettBoolean), .missing = kBZ_SettMissingFalse,
     .compared = false},
};

constexpr const char *kMethodIndent = "      ";

}  // namespace

// ---- Tables -------------------------------------------------------------------------------------------------------

const BZ_SettRecordDescr kBZ_AvSettDescr{.fields = kAvFields,
                                         .numFields = std::size(kAvFields),
                                         .recordSize = sizeof(BZ_Av_Sett),
                                         .logHeading = "    Average settings:\r",
                                         .logIndent = kMethodIndent,
                                         .makeDefaults = AvDefaults};

const BZ_SettRecordDescr kBZ_NrSettDescr{.fields = kNrFields,
                                         .numFields = std::size(kNrFields),
                                         .recordSize = sizeof(BZ_Rn_Sett),
                                         .logHeading = "    Noise reduction settings:\r",
                                         .logIndent = kMethodIndent,
                                         .makeDefaults = NrDefaults,
                                         .validate = NrValidate};

const BZ_SettRecordDescr kBZ_RlSettDescr{.fields = kRlFields,
                                         .numFields = std::size(kRlFields),
                                         .recordSize = sizeof(BZ_RlSett),
                                         .logHeading = "    Remove Logo settings:\r",
                                         .logIndent = kMethodIndent,
                                         .validate = RlValidate,
                                         .afterReading = RlAfterReading,
                                         .logLead = RlLogMode};

const BZ_SettRecordDescr kBZ_ClSettDescr{.fields = kClFields,
                                         .numFields = std::size(kClFields),
                                         .recordSize = sizeof(BZ_Cl_Sett),
                                         .logHeading = "    Cross-luma settings:\r",
                                         .logIndent = kMethodIndent,
                                         .validate = ClValidate,
                                         .afterReading = ClAfterReading};

const BZ_SettRecordDescr kBZ_VarBrSettDescr{.fields = kVarBrFields,
                                            .numFields = std::size(kVarBrFields),
                                            .recordSize = sizeof(BZ_VarBrSett)};

const BZ_SettRecordDescr kBZ_OuSettDescr{.fields = kOuFields,
                                         .numFields = std::size(kOuFields),
                                         .recordSize = sizeof(BZ_OuSett),
                                         .logHeading = "    Outlier settings:\r",
                                         .logIndent = kMethodIndent};

// ---- Averaging ------------------------------------------------------------------------------------------------

void BZ_MakeDefaultAvSett(const BZ_StatMovInfo *statMovInfo, BZ_Av_Sett *averageSett) {
  BZ_MakeDefaultSettRecord(kBZ_AvSettDescr, statMovInfo, averageSett);
}

Boolean BZ_AvSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_Av_Sett *averageSett) {
  return BZ_SettRecordEqualDefault(kBZ_AvSettDescr, statMovInfo, averageSett);
}

Boolean BZ_AvValidateSett(BZ_Av_Sett *averageSett, Boolean correcting) {
  return BZ_ValidateSettRecord(kBZ_AvSettDescr, nullptr, averageSett, correcting);
}

CFDictionaryRef BZ_CreateAvSettDict(const BZ_Av_Sett *averageSett) {
  return BZ_CreateSettRecordDict(kBZ_AvSettDescr, averageSett);
}

void BZ_GetAvPrefsFromDict(CFDictionaryRef dict, BZ_Av_Sett *averageSett) {
  BZ_GetSettRecordFromDict(kBZ_AvSettDescr, nullptr, dict, averageSett);
}

void BZ_AddAvSettToTextPtr(const BZ_Av_Sett *averageSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kBZ_AvSettDescr, averageSett, textPtr, textSize);
}

// ---- Noise reduction ------------------------------------------------------------------------------------------

void BZ_MakeDefaultNrSett(const BZ_StatMovInfo *statMovInfo, BZ_Rn_Sett *nrSett) {
  BZ_MakeDefaultSettRecord(kBZ_NrSettDescr, statMovInfo, nrSett);
}

Boolean BZ_NrSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_Rn_Sett *nrSett) {
  return BZ_SettRecordEqualDefault(kBZ_NrSettDescr, statMovInfo, nrSett);
}

Boolean BZ_NrValidateSelRect(const BZ_StatMovInfo *statMovInfo, Rect *selRect, Boolean correcting) {
  if (selRect == nullptr) return false;
  const Rect limit = InsetBy16(PictureOfSource0(statMovInfo));
  Rect r = *selRect;
  bool valid = true;

  // An inverted rectangle has no area, so it would pass as lying inside anything.
  if (r.right < r.left || r.bottom < r.top) {
    valid = false;
    if (correcting) {
      if (r.right < r.left) std::swap(r.left, r.right);
      if (r.bottom < r.top) std::swap(r.top, r.bottom);
    }
  }
  if (!GL_IsRectInRect(&r, &limit)) {
    valid = false;
    if (correcting) {
      Rect s{0, 0, 0, 0};
      GL_SectRect(&r, &limit, &s);
      r = s;
    }
  }
  auto roundHoriz = [&] {
    if ((r.left & 7) != 0 || (r.right & 7) != 0) {
      valid = false;
      if (correcting) {
        r.left = SInt16((r.left + 4) & ~7);
        r.right = SInt16((r.right + 4) & ~7);
      }
    }
  };
  roundHoriz();
  const SInt32 w = r.right - r.left;
  if (w == 0) {
    valid = false;
    if (correcting) {
      r.left -= 8;
      r.right += 8;
    }
  } else if (w == 8) {
    valid = false;
    if (correcting) r.left -= 8;
  }
  // In either mode, and not counted as invalid: a rectangle on the limit's edge moves inwards.
  if (r.left < limit.left) {
    r.left += 8;
    r.right += 8;
  } else if (r.right > limit.right) {
    r.left -= 8;
    r.right -= 8;
  }
  roundHoriz();
  const SInt32 h = r.bottom - r.top;
  if (h == 0) {
    valid = false;
    if (correcting) {
      r.top -= 8;
      r.bottom += 8;
    }
  } else if (h == 8) {
    valid = false;
    if (correcting) r.top -= 8;
  }
  if (r.top < limit.top) {
    r.top += 8;
    r.bottom += 8;
  } else if (r.bottom > limit.bottom) {
    r.top -= 8;
    r.bottom -= 8;
  }
  *selRect = r;
  return valid;
}

Boolean BZ_NrValidateSett(const BZ_StatMovInfo *statMovInfo, BZ_Rn_Sett *nrSett, Boolean correcting) {
  return BZ_ValidateSettRecord(kBZ_NrSettDescr, statMovInfo, nrSett, correcting);
}

CFDictionaryRef BZ_CreateNrSettDict(const BZ_Rn_Sett *nrSett) {
  return BZ_CreateSettRecordDict(kBZ_NrSettDescr, nrSett);
}

void BZ_GetNrPrefsFromDict(const BZ_StatMovInfo *statMovInfo, CFDictionaryRef dict, BZ_Rn_Sett *nrSett) {
  BZ_GetSettRecordFromDict(kBZ_NrSettDescr, statMovInfo, dict, nrSett);
}

void BZ_AddNrSettToTextPtr(const BZ_Rn_Sett *nrSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kBZ_NrSettDescr, nrSett, textPtr, textSize);
}

// ---- Logo removal ---------------------------------------------------------------------------------------------

void BZ_MakeDefaultRlSett(BZ_RlSett *rlSett) { BZ_MakeDefaultSettRecord(kBZ_RlSettDescr, nullptr, rlSett); }

Boolean BZ_RlSettEqualDefault(const BZ_RlSett *rlSett) {
  return BZ_SettRecordEqualDefault(kBZ_RlSettDescr, nullptr, rlSett);
}

Boolean BZ_RlValidateLogoRect(SInt32 height, SInt32 width, Boolean correcting, Rect *logoRect) {
  if (logoRect == nullptr) return false;
  if (height == 0) height = 3000;
  if (width == 0) width = 4000;
  SInt32 left = logoRect->left, right = logoRect->right, top = logoRect->top, bottom = logoRect->bottom;
  bool valid = BZ_CheckSettRange(&left, 2, width - 10, correcting);
  valid &= BZ_CheckSettRange(&right, left + 8, width - 2, correcting);
  valid &= BZ_CheckSettRange(&top, 2, height - 10, correcting);
  valid &= BZ_CheckSettRange(&bottom, top + 8, height - 2, correcting);
  if (correcting) *logoRect = Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
  return valid;
}

Boolean BZ_RlValidateSett(BZ_RlSett *rlSett, Boolean correcting) {
  return BZ_ValidateSettRecord(kBZ_RlSettDescr, nullptr, rlSett, correcting);
}

CFDictionaryRef BZ_CreateRlSettDict(const BZ_RlSett *rlSett) {
  return BZ_CreateSettRecordDict(kBZ_RlSettDescr, rlSett);
}

void BZ_GetRlPrefsFromDict(CFDictionaryRef dict, BZ_RlSett *rlSett) {
  BZ_GetSettRecordFromDict(kBZ_RlSettDescr, nullptr, dict, rlSett);
}

void BZ_AddRlSettToTextPtr(const BZ_RlSett *rlSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kBZ_RlSettDescr, rlSett, textPtr, textSize);
}

// ---- Cross-luma -----------------------------------------------------------------------------------------------

void BZ_MakeDefaultClSett(BZ_Cl_Sett *clSett) { BZ_MakeDefaultSettRecord(kBZ_ClSettDescr, nullptr, clSett); }

Boolean BZ_ClSettEqualDefault(const BZ_Cl_Sett *clSett) {
  return BZ_SettRecordEqualDefault(kBZ_ClSettDescr, nullptr, clSett);
}

Boolean BZ_ClValidateSett(BZ_Cl_Sett *clSett, Boolean correcting) {
  return BZ_ValidateSettRecord(kBZ_ClSettDescr, nullptr, clSett, correcting);
}

CFDictionaryRef BZ_CreateClSettDict(const BZ_Cl_Sett *clSett) {
  return BZ_CreateSettRecordDict(kBZ_ClSettDescr, clSett);
}

void BZ_GetClPrefsFromDict(CFDictionaryRef dict, BZ_Cl_Sett *clSett) {
  BZ_GetSettRecordFromDict(kBZ_ClSettDescr, nullptr, dict, clSett);
}

void BZ_AddClSettToTextPtr(const BZ_Cl_Sett *clSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kBZ_ClSettDescr, clSett, textPtr, textSize);
}

// ---- Varying brightness ---------------------------------------------------------------------------------------

CFDictionaryRef BZ_CreateVarBrSettDict(const BZ_VarBrSett *varBrSett) {
  return BZ_CreateSettRecordDict(kBZ_VarBrSettDescr, varBrSett);
}

void BZ_GetVarBrPrefsFromDict(CFDictionaryRef dict, BZ_VarBrSett *varBrSett) {
  BZ_GetSettRecordFromDict(kBZ_VarBrSettDescr, nullptr, dict, varBrSett);
}

// ---- Outliers -------------------------------------------------------------------------------------------------

void BZ_MakeDefaultOuSett(BZ_OuSett *ouSett) { BZ_MakeDefaultSettRecord(kBZ_OuSettDescr, nullptr, ouSett); }

Boolean BZ_EqualOuSett(const BZ_OuSett *ouSett1, const BZ_OuSett *ouSett2) {
  return BZ_EqualSettRecords(kBZ_OuSettDescr, ouSett1, ouSett2);
}

Boolean BZ_OuSettEqualDefault(const BZ_OuSett *ouSett) {
  return BZ_SettRecordEqualDefault(kBZ_OuSettDescr, nullptr, ouSett);
}

Boolean BZ_OuValidateSett(BZ_OuSett *ouSett, Boolean correcting) {
  return BZ_ValidateSettRecord(kBZ_OuSettDescr, nullptr, ouSett, correcting);
}

CFDictionaryRef BZ_CreateOuSettDict(const BZ_OuSett *ouSett) {
  return BZ_CreateSettRecordDict(kBZ_OuSettDescr, ouSett);
}

void BZ_GetOuPrefsFromDict(CFDictionaryRef dict, BZ_OuSett *ouSett) {
  BZ_GetSettRecordFromDict(kBZ_OuSettDescr, nullptr, dict, ouSett);
}

void BZ_AddOuSettToTextPtr(const BZ_OuSett *ouSett, Ptr textPtr, SInt32 *textSize) {
  BZ_AddSettRecordToTextPtr(kBZ_OuSettDescr, ouSett, textPtr, textSize);
}
