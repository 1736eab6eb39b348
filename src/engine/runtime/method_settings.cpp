// Settings of the cleaning methods: defaults, equality, validation, dictionaries and log text.
#include "engine/runtime/method_settings.h"

#include "engine/runtime/project_types.h"
#include "general/cf_encodings.h"
#include "general/geometry.h"
#include "general/strings_text.h"
#include "platform/core/cf_array.h"
#include "platform/core/cf_dictionary.h"

#include <cmath>
#include <cstdint>
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

// ---- Checks: each answers whether the value was valid and, with correcting, repairs it ----

bool CheckRange(SInt32 *value, SInt32 lo, SInt32 hi, Boolean correcting) {
  if (*value < lo) {
    if (correcting) *value = lo;
    return false;
  }
  if (*value > hi) {
    if (correcting) *value = hi;
    return false;
  }
  return true;
}

// A NaN has no nearer bound: it becomes the default.
template <class T>
bool CheckRealRange(T *value, T lo, T hi, T def, Boolean correcting) {
  if (std::isnan(*value)) {
    if (correcting) *value = def;
    return false;
  }
  if (*value < lo) {
    if (correcting) *value = lo;
    return false;
  }
  if (*value > hi) {
    if (correcting) *value = hi;
    return false;
  }
  return true;
}

bool RealsEqual(double a, double b) { return std::fabs(a - b) <= kBZ_SettEqualTolerance; }

bool RectsEqual(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// ---- Dictionary access ----

void AddRect(CFMutableDictionaryRef dict, CFStringRef key, const Rect *rect) {
  CFArrayRef array = CF_CopyRectToCFArray(rect);
  if (array == nullptr) return;
  CFDictionarySetValue(dict, key, array);
  CFRelease(array);
}

// The value when present, of the right type and within lo..hi.
bool ReadSInt32(CFDictionaryRef dict, CFStringRef key, SInt32 lo, SInt32 hi, SInt32 *out) {
  SInt32 v = 0;
  if (!CF_GetSInt32FromDict(dict, key, &v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ReadDouble(CFDictionaryRef dict, CFStringRef key, double lo, double hi, double *out) {
  Float64 v = 0;
  if (!CF_GetFloat64FromDict(dict, key, &v) || !std::isfinite(v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ReadFloat(CFDictionaryRef dict, CFStringRef key, float lo, float hi, float *out) {
  Float32 v = 0;
  if (!CF_GetFloat32FromDict(dict, key, &v) || !std::isfinite(v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// A rectangle with its edges in order and not negative.
bool ReadRect(CFDictionaryRef dict, CFStringRef key, Rect *out) {
  Rect r{-1, -1, -1, -1};
  if (!CF_GetRectFromDict(dict, key, &r)) return false;
  if (r.top < 0 || r.left < 0 || r.bottom < r.top || r.right < r.left) return false;
  *out = r;
  return true;
}

// Each reader below: the value when it can be read, else `def`.
Boolean BoolOr(CFDictionaryRef dict, CFStringRef key, Boolean def) {
  Boolean v = false;
  return CF_GetBooleanFromDict(dict, key, &v) ? Boolean(v != 0) : def;
}

CFMutableDictionaryRef NewDict() { return CF_DictCreateMut(); }

void AddLine(Ptr textPtr, SInt32 *textSize, const char *line) { GL_AddCStringToTextPtr(textPtr, textSize, line); }

}  // namespace

// ---- Averaging ------------------------------------------------------------------------------------------------

void BZ_MakeDefaultAvSett(const BZ_StatMovInfo *statMovInfo, BZ_Av_Sett *averageSett) {
  if (averageSett == nullptr) return;
  averageSett->hasWhiteLinePiece = false;
  averageSett->shift = 0.0;
  averageSett->weight = 0.5;
  averageSett->automatic = true;
  if (SourceKnown(statMovInfo, 1)) averageSett->apply = true;
}

Boolean BZ_AvSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_Av_Sett *averageSett) {
  if (averageSett == nullptr) return false;
  BZ_Av_Sett d = *averageSett;
  BZ_MakeDefaultAvSett(statMovInfo, &d);
  return (averageSett->hasWhiteLinePiece != 0) == (d.hasWhiteLinePiece != 0) && RealsEqual(averageSett->shift, d.shift) &&
         RealsEqual(averageSett->weight, d.weight) && (averageSett->automatic != 0) == (d.automatic != 0) &&
         (averageSett->apply != 0) == (d.apply != 0);
}

Boolean BZ_AvValidateSett(BZ_Av_Sett *averageSett, Boolean correcting) {
  if (averageSett == nullptr) return false;
  bool valid = CheckRealRange(&averageSett->shift, -8.0, 8.0, 0.0, correcting);
  valid &= CheckRealRange(&averageSett->weight, 0.0, 1.0, 0.5, correcting);
  return valid;
}

CFDictionaryRef BZ_CreateAvSettDict(const BZ_Av_Sett *averageSett) {
  if (averageSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = NewDict();
  CF_AddBooleanToDict(d, CFSTR("Second Movie Has White Line Piece"), averageSett->hasWhiteLinePiece);
  CF_AddFloat64ToDict(d, CFSTR("Shift"), averageSett->shift);
  CF_AddFloat64ToDict(d, CFSTR("Weight"), averageSett->weight);
  CF_AddBooleanToDict(d, CFSTR("Automatic"), averageSett->automatic);
  CF_AddBooleanToDict(d, CFSTR("Apply"), averageSett->apply);
  return d;
}

void BZ_GetAvPrefsFromDict(CFDictionaryRef dict, BZ_Av_Sett *averageSett) {
  if (averageSett == nullptr) return;
  BZ_Av_Sett def = *averageSett;
  BZ_MakeDefaultAvSett(nullptr, &def);
  averageSett->hasWhiteLinePiece = BoolOr(dict, CFSTR("Second Movie Has White Line Piece"), def.hasWhiteLinePiece);
  if (!ReadDouble(dict, CFSTR("Shift"), -8.0, 8.0, &averageSett->shift)) averageSett->shift = def.shift;
  if (!ReadDouble(dict, CFSTR("Weight"), 0.0, 1.0, &averageSett->weight)) averageSett->weight = def.weight;
  averageSett->automatic = BoolOr(dict, CFSTR("Automatic"), def.automatic);
  averageSett->apply = BoolOr(dict, CFSTR("Apply"), averageSett->apply);
}

void BZ_AddAvSettToTextPtr(const BZ_Av_Sett *averageSett, Ptr textPtr, SInt32 *textSize) {
  if (averageSett == nullptr) return;
  AddLine(textPtr, textSize, "    Average settings:\r");
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      movie 2 has white line piece in bottom line"),
                                   averageSett->hasWhiteLinePiece);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      shift movie 2"), float(averageSett->shift), 2);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      weight movie 1"), float(averageSett->weight), 2);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      automatic noise level detection"),
                                   averageSett->automatic);
}

// ---- Noise reduction ------------------------------------------------------------------------------------------

void BZ_MakeDefaultNrSett(const BZ_StatMovInfo *statMovInfo, BZ_Rn_Sett *nrSett) {
  if (nrSett == nullptr) return;
  nrSett->temporal = false;
  nrSett->horizontal = true;
  nrSett->vertical = true;
  const BZ_RnDlgTaskData *rn = gBZ.dlgTaskData.rnDlgTaskData;
  for (int c = 0; c < 3; ++c) {
    float measured = rn != nullptr ? rn->eqNoiseLevel2D[c] : 0.0f;
    nrSett->noiseLevel[c] = measured > 0.1f && std::isfinite(measured) ? measured : 5.0f;
  }
  nrSett->automatic = true;
  nrSett->startFrame = 1;
  nrSett->endFrame = SourceKnown(statMovInfo, 0) ? statMovInfo[0].numFrames : 1000;
  nrSett->useSelRect = false;
  nrSett->selRect = InsetBy16(PictureOfSource0(statMovInfo));
}

Boolean BZ_NrSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_Rn_Sett *nrSett) {
  if (nrSett == nullptr) return false;
  BZ_Rn_Sett d = *nrSett;
  BZ_MakeDefaultNrSett(statMovInfo, &d);
  bool equal = (nrSett->temporal != 0) == (d.temporal != 0) && (nrSett->horizontal != 0) == (d.horizontal != 0) &&
               (nrSett->vertical != 0) == (d.vertical != 0) && (nrSett->automatic != 0) == (d.automatic != 0) &&
               nrSett->startFrame == d.startFrame && nrSett->endFrame == d.endFrame &&
               (nrSett->useSelRect != 0) == (d.useSelRect != 0);
  for (int c = 0; c < 3; ++c) equal = equal && RealsEqual(nrSett->noiseLevel[c], d.noiseLevel[c]);
  return equal;
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
  if (nrSett == nullptr) return false;
  bool valid = true;
  if (nrSett->temporal) {
    valid = false;
    if (correcting) nrSett->temporal = false;
  }
  if (!nrSett->horizontal && !nrSett->vertical) {
    valid = false;
    if (correcting) nrSett->horizontal = nrSett->vertical = true;
  }
  for (float &level : nrSett->noiseLevel) valid &= CheckRealRange(&level, 0.0f, 40.0f, 5.0f, correcting);
  const SInt32 n = NumFramesOfSource0(statMovInfo);
  valid &= CheckRange(&nrSett->startFrame, 1, n, correcting);
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

CFDictionaryRef BZ_CreateNrSettDict(const BZ_Rn_Sett *nrSett) {
  if (nrSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = NewDict();
  CF_AddBooleanToDict(d, CFSTR("Use Temporal"), nrSett->temporal);
  CF_AddBooleanToDict(d, CFSTR("Use Horizontal"), nrSett->horizontal);
  CF_AddBooleanToDict(d, CFSTR("Use Vertical"), nrSett->vertical);
  CF_AddFloat32ToDict(d, CFSTR("Noise Level Y"), nrSett->noiseLevel[0]);
  CF_AddFloat32ToDict(d, CFSTR("Noise Level Cb"), nrSett->noiseLevel[1]);
  CF_AddFloat32ToDict(d, CFSTR("Noise Level Cr"), nrSett->noiseLevel[2]);
  CF_AddBooleanToDict(d, CFSTR("Automatic noise detection"), nrSett->automatic);
  CF_AddSInt32ToDict(d, CFSTR("Start frame"), nrSett->startFrame);
  CF_AddSInt32ToDict(d, CFSTR("End frame"), nrSett->endFrame);
  CF_AddBooleanToDict(d, CFSTR("Use selection rect"), nrSett->useSelRect);
  AddRect(d, CFSTR("Selection rect"), &nrSett->selRect);
  CF_AddBooleanToDict(d, CFSTR("Apply"), nrSett->apply);
  return d;
}

void BZ_GetNrPrefsFromDict(const BZ_StatMovInfo *statMovInfo, CFDictionaryRef dict, BZ_Rn_Sett *nrSett) {
  if (nrSett == nullptr) return;
  BZ_Rn_Sett def = *nrSett;
  BZ_MakeDefaultNrSett(statMovInfo, &def);
  nrSett->temporal = BoolOr(dict, CFSTR("Use Temporal"), def.temporal);
  nrSett->horizontal = BoolOr(dict, CFSTR("Use Horizontal"), def.horizontal);
  nrSett->vertical = BoolOr(dict, CFSTR("Use Vertical"), def.vertical);
  // A missing level keeps the one the record has (a measured one, for instance).
  ReadFloat(dict, CFSTR("Noise Level Y"), 0.0f, 40.0f, &nrSett->noiseLevel[0]);
  ReadFloat(dict, CFSTR("Noise Level Cb"), 0.0f, 40.0f, &nrSett->noiseLevel[1]);
  ReadFloat(dict, CFSTR("Noise Level Cr"), 0.0f, 40.0f, &nrSett->noiseLevel[2]);
  nrSett->automatic = BoolOr(dict, CFSTR("Automatic noise detection"), def.automatic);
  if (!ReadSInt32(dict, CFSTR("Start frame"), 1, INT32_MAX, &nrSett->startFrame)) nrSett->startFrame = def.startFrame;
  if (!ReadSInt32(dict, CFSTR("End frame"), 1, INT32_MAX, &nrSett->endFrame)) nrSett->endFrame = def.endFrame;
  nrSett->useSelRect = BoolOr(dict, CFSTR("Use selection rect"), def.useSelRect);
  if (!ReadRect(dict, CFSTR("Selection rect"), &nrSett->selRect)) nrSett->selRect = def.selRect;
  nrSett->apply = BoolOr(dict, CFSTR("Apply"), nrSett->apply);
}

void BZ_AddNrSettToTextPtr(const BZ_Rn_Sett *nrSett, Ptr textPtr, SInt32 *textSize) {
  if (nrSett == nullptr) return;
  AddLine(textPtr, textSize, "    Noise reduction settings:\r");
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      temporal noise reduction"), nrSett->temporal);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      horizontal noise reduction"), nrSett->horizontal);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      vertical noise reduction"), nrSett->vertical);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      noise level Y"), nrSett->noiseLevel[0], 2);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      noise level Cb"), nrSett->noiseLevel[1], 2);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      noise level Cr"), nrSett->noiseLevel[2], 2);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      automatic noise spectrum detection"),
                                   nrSett->automatic);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      start frame number"), nrSett->startFrame);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      end frame number"), nrSett->endFrame);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      use selection rect"), nrSett->useSelRect);
  GL_AddRectFieldDescrToTextPtr(textPtr, textSize, CFSTR("      selection rect"), &nrSett->selRect);
}

// ---- Logo removal ---------------------------------------------------------------------------------------------

void BZ_MakeDefaultRlSett(BZ_RlSett *rlSett) {
  if (rlSett == nullptr) return;
  rlSett->mode = kBZ_LogoModeDiminish;
  rlSett->logoRect = Rect{40, 40, 100, 100};
  rlSett->transparent = false;
  rlSett->numBackGrFrames = 1000;
  rlSett->findMask = false;
  rlSett->fade = false;
  rlSett->timeBeforeFade = 3;
  rlSett->allWhite = true;
  rlSett->transparency = 0.7;
  rlSett->minBackGrUnif = 0.9;
  rlSett->maskAnchor = 0;
}

Boolean BZ_RlSettEqualDefault(const BZ_RlSett *rlSett) {
  if (rlSett == nullptr) return false;
  BZ_RlSett d = *rlSett;
  BZ_MakeDefaultRlSett(&d);
  return rlSett->mode == d.mode && RectsEqual(rlSett->logoRect, d.logoRect) &&
         (rlSett->transparent != 0) == (d.transparent != 0) && rlSett->numBackGrFrames == d.numBackGrFrames &&
         (rlSett->findMask != 0) == (d.findMask != 0) && (rlSett->fade != 0) == (d.fade != 0) &&
         rlSett->timeBeforeFade == d.timeBeforeFade && (rlSett->allWhite != 0) == (d.allWhite != 0) &&
         RealsEqual(rlSett->transparency, d.transparency) && RealsEqual(rlSett->minBackGrUnif, d.minBackGrUnif) &&
         rlSett->maskAnchor == d.maskAnchor;
}

Boolean BZ_RlValidateLogoRect(SInt32 height, SInt32 width, Boolean correcting, Rect *logoRect) {
  if (logoRect == nullptr) return false;
  if (height == 0) height = 3000;
  if (width == 0) width = 4000;
  SInt32 left = logoRect->left, right = logoRect->right, top = logoRect->top, bottom = logoRect->bottom;
  bool valid = CheckRange(&left, 2, width - 10, correcting);
  valid &= CheckRange(&right, left + 8, width - 2, correcting);
  valid &= CheckRange(&top, 2, height - 10, correcting);
  valid &= CheckRange(&bottom, top + 8, height - 2, correcting);
  if (correcting) *logoRect = Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
  return valid;
}

Boolean BZ_RlValidateSett(BZ_RlSett *rlSett, Boolean correcting) {
  if (rlSett == nullptr) return false;
  bool valid = BZ_RlValidateLogoRect(0, 0, correcting, &rlSett->logoRect) != 0;
  valid &= CheckRange(&rlSett->numBackGrFrames, 10, 1000, correcting);
  valid &= CheckRange(&rlSett->timeBeforeFade, 0, 60, correcting);
  valid &= CheckRealRange(&rlSett->transparency, 0.0, 1.0, 0.7, correcting);
  valid &= CheckRange(&rlSett->maskAnchor, 0, 3, correcting);
  // Unlimited, but it must be a number.
  if (!std::isfinite(rlSett->minBackGrUnif)) {
    valid = false;
    if (correcting) rlSett->minBackGrUnif = 0.9;
  }
  return valid;
}

CFDictionaryRef BZ_CreateRlSettDict(const BZ_RlSett *rlSett) {
  if (rlSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = NewDict();
  CF_AddSInt32ToDict(d, CFSTR("Diminish Logo"), rlSett->mode);
  CF_AddBooleanToDict(d, CFSTR("All White"), rlSett->allWhite);
  CF_AddBooleanToDict(d, CFSTR("Find mask"), rlSett->findMask);
  AddRect(d, CFSTR("Logo bounds"), &rlSett->logoRect);
  CF_AddSInt32ToDict(d, CFSTR("Max num frames to examine"), rlSett->numBackGrFrames);
  CF_AddBooleanToDict(d, CFSTR("Fade"), rlSett->fade);
  CF_AddSInt32ToDict(d, CFSTR("Time Before Fade"), rlSett->timeBeforeFade);
  CF_AddBooleanToDict(d, CFSTR("Logo Transparent"), rlSett->transparent);
  CF_AddFloat64ToDict(d, CFSTR("Min BackGround Uniformity"), rlSett->minBackGrUnif);
  CF_AddBooleanToDict(d, CFSTR("Apply"), rlSett->apply);
  CF_AddSInt32ToDict(d, CFSTR("Mask at top left"), rlSett->maskAnchor);
  CF_AddFloat64ToDict(d, CFSTR("Transparency"), rlSett->transparency);
  return d;
}

void BZ_GetRlPrefsFromDict(CFDictionaryRef dict, BZ_RlSett *rlSett) {
  if (rlSett == nullptr) return;
  BZ_RlSett def = *rlSett;
  BZ_MakeDefaultRlSett(&def);
  if (!ReadSInt32(dict, CFSTR("Diminish Logo"), kBZ_LogoModeDiminish, kBZ_LogoModeUseMask, &rlSett->mode))
    rlSett->mode = def.mode;
  rlSett->allWhite = BoolOr(dict, CFSTR("All White"), def.allWhite);
  rlSett->findMask = BoolOr(dict, CFSTR("Find mask"), def.findMask);
  if (!ReadRect(dict, CFSTR("Logo bounds"), &rlSett->logoRect)) rlSett->logoRect = def.logoRect;
  if (!ReadSInt32(dict, CFSTR("Max num frames to examine"), 10, 1000, &rlSett->numBackGrFrames))
    rlSett->numBackGrFrames = def.numBackGrFrames;
  rlSett->fade = BoolOr(dict, CFSTR("Fade"), def.fade);
  if (!ReadSInt32(dict, CFSTR("Time Before Fade"), 0, 60, &rlSett->timeBeforeFade))
    rlSett->timeBeforeFade = def.timeBeforeFade;
  rlSett->transparent = BoolOr(dict, CFSTR("Logo Transparent"), def.transparent);
  if (!ReadDouble(dict, CFSTR("Min BackGround Uniformity"), -HUGE_VAL, HUGE_VAL, &rlSett->minBackGrUnif))
    rlSett->minBackGrUnif = def.minBackGrUnif;
  rlSett->apply = BoolOr(dict, CFSTR("Apply"), rlSett->apply);
  // Files of older versions hold a Boolean here: true meant the top left corner (anchor 0), false anchor 3.
  Boolean atTopLeft = false;
  if (CF_GetBooleanFromDict(dict, CFSTR("Mask at top left"), &atTopLeft))
    rlSett->maskAnchor = atTopLeft ? 0 : 3;
  else if (!ReadSInt32(dict, CFSTR("Mask at top left"), 0, 3, &rlSett->maskAnchor))
    rlSett->maskAnchor = def.maskAnchor;
  if (!ReadDouble(dict, CFSTR("Transparency"), 0.0, 1.0, &rlSett->transparency))
    rlSett->transparency = def.transparency;
}

void BZ_AddRlSettToTextPtr(const BZ_RlSett *rlSett, Ptr textPtr, SInt32 *textSize) {
  if (rlSett == nullptr) return;
  AddLine(textPtr, textSize, "    Remove Logo settings:\r");
  if (rlSett->mode == kBZ_LogoModeDiminish)
    AddLine(textPtr, textSize, "      mode: diminish\r");
  else if (rlSett->mode == kBZ_LogoModeInterp)
    AddLine(textPtr, textSize, "      mode: interpolate from edge\r");
  else
    AddLine(textPtr, textSize, "      mode: use mask\r");
  GL_AddRectFieldDescrToTextPtr(textPtr, textSize, CFSTR("      logo rect"), &rlSett->logoRect);
  GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      fade"), rlSett->fade);
  if (rlSett->fade)
    GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      time before fade"), rlSett->timeBeforeFade);
  if (rlSett->mode == kBZ_LogoModeUseMask) {
    GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      number of frames for logo detection"),
                                  rlSett->numBackGrFrames);
    GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      all white"), rlSett->allWhite);
    GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      find mask"), rlSett->findMask);
    GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      transparent"), rlSett->transparent);
    if (rlSett->transparent) {
      GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      transparency"), float(rlSett->transparency), 2);
      GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      minimum background uniformity"),
                                     float(rlSett->minBackGrUnif), 2);
    }
    GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, CFSTR("      mask located at top left"),
                                     rlSett->maskAnchor == 0);
  }
}

// ---- Cross-luma -----------------------------------------------------------------------------------------------

void BZ_MakeDefaultClSett(BZ_Cl_Sett *clSett) {
  if (clSett == nullptr) return;
  clSett->constChromaTestLen = 6;
  clSett->minConstChromaLen = 8;
  clSett->maxChromaStddev = 10;
  clSett->extent = 8;
  clSett->minStddev = 5;
  clSett->maxStddev = 25;
  clSett->percentage = 0.5;
}

Boolean BZ_ClSettEqualDefault(const BZ_Cl_Sett *clSett) {
  if (clSett == nullptr) return false;
  BZ_Cl_Sett d = *clSett;
  BZ_MakeDefaultClSett(&d);
  return clSett->constChromaTestLen == d.constChromaTestLen && clSett->minConstChromaLen == d.minConstChromaLen &&
         clSett->maxChromaStddev == d.maxChromaStddev && clSett->extent == d.extent &&
         clSett->minStddev == d.minStddev && clSett->maxStddev == d.maxStddev &&
         RealsEqual(clSett->percentage, d.percentage);
}

Boolean BZ_ClValidateSett(BZ_Cl_Sett *clSett, Boolean correcting) {
  if (clSett == nullptr) return false;
  bool valid = CheckRange(&clSett->constChromaTestLen, 4, 20, correcting);
  valid &= CheckRange(&clSett->minConstChromaLen, clSett->constChromaTestLen + 2, 22, correcting);
  valid &= CheckRange(&clSett->maxChromaStddev, 0, 40, correcting);
  valid &= CheckRange(&clSett->extent, 0, 60, correcting);
  valid &= CheckRange(&clSett->minStddev, 0, 40, correcting);
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
  valid &= CheckRealRange(&clSett->percentage, 0.0, 1.0, 0.5, correcting);
  return valid;
}

CFDictionaryRef BZ_CreateClSettDict(const BZ_Cl_Sett *clSett) {
  if (clSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = NewDict();
  CF_AddSInt32ToDict(d, CFSTR("Constant Chroma Test Length"), clSett->constChromaTestLen);
  CF_AddSInt32ToDict(d, CFSTR("Min Length of Constant Chroma Interval"), clSett->minConstChromaLen);
  CF_AddSInt32ToDict(d, CFSTR("Max Chroma Standard Deviation"), clSett->maxChromaStddev);
  CF_AddSInt32ToDict(d, CFSTR("Cross-luma Extent in Constant Chroma"), clSett->extent);
  CF_AddSInt32ToDict(d, CFSTR("Min Standard Deviation in 3x3 Square"), clSett->minStddev);
  CF_AddSInt32ToDict(d, CFSTR("Max Standard Deviation in 3x3 Square"), clSett->maxStddev);
  CF_AddFloat64ToDict(d, CFSTR("Percentage"), clSett->percentage);
  CF_AddBooleanToDict(d, CFSTR("Apply"), clSett->apply);
  return d;
}

void BZ_GetClPrefsFromDict(CFDictionaryRef dict, BZ_Cl_Sett *clSett) {
  if (clSett == nullptr) return;
  BZ_Cl_Sett def = *clSett;
  BZ_MakeDefaultClSett(&def);
  auto read = [dict](CFStringRef key, SInt32 lo, SInt32 hi, SInt32 *field, SInt32 fallback) {
    if (!ReadSInt32(dict, key, lo, hi, field)) *field = fallback;
  };
  read(CFSTR("Constant Chroma Test Length"), 4, 20, &clSett->constChromaTestLen, def.constChromaTestLen);
  read(CFSTR("Min Length of Constant Chroma Interval"), clSett->constChromaTestLen + 2, 22,
       &clSett->minConstChromaLen, def.minConstChromaLen);
  // The default must still fit a test length read from the file.
  if (clSett->minConstChromaLen < clSett->constChromaTestLen + 2) clSett->minConstChromaLen = clSett->constChromaTestLen + 2;
  read(CFSTR("Max Chroma Standard Deviation"), 0, 40, &clSett->maxChromaStddev, def.maxChromaStddev);
  read(CFSTR("Cross-luma Extent in Constant Chroma"), 0, 60, &clSett->extent, def.extent);
  read(CFSTR("Min Standard Deviation in 3x3 Square"), 0, 40, &clSett->minStddev, def.minStddev);
  read(CFSTR("Max Standard Deviation in 3x3 Square"), 5, 100, &clSett->maxStddev, def.maxStddev);
  if (!ReadDouble(dict, CFSTR("Percentage"), 0.0, 1.0, &clSett->percentage)) clSett->percentage = def.percentage;
  clSett->apply = BoolOr(dict, CFSTR("Apply"), clSett->apply);
}

void BZ_AddClSettToTextPtr(const BZ_Cl_Sett *clSett, Ptr textPtr, SInt32 *textSize) {
  if (clSett == nullptr) return;
  AddLine(textPtr, textSize, "    Cross-luma settings:\r");
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      constant chroma test length"),
                                clSett->constChromaTestLen);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      minimum length of constant chroma line piece"),
                                clSett->minConstChromaLen);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      maximum chroma standard deviation"),
                                clSett->maxChromaStddev);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize,
                                CFSTR("      horizontal extent of cross-luma into constant chroma area"), clSett->extent);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      minimum standard deviation in 3x3 box"),
                                clSett->minStddev);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      maximum standard deviation in 3x3 box"),
                                clSett->maxStddev);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      percentage"), float(clSett->percentage), 2);
}

// ---- Varying brightness ---------------------------------------------------------------------------------------

CFDictionaryRef BZ_CreateVarBrSettDict(const BZ_VarBrSett *varBrSett) {
  if (varBrSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = NewDict();
  CF_AddBooleanToDict(d, CFSTR("Apply"), varBrSett->apply);
  return d;
}

void BZ_GetVarBrPrefsFromDict(CFDictionaryRef dict, BZ_VarBrSett *varBrSett) {
  if (varBrSett == nullptr) return;
  varBrSett->apply = BoolOr(dict, CFSTR("Apply"), varBrSett->apply);
}

// ---- Outliers -------------------------------------------------------------------------------------------------

void BZ_MakeDefaultOuSett(BZ_OuSett *ouSett) {
  if (ouSett == nullptr) return;
  ouSett->numConstPix = 2;
  ouSett->minDiff = 30;
  ouSett->maxAvPixelDiff = 30;
  ouSett->scratchWidth = 2.0f;
}

Boolean BZ_EqualOuSett(const BZ_OuSett *ouSett1, const BZ_OuSett *ouSett2) {
  if (ouSett1 == nullptr || ouSett2 == nullptr) return false;
  return ouSett1->numConstPix == ouSett2->numConstPix && ouSett1->minDiff == ouSett2->minDiff &&
         ouSett1->maxAvPixelDiff == ouSett2->maxAvPixelDiff &&
         RealsEqual(ouSett1->scratchWidth, ouSett2->scratchWidth);
}

Boolean BZ_OuSettEqualDefault(const BZ_OuSett *ouSett) {
  if (ouSett == nullptr) return false;
  BZ_OuSett d = *ouSett;
  BZ_MakeDefaultOuSett(&d);
  return BZ_EqualOuSett(ouSett, &d);
}

Boolean BZ_OuValidateSett(BZ_OuSett *ouSett, Boolean correcting) {
  if (ouSett == nullptr) return false;
  bool valid = CheckRange(&ouSett->numConstPix, kBZ_OuMinNumConstPix, kBZ_OuMaxNumConstPix, correcting);
  valid &= CheckRange(&ouSett->minDiff, 0, 100, correcting);
  valid &= CheckRange(&ouSett->maxAvPixelDiff, 10, 100, correcting);
  valid &= CheckRealRange(&ouSett->scratchWidth, 1.0f, 10.0f, 2.0f, correcting);
  return valid;
}

CFDictionaryRef BZ_CreateOuSettDict(const BZ_OuSett *ouSett) {
  if (ouSett == nullptr) return nullptr;
  CFMutableDictionaryRef d = NewDict();
  CF_AddSInt32ToDict(d, CFSTR("Number of constant pixels"), ouSett->numConstPix);
  CF_AddFloat32ToDict(d, CFSTR("Scratch width"), ouSett->scratchWidth);
  CF_AddSInt32ToDict(d, CFSTR("Outlier distance"), ouSett->minDiff);
  CF_AddSInt32ToDict(d, CFSTR("Scene change threshold"), ouSett->maxAvPixelDiff);
  CF_AddBooleanToDict(d, CFSTR("Apply"), ouSett->apply);
  return d;
}

void BZ_GetOuPrefsFromDict(CFDictionaryRef dict, BZ_OuSett *ouSett) {
  if (ouSett == nullptr) return;
  BZ_OuSett def = *ouSett;
  BZ_MakeDefaultOuSett(&def);
  if (!ReadSInt32(dict, CFSTR("Number of constant pixels"), kBZ_OuMinNumConstPix, kBZ_OuMaxNumConstPix,
                  &ouSett->numConstPix))
    ouSett->numConstPix = def.numConstPix;
  if (!ReadFloat(dict, CFSTR("Scratch width"), 1.0f, 10.0f, &ouSett->scratchWidth))
    ouSett->scratchWidth = def.scratchWidth;
  if (!ReadSInt32(dict, CFSTR("Outlier distance"), 0, 100, &ouSett->minDiff)) ouSett->minDiff = def.minDiff;
  if (!ReadSInt32(dict, CFSTR("Scene change threshold"), 10, 100, &ouSett->maxAvPixelDiff))
    ouSett->maxAvPixelDiff = def.maxAvPixelDiff;
  ouSett->apply = BoolOr(dict, CFSTR("Apply"), false);
}

void BZ_AddOuSettToTextPtr(const BZ_OuSett *ouSett, Ptr textPtr, SInt32 *textSize) {
  if (ouSett == nullptr) return;
  AddLine(textPtr, textSize, "    Outlier settings:\r");
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      number of constant pixels"), ouSett->numConstPix);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      scene change threshold"), ouSett->maxAvPixelDiff);
  GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, CFSTR("      scratch width"), ouSett->scratchWidth, 1);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("      outlier distance"), ouSett->minDiff);
}
