// Settings transfer between the project dialog and the project.
#include "dialog/settings_transfer.h"

#include "dialog/input_tab.h"
#include "dialog/method_tabs.h"
#include "dialog/method_types.h"
#include "dialog/project_dialog.h"
#include "engine/runtime/project_types.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/memory.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"

#include <cmath>
#include <cstring>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

// One direction of one group's items: Make writes the fields into the items, Get reads them back. The first
// failure stops the rest, so one field list serves both directions.
struct Transfer {
  WindowRef window;
  bool make;
  OSStatus err = noErr;

  bool Go() const { return err == noErr; }
  void Check(SInt32 item, Boolean &field) {
    if (!Go()) return;
    if (make) {
      err = GL_SetDialogItemValueByID(window, Item(item), field ? 1 : 0);
    } else {
      SInt32 value = 0;
      if ((err = GL_GetDialogItemValueByID(window, Item(item), &value)) == noErr) field = value != 0;
    }
  }
  // A control value that stands for field + offset.
  void Value(SInt32 item, SInt32 &field, SInt32 offset = 0) {
    if (!Go()) return;
    if (make) {
      err = GL_SetDialogItemValueByID(window, Item(item), field + offset);
    } else {
      SInt32 value = 0;
      if ((err = GL_GetDialogItemValueByID(window, Item(item), &value)) == noErr) field = value - offset;
    }
  }
  // A radio group whose value `whenSet` means the flag is on, `whenClear` off.
  void Radio(SInt32 item, Boolean &field, SInt32 whenSet, SInt32 whenClear) {
    if (!Go()) return;
    if (make) {
      err = GL_SetDialogItemValueByID(window, Item(item), field ? whenSet : whenClear);
    } else {
      SInt32 value = 0;
      if ((err = GL_GetDialogItemValueByID(window, Item(item), &value)) == noErr) field = value == whenSet;
    }
  }
  void Int(SInt32 item, SInt32 &field) {
    if (!Go()) return;
    err = make ? GL_SetDialogItemTextIntByID(window, Item(item), field)
               : GL_GetDialogItemTextIntByID(window, Item(item), &field);
  }
  void Float(SInt32 item, float &field) {
    if (!Go()) return;
    err = make ? GL_SetDialogItemTextFloatByID(window, Item(item), field)
               : GL_GetDialogItemTextFloat32ByID(window, Item(item), &field);
  }
  // A double text; with `unknownMark` the text "?" (a value not measured yet) reads as -1.0.
  void Double(SInt32 item, double &field, bool unknownMark = false) {
    if (!Go()) return;
    if (make) {
      err = GL_SetDialogItemTextFloatByID(window, Item(item), field);
      return;
    }
    if (unknownMark) {
      CFStringRef text = nullptr;
      if ((err = GL_CopyDialogItemTextByID(window, Item(item), &text)) != noErr) return;
      PL_CFScoped<CFStringRef> held(text);
      if (CFStringCompare(text, CFSTR("?"), 0) == kCFCompareEqualTo) {
        field = -1.0;
        return;
      }
    }
    err = GL_GetDialogItemTextFloat64ByID(window, Item(item), &field);
  }
  void Rectangle(SInt32 firstItem, Rect &field) {
    if (!Go()) return;
    err = make ? GL_SetRectValuesInDialog(window, kBZ_DialogItemSignature, SInt16(firstItem), &field)
               : GL_GetRectValuesFromDialog(window, kBZ_DialogItemSignature, SInt16(firstItem), &field);
  }
  // Little arrows with their text item (item + 1): Make writes both, Get reads the arrows' value.
  void Combo(SInt32 item, SInt32 &field) {
    if (!Go()) return;
    if (make) {
      err = GL_SetDialogItemComboValueByID(window, Item(item), field);
    } else {
      Value(item, field);
    }
  }
  // Little arrows whose text item (item + 1) is what Get reads.
  void ComboByText(SInt32 item, SInt32 &field) {
    if (!Go()) return;
    if (make)
      err = GL_SetDialogItemComboValueByID(window, Item(item), field);
    else
      err = GL_GetDialogItemTextIntByID(window, Item(item + 1), &field);
  }
  // An integer text with its little arrows: Make writes the text, then the value; Get reads the text, then
  // the arrows' value, which wins.
  void TextThenValue(SInt32 textItem, SInt32 arrowsItem, SInt32 &field) {
    Int(textItem, field);
    Value(arrowsItem, field);
  }
};

BZ_ProjDlgState *DlgState() { return gBZ.dlgData != nullptr ? &gBZ.dlgData->state : nullptr; }

// A Make that succeeded clears its group's update bit.
OSStatus Made(OSStatus err, UInt32 updateBit) {
  if (err == noErr)
    if (BZ_ProjDlgState *state = DlgState()) state->neededUpdates &= ~updateBit;
  return err;
}

void TransferInput(Transfer &t, BZ_InputSett &s) {
  t.Check(2026, s.interlaced);
  t.Check(2027, s.topFieldFirst);
  t.Check(2028, s.whiteLinePiece);
  t.Check(2033, s.cropping);
  t.Radio(2035, s.autoDetectBlackBars, 1, 2);
  t.Radio(2036, s.maskBlackBars, 2, 1);
  t.Rectangle(2038, s.cropRect);
}

void TransferOutput(Transfer &t, BZ_OutputSett &s) { t.Check(2073, s.makeNoiseMovie); }

void TransferAv(Transfer &t, BZ_Av_Sett &s) {
  t.Check(2102, s.hasWhiteLinePiece);
  t.Double(2104, s.shift, true);
  t.Double(2105, s.weight, true);
  t.Check(2106, s.automatic);
  t.Check(2110, s.apply);
}

void TransferNr(Transfer &t, BZ_Rn_Sett &s) {
  t.Check(2150, s.temporal);
  t.Check(2151, s.horizontal);
  t.Check(2152, s.vertical);
  for (SInt32 i = 0; i < 3; ++i) t.Float(2153 + i, s.noiseLevel[i]);
  t.Check(2156, s.automatic);
  t.Combo(2159, s.startFrame);
  t.Combo(2162, s.endFrame);
  t.Check(2164, s.useSelRect);
  t.Rectangle(2170, s.selRect);
  t.Check(2174, s.apply);
}

void TransferRl(Transfer &t, BZ_RlSett &s) {
  t.Value(2308, s.mode);
  t.Value(2341, s.maskAnchor, 1);
  t.Check(2318, s.allWhite);
  t.Check(2325, s.findMask);
  t.Rectangle(2300, s.logoRect);
  t.Check(2329, s.fade);
  t.TextThenValue(2333, 2332, s.timeBeforeFade);
  t.Check(2316, s.transparent);
  t.TextThenValue(2328, 2327, s.numBackGrFrames);
  if (t.make && t.Go())
    t.err = GL_SetDialogItemValueByPercByID(t.window, Item(kBZ_LogoSliderItem), (s.minBackGrUnif - 0.6) / 0.4);
  t.Double(2321, s.minBackGrUnif);
  t.Double(2323, s.transparency);
  t.Check(2334, s.apply);
}

void TransferCl(Transfer &t, BZ_Cl_Sett &s) {
  t.Int(2350, s.constChromaTestLen);
  t.Int(2351, s.minConstChromaLen);
  t.Int(2352, s.maxChromaStddev);
  t.Int(2353, s.extent);
  t.Int(2354, s.minStddev);
  t.Int(2355, s.maxStddev);
  t.Double(2356, s.percentage);
  t.Check(2359, s.apply);
}

void TransferOu(Transfer &t, BZ_OuSett &s) {
  t.ComboByText(2502, s.numConstPix);
  t.ComboByText(2505, s.minDiff);
  t.ComboByText(2508, s.maxAvPixelDiff);
  if (t.make && t.Go())
    t.err = GL_SetDialogItemTextFloatPreciseByID(t.window, Item(2511), s.scratchWidth, 1);
  else if (!t.make)
    t.Float(2511, s.scratchWidth);
  t.Check(2514, s.apply);
}

template <typename Sett>
OSStatus Make(WindowRef window, const Sett *sett, void (*transfer)(Transfer &, Sett &), UInt32 updateBit) {
  if (window == nullptr || sett == nullptr) return noErr;
  Transfer t{window, true};
  Sett copy = *sett;  // Make only reads the settings
  transfer(t, copy);
  return Made(t.err, updateBit);
}

template <typename Sett>
OSStatus Get(WindowRef window, Sett *sett, void (*transfer)(Transfer &, Sett &)) {
  if (window == nullptr || sett == nullptr) return noErr;
  Transfer t{window, false};
  transfer(t, *sett);
  return t.err;
}

BZ_ProjSett *Settings() { return gBZ.project != nullptr ? &gBZ.project->info.settings : nullptr; }
BZ_CleaninSett *Cleaning() { return gBZ.project != nullptr ? &gBZ.project->info.settings.cleaning : nullptr; }
const BZ_StatMovInfo *FirstMovie() { return gBZ.project != nullptr ? &gBZ.project->info.statMovInfo[0] : nullptr; }

OSStatus ActivateDefaultsButton(WindowRef window, SInt32 item, bool equalsDefault) {
  return GL_ActivateDialogItemByID(window, Item(item), !equalsDefault);
}

bool SameRect(const Rect &a, const Rect &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// ---- Make ----

OSStatus BZ_ProjDlgMakeInputSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  return s != nullptr ? Make(window, &s->input, TransferInput, kBZ_InputSettUpdate) : OSStatus(noErr);
}

OSStatus BZ_ProjDlgMakeOutputSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  return s != nullptr ? Make(window, &s->output, TransferOutput, kBZ_OutputSettUpdate) : OSStatus(noErr);
}

OSStatus BZ_ProjDlgMakeAvSett(WindowRef window, const BZ_Av_Sett *average) {
  return Make(window, average, TransferAv, kBZ_AverageTypeFlag);
}
OSStatus BZ_ProjDlgMakeNrSett(WindowRef window, const BZ_Rn_Sett *noiseRed) {
  return Make(window, noiseRed, TransferNr, kBZ_NoiseRedTypeFlag);
}
OSStatus BZ_ProjDlgMakeRlSett(WindowRef window, const BZ_RlSett *removeLogo) {
  return Make(window, removeLogo, TransferRl, kBZ_RlTypeFlag);
}
OSStatus BZ_ProjDlgMakeClSett(WindowRef window, const BZ_Cl_Sett *crossLuma) {
  return Make(window, crossLuma, TransferCl, kBZ_CrossLumaTypeFlag);
}
OSStatus BZ_ProjDlgMakeOuSett(WindowRef window, const BZ_OuSett *ouSett) {
  return Make(window, ouSett, TransferOu, kBZ_OutlierTypeFlag);
}

namespace {
OSStatus MakeVarBr(WindowRef window, const BZ_VarBrSett &varBr) {
  return Made(GL_SetDialogItemValueByID(window, Item(2407), varBr.apply ? 1 : 0), kBZ_VarBrTypeFlag);
}
}  // namespace

OSStatus BZ_ProjDlgMakeCleaningSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  OSStatus err = BZ_ProjDlgMakeAvSett(window, &c->average);
  if (err == noErr) err = BZ_ProjDlgMakeNrSett(window, &c->noiseRed);
  if (err == noErr) err = BZ_ProjDlgMakeRlSett(window, &c->removeLogo);
  if (err == noErr) err = BZ_ProjDlgMakeClSett(window, &c->crossLuma);
  if (err == noErr) err = MakeVarBr(window, c->varBr);
  if (err == noErr) err = BZ_ProjDlgMakeOuSett(window, &c->ou);
  return err;
}

// ---- Get ----

OSStatus BZ_ProjDlgGetInputSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  return s != nullptr ? Get(window, &s->input, TransferInput) : OSStatus(noErr);
}
OSStatus BZ_ProjDlgGetOutputSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  return s != nullptr ? Get(window, &s->output, TransferOutput) : OSStatus(noErr);
}
OSStatus BZ_ProjDlgGetAvSett(WindowRef window, BZ_Av_Sett *average) { return Get(window, average, TransferAv); }
OSStatus BZ_ProjDlgGetNrSett(WindowRef window, BZ_Rn_Sett *noiseRed) { return Get(window, noiseRed, TransferNr); }
OSStatus BZ_ProjDlgGetRlSett(WindowRef window, BZ_RlSett *removeLogo) { return Get(window, removeLogo, TransferRl); }
OSStatus BZ_ProjDlgGetClSett(WindowRef window, BZ_Cl_Sett *crossLuma) { return Get(window, crossLuma, TransferCl); }
OSStatus BZ_ProjDlgGetOuSett(WindowRef window, BZ_OuSett *ouSett) { return Get(window, ouSett, TransferOu); }

OSStatus BZ_ProjDlgGetCleaningSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  OSStatus err = BZ_ProjDlgGetAvSett(window, &c->average);
  if (err == noErr) {
    Transfer t{window, false};
    t.Check(2407, c->varBr.apply);
    err = t.err;
  }
  if (err == noErr) err = BZ_ProjDlgGetNrSett(window, &c->noiseRed);
  if (err == noErr) err = BZ_ProjDlgGetRlSett(window, &c->removeLogo);
  if (err == noErr) err = BZ_ProjDlgGetClSett(window, &c->crossLuma);
  if (err == noErr) err = BZ_ProjDlgGetOuSett(window, &c->ou);
  return err;
}

OSStatus BZ_ProjDlgGetSett(WindowRef window) {
  OSStatus err = BZ_ProjDlgGetInputSett(window);
  if (err == noErr) err = BZ_ProjDlgGetOutputSett(window);
  if (err == noErr) err = BZ_ProjDlgGetCleaningSett(window);
  return err;
}

OSStatus BZ_ProjDlgGetProjSett(WindowRef window) {
  OSStatus err = BZ_ProjDlgGetInputSett(window);
  if (err == noErr) err = BZ_ProjDlgGetCleaningSett(window);
  if (err == noErr) err = BZ_ProjDlgGetOutputSett(window);
  return err;
}

OSStatus BZ_ProjDlgSaveProjSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  if (s == nullptr) return noErr;
  const OSStatus err = window != nullptr ? BZ_ProjDlgGetProjSett(window) : OSStatus(noErr);
  BZ_SaveProjSett(s);
  return err;
}

// ---- Defaults ----

OSStatus BZ_ProjDlgMakeDefaultInputSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  if (window == nullptr || s == nullptr) return noErr;
  const BZ_InputSett before = s->input;
  BZ_MakeDefaultInputSett(FirstMovie(), &s->input);
  OSStatus err = BZ_ProjDlgMakeInputSett(window);
  const BZ_InputSett &now = s->input;
  if (err == noErr && now.interlaced != before.interlaced) err = BZ_HandleInputHit(window, 2026);
  if (err == noErr && now.autoDetectBlackBars != before.autoDetectBlackBars) err = BZ_HandleInputHit(window, 2035);
  if (err == noErr && (now.cropping != before.cropping || !SameRect(now.cropRect, before.cropRect)))
    err = BZ_HandleInputHit(window, 2033);
  return err;
}

OSStatus BZ_ProjDlgMakeDefaultOutputSett(WindowRef window) {
  BZ_ProjSett *s = Settings();
  if (window == nullptr || s == nullptr) return noErr;
  const CodecType before = s->output.cType;
  // The exporter's settings are a handle the record owns: the defaults do not drop it unseen.
  const Handle exportSett = s->output.videoExportSett;
  BZ_MakeDefaultOutputSett(&s->output);
  if (s->output.videoExportSett == nullptr) s->output.videoExportSett = exportSett;
  OSStatus err = BZ_ProjDlgMakeOutputSett(window);
  if (err == noErr && s->output.cType != before) err = BZ_HandleNoiseRedHit(window, 2078);
  return err;
}

OSStatus BZ_ProjDlgMakeDefaultAvSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  const Boolean automatic = c->average.automatic;
  BZ_MakeDefaultAvSett(FirstMovie(), &c->average);
  OSStatus err = BZ_ProjDlgMakeAvSett(window, &c->average);
  if (err == noErr && c->average.automatic != automatic) err = BZ_HandleNoiseRedHit(window, 2106);
  return err;
}

OSStatus BZ_ProjDlgMakeDefaultNrSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  const BZ_Rn_Sett before = c->noiseRed;
  BZ_MakeDefaultNrSett(FirstMovie(), &c->noiseRed);
  const BZ_Rn_Sett &now = c->noiseRed;
  OSStatus err = BZ_ProjDlgMakeNrSett(window, &now);
  const struct {
    bool changed;
    SInt32 item;
  } replays[] = {
      {now.automatic != before.automatic || now.horizontal != before.horizontal || now.vertical != before.vertical,
       2151},
      {now.startFrame != before.startFrame, 2159},
      {now.endFrame != before.endFrame, 2162},
      {now.useSelRect != before.useSelRect, 2164},
      {!SameRect(now.selRect, before.selRect), 2170},
      {!(std::fabs(now.noiseLevel[0] - before.noiseLevel[0]) <= 0.1f), 2153},
  };
  for (const auto &replay : replays)
    if (err == noErr && replay.changed) err = BZ_HandleNoiseRedHit(window, replay.item);
  return err;
}

OSStatus BZ_ProjDlgMakeDefaultRlSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  const BZ_RlSett before = c->removeLogo;
  BZ_MakeDefaultRlSett(&c->removeLogo);
  const BZ_RlSett &now = c->removeLogo;
  OSStatus err = BZ_ProjDlgMakeRlSett(window, &now);
  const struct {
    bool changed;
    SInt32 item;
  } replays[] = {{now.mode != before.mode, 2308},
                 {now.findMask != before.findMask, 2325},
                 {now.transparent != before.transparent, 2316},
                 {now.maskAnchor != before.maskAnchor, 2341}};
  for (const auto &replay : replays)
    if (err == noErr && replay.changed) err = BZ_HandleRlHit(window, replay.item);
  return err;
}

OSStatus BZ_ProjDlgMakeDefaultClSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  BZ_MakeDefaultClSett(&c->crossLuma);
  return BZ_ProjDlgMakeClSett(window, &c->crossLuma);
}

OSStatus BZ_ProjDlgMakeDefaultOuSett(WindowRef window) {
  BZ_CleaninSett *c = Cleaning();
  if (window == nullptr || c == nullptr) return noErr;
  BZ_MakeDefaultOuSett(&c->ou);
  return BZ_ProjDlgMakeOuSett(window, &c->ou);
}

// ---- Redraw and loading ----

OSStatus BZ_ProjDlgUpdateSettingsInDlg(WindowRef window) {
  BZ_ProjDlgState *state = DlgState();
  BZ_ProjSett *s = Settings();
  if (window == nullptr || state == nullptr || s == nullptr) return noErr;
  const BZ_StatMovInfo *movie = FirstMovie();
  BZ_CleaninSett &c = s->cleaning;
  const UInt32 marked = state->neededUpdates;
  OSStatus err = noErr;
  auto group = [&](UInt32 bit, auto make, SInt32 defaultsButton, auto equalsDefault) {
    if (err != noErr || !(marked & bit)) return;
    if ((err = make()) == noErr) err = ActivateDefaultsButton(window, defaultsButton, equalsDefault());
  };
  group(kBZ_InputSettUpdate, [&] { return BZ_ProjDlgMakeInputSett(window); }, 2030,
        [&] { return BZ_InputSettEqualDefault(movie, &s->input); });
  group(kBZ_OutputSettUpdate, [&] { return BZ_ProjDlgMakeOutputSett(window); }, 2088,
        [&] { return BZ_OutputSettEqualDefault(&s->output); });
  group(kBZ_AverageTypeFlag, [&] { return BZ_ProjDlgMakeAvSett(window, &c.average); }, 2111,
        [&] { return BZ_AvSettEqualDefault(movie, &c.average); });
  group(kBZ_NoiseRedTypeFlag, [&] { return BZ_ProjDlgMakeNrSett(window, &c.noiseRed); }, 2175,
        [&] { return BZ_NrSettEqualDefault(movie, &c.noiseRed); });
  group(kBZ_RlTypeFlag, [&] { return BZ_ProjDlgMakeRlSett(window, &c.removeLogo); }, 2335,
        [&] { return BZ_RlSettEqualDefault(&c.removeLogo); });
  group(kBZ_CrossLumaTypeFlag, [&] { return BZ_ProjDlgMakeClSett(window, &c.crossLuma); }, 2360,
        [&] { return BZ_ClSettEqualDefault(&c.crossLuma); });
  if (err == noErr && (marked & kBZ_VarBrTypeFlag)) err = MakeVarBr(window, c.varBr);
  group(kBZ_OutlierTypeFlag, [&] { return BZ_ProjDlgMakeOuSett(window, &c.ou); }, 2516,
        [&] { return BZ_OuSettEqualDefault(&c.ou); });
  return err;
}

OSStatus BZ_ProjDlgInitSettingsInDlg(WindowRef window) {
  BZ_ProjDlgState *state = DlgState();
  BZ_ProjSett *s = Settings();
  if (window == nullptr || state == nullptr || s == nullptr) return noErr;
  const BZ_StatMovInfo *movie = FirstMovie();
  // The exporter's settings handle is the record's: the stored settings bring their own.
  if (s->output.videoExportSett != nullptr) {
    DisposeHandle(s->output.videoExportSett);
    s->output.videoExportSett = nullptr;
  }
  BZ_GetProjSett(movie, s);
  state->neededUpdates = kBZ_InputSettUpdate | kBZ_AverageTypeFlag | kBZ_NoiseRedTypeFlag | kBZ_RlTypeFlag |
                         kBZ_CrossLumaTypeFlag | kBZ_VarBrTypeFlag | kBZ_OutlierTypeFlag | kBZ_OutputSettUpdate;
  if (!BZ_ValidateCleaningSett(movie, &s->cleaning, true)) {
    PL_CFScoped<CFStringRef> message(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("BZ invalid setting"),
                                                                 CFSTR("BZ invalid setting"), nullptr));
    // The corrected settings are shown whatever the alert answers.
    DI_StandardAlertOneButton(kAlertCautionAlert, nullptr, message.get(), nullptr, 10);
  }
  return BZ_ProjDlgUpdateSettingsInDlg(window);
}
