// The settings of the cleaning methods: one record per method inside BZ_CleaninSett, each with its defaults,
// its equality with the defaults, its validation (with or without correcting), its dictionary inside
// "Cleaning Prefs" and its text in the log.
//
// The dictionaries are a stored format: keys and number types must not change. Readers are defensive, since a
// preferences file may be old, foreign or damaged: a missing key, a value of the wrong type, a number outside
// the field's range or a non-finite real never reaches the record; the field takes its default instead (or
// keeps its value where that is the rule for the key).
//
// Validators return true when every field is valid; with correcting they set each invalid field to the nearer
// bound of its range (NaN, which has no nearer bound, becomes the default). Every check runs even after a
// failure. Doubles and floats of settings count as equal within 0.0001.
//
// Records are plain values; the functions keep no state. The settings are changed on the main thread between
// runs and read by the stages during a run.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"

struct BZ_StatMovInfo;  // engine/runtime/project_types.h; an array, source 0 first, then source 1

// Averaging of two captures.
struct BZ_Av_Sett {
  Boolean hasWhiteLinePiece;  // movie 2 has a white line piece in its bottom line
  double shift;               // horizontal shift of movie 2 in pixels, -8 .. 8
  double weight;              // weight of movie 1, 0 .. 1
  Boolean automatic;          // find shift and weight automatically
  Boolean apply;
};

// Noise reduction.
struct BZ_Rn_Sett {
  Boolean temporal;    // must be false
  Boolean horizontal;  // horizontal or vertical must be set
  Boolean vertical;
  float noiseLevel[3];  // Y, Cb, Cr; 0 .. 40
  Boolean automatic;    // measure the noise spectrum automatically
  SInt32 startFrame;    // first frame of the measurement, from 1
  SInt32 endFrame;      // last frame of the measurement
  Boolean useSelRect;   // measure only inside selRect
  Rect selRect;         // measuring rectangle in picture coordinates
  Boolean apply;
};

// Logo removal modes.
typedef SInt32 BZ_RlMode;
enum : BZ_RlMode {
  kBZ_LogoModeDiminish = 1,
  kBZ_LogoModeInterp = 2,
  kBZ_LogoModeUseMask = 3,
};

// Logo removal.
struct BZ_RlSett {
  BZ_RlMode mode;
  Rect logoRect;
  Boolean transparent;
  SInt32 numBackGrFrames;  // frames examined to find the logo, 10 .. 1000
  Boolean findMask;
  Boolean fade;            // fade the removal in and out
  SInt32 timeBeforeFade;   // seconds, 0 .. 60
  Boolean allWhite;
  double transparency;     // 0 .. 1
  double minBackGrUnif;    // minimum background uniformity
  SInt32 maskAnchor;       // 0 = top left, .. 3
  Boolean apply;
};

// Cross-luma removal.
struct BZ_Cl_Sett {
  SInt32 constChromaTestLen;  // 4 .. 20
  SInt32 minConstChromaLen;   // constChromaTestLen + 2 .. 22
  SInt32 maxChromaStddev;     // 0 .. 40
  SInt32 extent;              // 0 .. 60
  SInt32 minStddev;           // 0 .. 40
  SInt32 maxStddev;           // 5 .. 100 and above minStddev
  double percentage;          // 0 .. 1
  Boolean apply;
};

// Varying brightness: only whether it applies.
struct BZ_VarBrSett {
  Boolean apply;
};

// Outlier removal; 20 bytes as stored in an outlier edit list file.
struct BZ_OuSett {
  SInt32 numConstPix;     // 1 .. 3 (the outlier stage's window arrays hold 4 x 3 + 1 frames)
  SInt32 minDiff;         // outlier distance, 0 .. 100
  SInt32 maxAvPixelDiff;  // scene change threshold, 10 .. 100
  float scratchWidth;     // pixels, 1 .. 10
  Boolean apply;
};
static_assert(sizeof(BZ_OuSett) == 20, "stored in outlier edit list files");

// One record per method; a method runs when its apply is set and it is valid for the sources.
struct BZ_CleaninSett {
  BZ_Av_Sett average;
  BZ_Rn_Sett noiseRed;
  BZ_RlSett removeLogo;
  BZ_Cl_Sett crossLuma;
  BZ_VarBrSett varBr;
  BZ_OuSett ou;
};

enum : SInt32 {
  kBZ_OuMinNumConstPix = 1,
  kBZ_OuMaxNumConstPix = 3,
};

// The tolerance within which settings reals count as equal.
constexpr double kBZ_SettEqualTolerance = 0.0001;

// Each record's table of fields and hooks (engine/runtime/settings_fields.h), which the functions below walk;
// a new method's record is a new table, added to the project's list of methods (project_settings.cpp).
struct BZ_SettRecordDescr;
extern const BZ_SettRecordDescr kBZ_AvSettDescr;
extern const BZ_SettRecordDescr kBZ_NrSettDescr;
extern const BZ_SettRecordDescr kBZ_RlSettDescr;
extern const BZ_SettRecordDescr kBZ_ClSettDescr;
extern const BZ_SettRecordDescr kBZ_VarBrSettDescr;
extern const BZ_SettRecordDescr kBZ_OuSettDescr;

// ---- Averaging ----------------------------------------------------------------------------------------------
// Every field but apply gets its default; apply becomes true when a second source movie is known.
void BZ_MakeDefaultAvSett(const BZ_StatMovInfo *statMovInfo, BZ_Av_Sett *averageSett);
// Compares every defaulted field, apply included.
Boolean BZ_AvSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_Av_Sett *averageSett);
Boolean BZ_AvValidateSett(BZ_Av_Sett *averageSett, Boolean correcting);
// Owned dictionary (CFRelease).
CFDictionaryRef BZ_CreateAvSettDict(const BZ_Av_Sett *averageSett);
void BZ_GetAvPrefsFromDict(CFDictionaryRef dict, BZ_Av_Sett *averageSett);
void BZ_AddAvSettToTextPtr(const BZ_Av_Sett *averageSett, Ptr textPtr, SInt32 *textSize);

// ---- Noise reduction ------------------------------------------------------------------------------------------
// Levels from the measured equivalent 2-D noise levels when above 0.1, else 5.0; frames and rectangle from
// source 0 (1000 frames and 720 x 480 without one). apply keeps its value.
void BZ_MakeDefaultNrSett(const BZ_StatMovInfo *statMovInfo, BZ_Rn_Sett *nrSett);
// Compares every defaulted field but selRect; apply is not compared.
Boolean BZ_NrSettEqualDefault(const BZ_StatMovInfo *statMovInfo, const BZ_Rn_Sett *nrSett);
Boolean BZ_NrValidateSett(const BZ_StatMovInfo *statMovInfo, BZ_Rn_Sett *nrSett, Boolean correcting);
// The rectangle must lie inside the picture of source 0 (720 x 480 without one) inset by 16, with left and
// right on multiples of 8, at least 16 wide and high. A rectangle touching the limit is moved 8 inwards in
// either mode; an inverted rectangle is invalid (corrected by swapping its edges).
Boolean BZ_NrValidateSelRect(const BZ_StatMovInfo *statMovInfo, Rect *selRect, Boolean correcting);
CFDictionaryRef BZ_CreateNrSettDict(const BZ_Rn_Sett *nrSett);
void BZ_GetNrPrefsFromDict(const BZ_StatMovInfo *statMovInfo, CFDictionaryRef dict, BZ_Rn_Sett *nrSett);
void BZ_AddNrSettToTextPtr(const BZ_Rn_Sett *nrSett, Ptr textPtr, SInt32 *textSize);

// ---- Logo removal ---------------------------------------------------------------------------------------------
void BZ_MakeDefaultRlSett(BZ_RlSett *rlSett);
Boolean BZ_RlSettEqualDefault(const BZ_RlSett *rlSett);
Boolean BZ_RlValidateSett(BZ_RlSett *rlSett, Boolean correcting);
// Height and width 0 stand for 3000 and 4000.
Boolean BZ_RlValidateLogoRect(SInt32 height, SInt32 width, Boolean correcting, Rect *logoRect);
CFDictionaryRef BZ_CreateRlSettDict(const BZ_RlSett *rlSett);
void BZ_GetRlPrefsFromDict(CFDictionaryRef dict, BZ_RlSett *rlSett);
void BZ_AddRlSettToTextPtr(const BZ_RlSett *rlSett, Ptr textPtr, SInt32 *textSize);

// ---- Cross-luma -----------------------------------------------------------------------------------------------
void BZ_MakeDefaultClSett(BZ_Cl_Sett *clSett);
Boolean BZ_ClSettEqualDefault(const BZ_Cl_Sett *clSett);
Boolean BZ_ClValidateSett(BZ_Cl_Sett *clSett, Boolean correcting);
CFDictionaryRef BZ_CreateClSettDict(const BZ_Cl_Sett *clSett);
void BZ_GetClPrefsFromDict(CFDictionaryRef dict, BZ_Cl_Sett *clSett);
void BZ_AddClSettToTextPtr(const BZ_Cl_Sett *clSett, Ptr textPtr, SInt32 *textSize);

// ---- Varying brightness ---------------------------------------------------------------------------------------
CFDictionaryRef BZ_CreateVarBrSettDict(const BZ_VarBrSett *varBrSett);
void BZ_GetVarBrPrefsFromDict(CFDictionaryRef dict, BZ_VarBrSett *varBrSett);

// ---- Outliers -------------------------------------------------------------------------------------------------
void BZ_MakeDefaultOuSett(BZ_OuSett *ouSett);
Boolean BZ_OuSettEqualDefault(const BZ_OuSett *ouSett);
// numConstPix, minDiff and maxAvPixelDiff equal, scratch widths within 0.0001; apply is not compared.
Boolean BZ_EqualOuSett(const BZ_OuSett *ouSett1, const BZ_OuSett *ouSett2);
Boolean BZ_OuValidateSett(BZ_OuSett *ouSett, Boolean correcting);
CFDictionaryRef BZ_CreateOuSettDict(const BZ_OuSett *ouSett);
// A missing "Apply" turns outlier removal off.
void BZ_GetOuPrefsFromDict(CFDictionaryRef dict, BZ_OuSett *ouSett);
void BZ_AddOuSettToTextPtr(const BZ_OuSett *ouSett, Ptr textPtr, SInt32 *textSize);
