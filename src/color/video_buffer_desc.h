// Video buffer descriptions: uncompressed Y'CbCr frames of the standard television formats, described the
// way image descriptions describe them. The Y'CbCr types with their packing, the standard sources (525 and
// 625 lines analog and digital, 4:3 and wide; HD 1035, 1080 and 720 lines) with their production and clean
// apertures, pixel aspect ratios, field layouts, colour descriptions and timing; image descriptions built
// with their four extensions ('colr' of kind 'nclc', 'pasp', 'clap', 'fiel') and read back; picture lines
// mapped to the signal's line numbers; production buffers trimmed to their clean aperture, split into their
// two fields and joined again.
//
// Extension data is big-endian in every multi-byte field. Field details use the values that image
// descriptions and other programs understand: 1 (fields interleaved, top line in the earlier field), 6
// (interleaved, top line in the later field), 9 and 14 (the two fields stored one after the other, the top
// line early or late). Bit 2 of a detail says "top line in the later field", bit 3 "fields stored one after
// the other".
//
// Failures are the colour library's numbers 14001 to 14017 (kCO_VB... below; their keys are in the general
// library's error table) or the toolbox's. Stateless; any thread. Handles and buffers made here belong to
// the caller.
#pragma once

#include "color/color_values.h"
#include "general/geometry.h"
#include "general/integer_ratios.h"
#include "platform/core/mac_types.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/movie_types.h"

enum CO_StandardVideoSource {
  kCO_525_Analog = 0,
  kCO_625_Analog = 1,
  kCO_525_Digital = 2,
  kCO_625_Digital = 3,
  kCO_525_Analog_Wide = 4,
  kCO_625_Analog_Wide = 5,
  kCO_525_Digital_Wide = 6,
  kCO_625_Digital_Wide = 7,
  kCO_525_Digital_WideSquare = 8,
  kCO_HD_1920x1035_30 = 9,
  kCO_HD_1920x1080_30 = 10,
  kCO_HD_1920x1080_60 = 11,
  kCO_HD_1280x720_60 = 12,
};

enum CO_ConformanceLevel { kCO_NoConformanceLevel = 0, kCO_ProductionConformanceLevel = 1, kCO_CleanConformanceLevel = 2 };

enum CO_FieldDominance { kCO_Field1Dominant = 0, kCO_Field2Dominant = 1 };

// What each failure of this module means.
enum : OSStatus {
  kCO_VBUnknownYCbCrTypeErr = 14001,
  kCO_VBBufferSizeNotLinesErr = 14002,       // the buffer size is not a multiple of the height
  kCO_VBWidthNotAlignedErr = 14003,          // width (or clean width) not a whole number of packing groups
  kCO_VBLineSizeNotAlignedErr = 14004,       // a line's bytes are not a whole number of packing groups
  kCO_VBCleanCenterWithinPixelErr = 14005,   // the clean centre falls inside a pixel (or the clean width is no integer)
  kCO_VBCleanCenterWithinLineErr = 14006,    // the clean centre falls inside a line
  kCO_VBCenterNotHalfPackAlignedErr = 14007, // the centre column is not on a half packing group
  kCO_VBCenterPackAlignmentErr = 14008,      // the centre column's packing alignment differs from the standard's
  kCO_VBProductionWidthErr = 14009,
  kCO_VBProductionHeightErr = 14010,
  kCO_VBPixelAspectRatioErr = 14011,
  kCO_VBCleanApertureErr = 14012,
  kCO_VBFieldLayoutErr = 14013,              // interlaced where the standard is progressive, or the reverse
  kCO_VBFieldOrderErr = 14014,
  kCO_VBFrameRateErr = 14015,
  kCO_VBFrameDurationErr = 14016,            // also: two field times not half a frame apart
  kCO_VBTimeScaleErr = 14017,
};

// The name CO_GetYCbCrTypeInfo gives every type it does not know; callers test for it.
extern const char kCO_UnknownYCbCrTypeName[];

struct CO_YCbCrTypeInfo {
  CodecType cType;
  GL_LongRatio bytesPerPixel;
  int horizAlignPixels;  // pixels per packing group
  char name[256];
  CO_YCbCrRangeType range;
};

// Each value a fraction N/D; the offsets are those of the clean aperture's centre from the picture centre.
struct CO_CleanApertureData {
  SInt32 widthN, widthD;
  SInt32 heightN, heightD;
  SInt32 horizOffN, horizOffD;
  SInt32 vertOffN, vertOffD;
};

struct CO_PixelAspectRatio {
  SInt32 hExtent;
  SInt32 vExtent;
};

struct CO_FieldData {
  UInt8 fields;
  UInt8 detail;
};

struct CO_ColorDescription {
  SInt16 primaries;
  SInt16 transferFunction;
  SInt16 matrix;
};

// The two signal lines between which the clean aperture's centre lies.
struct CO_CleanApertureCenterPositionInVideoSignal {
  int videoLineJustAbove;
  int videoLineJustBelow;
};

// ---- Types and standard sources ----

// Fills info from the type table; cType is always stored. An unknown type leaves the other fields as they
// were except the name, which becomes kCO_UnknownYCbCrTypeName.
void CO_GetYCbCrTypeInfo(CodecType cType, CO_YCbCrTypeInfo *info);
// The source's colour description, field data (two-field sources with the detail for fieldDominance),
// pixel aspect ratio and clean aperture; each pointer may be NULL. Unknown sources give 2, 2, 2; no fields;
// 0:1; 0/100 x 0/100.
void CO_StandardVideoSourceToImageDescData(CO_StandardVideoSource source, CO_FieldDominance fieldDominance,
                                           CO_ColorDescription *colorDescription, CO_FieldData *fielData,
                                           CO_PixelAspectRatio *pixelAspectRatio,
                                           CO_CleanApertureData *cleanApertureData);
// Production height and width, signal lines, frame rate, time scale and frame duration; each may be NULL.
void CO_StandardVideoSourceToAddInfo(CO_StandardVideoSource source, SInt32 *standardProdHeight,
                                     SInt32 *standardProdWidth, SInt32 *numLines, float *frameRate,
                                     TimeScale *timeScale, TimeValue *frameDuration);
void CO_StandardVideoSourceToCleanApertureCenter(CO_StandardVideoSource source,
                                                 CO_CleanApertureCenterPositionInVideoSignal *center);

// ---- Image descriptions ----

// *desc = a new 86-byte description of the type (owned; DisposeHandle): version 1, the vendor, spatial
// quality 1024, 72 dpi, frame count 1, colour table -1, the type's name; width and height those of the
// source's production aperture (production level), of its clean aperture (clean level) or the arguments
// (no level). 14001 for an unknown type, 14005 for a clean width that is no integer, 14003 for a width
// that is not a whole number of packing groups, the memory error; on failure *desc is NULL.
OSStatus CO_CreateBaseYCbCrImageDescription(ImageDescriptionHandle *desc, OSType cType, SInt32 vendor,
                                            CO_StandardVideoSource source, CO_ConformanceLevel level,
                                            CO_FieldDominance fieldDominance, SInt32 width, SInt32 height);
// Makes 'colr' ('nclc'), 'pasp' (only when the aspect is not 1:1), 'clap' and 'fiel' the description's single
// extensions of their types, in that order; the first failure is returned.
OSStatus CO_AddYCbCrImageDesciptionExtension(CO_StandardVideoSource source, ImageDescriptionHandle desc,
                                             CO_FieldDominance fieldDominance);
// The base description (no-level size 0 x 0) with the extensions; on failure *desc is NULL.
OSStatus CO_CreateYCbCrImageDescription(ImageDescriptionHandle *desc, OSType cType, SInt32 vendor,
                                        CO_StandardVideoSource source, CO_ConformanceLevel level,
                                        CO_FieldDominance fieldDominance);
// The first 'colr', 'pasp', 'clap' and 'fiel' extensions as new handles of their stored bytes (owned;
// DisposeHandle); an absent one, or a 'colr' of another kind than 'nclc', gives NULL. Each pointer may be
// NULL. On failure every output is NULL.
OSStatus CO_GetImageDescriptionExtensions(ImageDescriptionHandle desc, Handle *nclcData, Handle *paspData,
                                          Handle *clapData, Handle *fielData);

// ---- Colour descriptions ----
// Each takes a 'colr' extension's bytes ('nclc', primaries, transfer function, matrix); paramErr for a NULL
// handle, a short one, another kind, or values not listed.

// CIE xy chromaticities of white, red, green and blue for primaries 1 (ITU-R BT.709), 5 (EBU Tech. 3213) and
// 6 (SMPTE 170M).
OSStatus CO_NclcToChromaticities(Handle nclcData, GL_FloatPt *whitePt, GL_FloatPt *redPt, GL_FloatPt *greenPt,
                                 GL_FloatPt *bluePt);
// Transfer functions 1 (0.45, 1.099, 0.018, 4.5) and 7 (0.45, 1.1115, 0.0228, 4.0).
OSStatus CO_NclcToGamma(Handle nclcData, float *gamma, float *slope, float *endStraightPart, float *straightSlope);
// Matrices 6 (0.587, 0.299, 0.114), 7 (0.701, 0.212, 0.087) and 1 (0.7152, 0.2126, 0.0722).
OSStatus CO_NclcToMatrix(Handle nclcData, float *greenWeight, float *redWeight, float *blueWeight);
// The transfer curve on a 16-bit component: slope x^gamma + 1 - slope above endStraightPart, straightSlope x
// below (x the component / 65535, in double); the result truncated.
void CO_GammaTransform(float gamma, float slope, float endStraightPart, float straightSlope, UInt16 *rgb16Component);
// Its inverse; pass the exponent to apply (1 / 0.45 to undo a 0.45 transfer).
void CO_InverseGammaTransform(float gamma, float slope, float endStraightPart, float straightSlope,
                              UInt16 *rgb16Component);

// ---- Fields and lines ----
// Video lines are the signal's line numbers; image lines count the picture from its top line, 0; buffer
// lines are the order of the lines in memory.

// The first and last video lines of each field of a production aperture of H lines around the centre.
void CO_GetFieldBoundaries(SInt32 standardProdHeight, CO_CleanApertureCenterPositionInVideoSignal center,
                           SInt32 *minVideoLineF1, SInt32 *maxVideoLineF1, SInt32 *minVideoLineF2,
                           SInt32 *maxVideoLineF2);
// The field detail of a buffer: whether its top line lies in the later field, from the image line just
// above the clean centre, the field that line lies in, and which field comes first in time.
UInt8 CO_GetFieldDetail(SInt32 bufferHeight, Boolean bufferInterlaced, Boolean field1Dominant,
                        Boolean videoLineJustAboveCleanApertureCenterIsInF1,
                        const CO_CleanApertureData *cleanApertureData);
// The field that comes first in time, from a buffer's geometry and its field detail.
CO_FieldDominance CO_GetFieldDominance(SInt32 bufferHeight, Boolean videoLineJustAboveCleanApertureCenterIsInF1,
                                       const CO_CleanApertureData *cleanApertureData, UInt8 fieldDetail);
// The clean centre must lie on a line boundary (14006) and a pixel boundary (14005, checked second).
OSStatus CO_CheckCleanCenterPosition(SInt32 imageWidth, SInt32 imageHeight,
                                     const CO_CleanApertureData *cleanApertureData);
SInt32 CO_BufferLineToImageLine(const CO_FieldData *fielData, SInt32 imageHeight, SInt32 bufferLine);
SInt32 CO_ImageLineToBufferLine(const CO_FieldData *fielData, SInt32 imageHeight, SInt32 imageLine);
// The video line of the image line at distance d from the one just above the centre; 0 outside the fields.
SInt32 CO_ImageLineToVideoLine(SInt32 standardProdHeight, CO_CleanApertureCenterPositionInVideoSignal center,
                               SInt32 imageLineDistanceFromJustAboveCenterLine);
// The inverse: the distance of a video line's image line from the one just above the centre;
// -2147483648 before its field's first picture line, 2147483647 after its field's last.
SInt32 CO_VideoLineToImageLine(SInt32 standardProdHeight, CO_CleanApertureCenterPositionInVideoSignal center,
                               SInt32 videoLine);
// A buffer line's video line (0 outside the fields), and back (-2147483648 or 2147483647 for a video line
// before or after the buffer's lines).
SInt32 CO_BufferLineToVideoLine(CO_StandardVideoSource source, const CO_CleanApertureData *cleanApertureData,
                                const CO_FieldData *fielData, SInt32 imageHeight, SInt32 bufferLine);
SInt32 CO_VideoLineToBufferLine(CO_StandardVideoSource source, const CO_CleanApertureData *cleanApertureData,
                                const CO_FieldData *fielData, SInt32 imageHeight, SInt32 videoLine);
// The clean and production line of a video line (-1 outside); each pointer may be NULL.
void CO_VideoLineToStandardLine(CO_StandardVideoSource source, SInt32 videoLine, SInt32 *cleanLine,
                                SInt32 *productionLine);
// The video lines of a clean and a production line (0 outside); each pointer may be NULL.
void CO_StandardLineToVideoLine(CO_StandardVideoSource source, SInt32 cleanLine, SInt32 productionLine,
                                SInt32 *cleanVideoLine, SInt32 *productionVideoLine);

// ---- Buffers ----

// The clean width in pixels: widthN / widthD rounded up, then up to the next whole packing group.
SInt32 CO_GetCleanWidth(const CO_CleanApertureData *cleanApertureData, int horizAlignPixels);
// *cleanBuffer = a new block (owned; free()) of the clean aperture's lines: from each production line its
// horizontally centred clean part, from the clean height's lines centred vertically in the production
// height. The bytes per pixel follow from bufferSize. paramErr for an unknown source or a buffer that holds
// no whole lines of the production size; memFullErr. *cleanBuffer is NULL on failure.
OSStatus CO_TrimProductionBuffer(CO_StandardVideoSource source, Ptr productionBuffer, SInt32 bufferSize,
                                 Ptr *cleanBuffer);
// Deals the production buffer's lines alternately to the two field buffers (field 2 first when the top line
// lies in field 2); time1 = time, time2 = time + half the frame duration.
void CO_StandardBufferToF1F2(CO_StandardVideoSource source, Ptr productionBuffer, SInt32 bufferSize, TimeValue time,
                             Ptr f1Buffer, Ptr f2Buffer, TimeValue *time1, TimeValue *time2);
// The inverse; *time = the earlier field time, *frameDuration the source's. 14016 (nothing written) when the
// field times are not half a frame apart.
OSStatus CO_F1F2ToStandardBuffer(CO_StandardVideoSource source, Ptr f1Buffer, Ptr f2Buffer, TimeValue time1,
                                 TimeValue time2, Ptr productionBuffer, SInt32 bufferSize, TimeValue *time,
                                 TimeValue *frameDuration);
// Checks a buffer's description against the standard of a field-1-dominant source. Arguments that are 0 or
// NULL are not checked; bufferInterlaced and topLineInLaterField are bytes with 0xFF for "not given".
// Returns the first failure: 14001, 14002, 14004, 14010, 14009, 14003, 14011, 14012, 14003 (clean width),
// 14013, paramErr (a field order given for a progressive standard), 14014, 14015, 14017, 14016.
OSStatus CO_CheckF1DomStandProdBufferParameters(CO_StandardVideoSource source, CodecType yCbCrType, SInt32 bufferSize,
                                                SInt32 height, SInt32 width,
                                                const CO_PixelAspectRatio *pixelAspectRatio, UInt8 bufferInterlaced,
                                                UInt8 topLineInLaterField,
                                                const CO_CleanApertureData *cleanApertureData, SInt32 cleanWidth,
                                                float frameRate, TimeScale timeScale, TimeValue frameDuration);
// Splits a buffer of any size (rows of bufferSize / height bytes) whose clean aperture is the standard's into
// the standard's two fields: each field row is a whole production line (f1Buffer and f2Buffer hold a
// field's lines each, zeroed first), holding the buffer's columns that fall inside the production aperture
// centred on the clean centre. The field times follow the field order of fielData. 14005/14006 for a clean
// centre inside a pixel or line, 14001, 14007/14008 for a centre column off the packing, paramErr for a
// one-field source or buffers that do not fit.
OSStatus CO_BufferToF1F2(Ptr buffer, SInt32 bufferSize, CO_StandardVideoSource source, CodecType yCbCrType,
                         SInt32 height, SInt32 width, TimeValue time, const CO_FieldData *fielData,
                         const CO_CleanApertureData *cleanApertureData, Ptr f1Buffer, Ptr f2Buffer, TimeValue *time1,
                         TimeValue *time2);
// The inverse. It adapts the description instead of failing on the packing: the clean centre moves left
// onto the packing (cleanApertureData's horizontal offset changes with it) and fielData's detail is made
// again for the field times. Lines and columns outside both fields become zero bytes. 14016 (nothing changed)
// when the field times are not half a frame apart.
OSStatus CO_F1F2ToBuffer(Ptr f1Buffer, Ptr f2Buffer, TimeValue time1, TimeValue time2, Ptr buffer, SInt32 bufferSize,
                         CO_StandardVideoSource source, CodecType yCbCrType, SInt32 height, SInt32 width,
                         TimeValue *time, CO_FieldData *fielData, CO_CleanApertureData *cleanApertureData);

// ---- Pixels ----
// One pixel of a type of the table to and from normalised values: yCbCrA[0] luma on 0..1, [1] Cb and [2] Cr
// on -0.5..0.5, [3] alpha on 0..1. The pixel is the first of the packing group at yCbCrPixel; writing fills
// the whole group with the colour. Types without alpha read as suggestedAlpha; 'v408' writes yCbCrA[3] (or
// suggestedAlpha when it is outside 0..1). Values are clamped to the type's codes. paramErr for another type.
OSStatus NormalizeYCbCr(const void *yCbCrPixel, CodecType yCbCrType, double yCbCrA[4], double suggestedAlpha);
OSStatus NormalizedYCbCrToTyped(CodecType yCbCrType, const double yCbCrA[4], double suggestedAlpha, void *yCbCrPixel);
