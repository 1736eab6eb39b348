// The padded working frame that every cleaning stage works on, and the small project utilities that the
// stages and the project set-up share.
//
// Working frame: '2vuy' (per pixel pair Cb Y0 Cr Y1; pixel k has its chroma byte at 2k, Cb for even k, and
// its luma at 2k + 1), rows of 2 x `width` bytes without gaps. The picture's first pixel lies at pixel 8 of
// buffer line 8, or of buffer line 16 when interlaced (8 lines of margin per field). The margins hold
// mirrored picture pixels (BZ_PadFrame), so block filters may read past the picture edge without tests.
// Since a row is a multiple of 16 bytes and the left margin is 16 bytes, every picture line of a buffer that
// starts 16-byte aligned starts 16-byte aligned too.
//
// Threads: BZ_PadFrame runs on worker tasks, each on its own output buffer. The other functions read the
// project settings and the stage table, which do not change while a run is going on; the file-name
// functions run on the main thread.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"
#include "platform/movie/image_descriptions.h"

enum : SInt32 {
  kBZ_PadLeftPixels = 8,  // left margin in pixels
  kBZ_PadFieldLines = 8,  // top margin in lines of each field
};

// The gamma of video (the single-precision value nearest 1/0.45, not 2.2) and the gamma frames are shown in.
constexpr float kBZ_VideoGamma = 2.2222223f;
constexpr float kBZ_DisplayGamma = 1.8f;

// ---- Geometry and padding ------------------------------------------------------------------------------------
// The buffer geometry itself (BZ_GetBufferSize) is with the stage table's lookups (stage_access.h).

// Fills every margin of the frame buffer from its picture: luma mirrored about the edge (the edge pixel
// repeated once), chroma one pixel further so that Cb and Cr keep their places; the top and bottom rows
// (margins included, so the corners too) mirrored, within their field when interlaced. A margin wider than
// the picture takes the nearest picture pixel of the same kind instead. paramErr for a NULL argument, a
// picture of no size, or a buffer without room for the picture and its left and top margins; nothing is
// written beyond the buffer's `height` rows.
OSStatus BZ_PadFrame(const BZ_PadParams *padParams, void *inBuffer);

// Copies the rectangle and moves it right by 8 and down by 16 (interlaced) or 8: picture to buffer coordinates.
void BZ_PadSelectionRect(Boolean interlaced, const Rect *selRect, Rect *paddedSelRect);
// The same shift for a point.
void BZ_PadPoint(Boolean interlaced, Point pt, Point *paddedPt);
// The picture rectangle inside the buffer: (0, 0, inHeight, inWidth) shifted as above.
void BZ_GetRealFrameBounds(Boolean interlaced, SInt32 inWidth, SInt32 inHeight, Rect *realFrame);
// The part of the picture that goes into the output, inside a padded working frame of an inHeight x inWidth
// source: left 8, top 8 x f (f = 2 when interlaced, else 1), right inWidth + 8, bottom top + inHeight; inset
// by the crop margins when cropping is on, except when black bars are only masked and `clipping` is set.
// Margins larger than the picture leave an empty rectangle (bottom = top or right = left), never an
// inverted one.
// Whether a run keeps the whole frame and paints the crop margins black instead of cutting them off: when black
// bars are only to be masked, and always for DV output, whose frame size belongs to its television system (a
// cropped picture would otherwise be scaled to it). Callers of BZ_GetCroppedSourceRect for a run give it the
// input settings with maskBlackBars set to this.
Boolean BZ_MasksCropMargins(const BZ_ProjSett *sett);
void BZ_GetCroppedSourceRect(const BZ_InputSett *inputSett, SInt32 inHeight, SInt32 inWidth, int clipping,
                             Rect *sourceRect);

// The grid of overlapping 16 x 16 measuring blocks in a selection (f = 2 for fields, else 1): w / 8 - 1
// blocks across with a stride of w / count rounded down to even, h / 8f - 1 down with a stride of h / count;
// more than 1000 blocks are thinned evenly to about 1000. A selection smaller than 16 x 16f pixels gives no
// blocks (counts and strides 0).
void BZ_GetNum16x16Blocks(SInt32 f, const Rect *selRect, SInt32 *numBlocksHoriz, SInt32 *numBlocksVert,
                          SInt32 *horizStride, SInt32 *vertStride);

// ---- The white line -----------------------------------------------------------------------------------------
// Some sources carry a piece of white line in one of the last lines of a 576-line picture; the stage that
// finishes a frame for output (compress, else write) paints it black.

// Whether and how the white line is removed: the input setting whiteLinePiece with source 0's bottom-line
// flag; otherwise, with averaging applied and its hasWhiteLinePiece, source 1's bottom-line flag.
void BZ_CopyWhiteLineSett(const BZ_StatMovInfo *statMovInfo, const BZ_ProjSett *settings, Boolean *removeWhiteLine,
                          Boolean *whiteLineIsBottomLine);
// The buffer row of the white line: 591 (interlaced) or 583 when it is the bottom line, else 590 or 582.
SInt32 BZ_GetWhiteLineRow(Boolean interlaced, Boolean whiteLineIsBottomLine);
// Paints that whole buffer row (padding included) black: chroma 128, luma 0. Rows are width x 2 bytes; the
// caller makes sure the buffer has that row.
void BZ_RemoveWhiteLine(UInt8 *buffer, SInt32 width, Boolean interlaced, Boolean whiteLineIsBottomLine);

// ---- Stage questions -----------------------------------------------------------------------------------------

// Whether the stage of that type must pad its output frames: only a stage whose next processing stage is
// noise reduction does. False when the project's table (file 0) has no stage of that type.
Boolean BZ_GetPadding(BZ_ProjPtr project, BZ_TaskType taskType);

// Whether the stage must keep its input frame for noise measurement: only the first processing stage of the
// table does, always when previewing, with makeNoiseMovie when executing, and with calcStats otherwise.
Boolean BZ_NeedInBufferForNoiseCalc(BZ_BuffInfo *buffInfo, const BZ_BuffInfo *stageBuffInfo,
                                    BZ_ExecuteState projState, Boolean makeNoiseMovie, Boolean calcStats);

// ---- Gamma, sizes and rates ----------------------------------------------------------------------------------

// The gamma in which the project's frames are processed: that of source 0, or kBZ_VideoGamma when the output
// is exported, written as DV or 'icod', or the preference alwaysGamma22 is set. A source without a usable
// gamma counts as having its codec's usual one. newRGB_In (source to internal gamma) and newRGB_Out
// (internal gamma to kBZ_DisplayGamma), each when asked for, are new tables of 1024 entries (owned:
// GL_DisposePtr), or NULL when the two gammas agree within 0.0001. appPrefs NULL reads the preferences
// through the engine host. paramErr without a project; memFullErr (and no table) when memory is out.
OSStatus BZ_GetInternalGamma(BZ_ProjPtr project, const BZ_AppPrefs *appPrefs, float *internalGamma,
                             UInt16 **newRGB_In, UInt16 **newRGB_Out);

// The data rate of the output's export settings in bytes per second, 0 when they set none. Without settings
// in the record, those stored in the preferences for its export type are read (the record is left as it is).
// The settings' reading error is returned unchanged.
OSStatus BZ_GetDataRate(const BZ_OutputSett *outputSett, SInt32 *dataRate);

// Bytes per frame of the export: the data rate over the duration of source 0 per frame; without a rate, a
// DV-stream export ('dvc!') gives 144000 for 576-line sources and 120000 for others; else 0.
OSStatus BZ_GetExportFrameDataSize(const BZ_ProjInfo *projInfo, SInt32 *frameSize);

// An estimate of the bytes of one noise-movie frame: width x height x 2 of source 0 when averaging, noise
// reduction or varying brightness will run, a tenth of it otherwise (at most 0x7FFFFFFF).
SInt32 BZ_GetNoiseFrameSize(const BZ_ProjInfo *projInfo);

// True when the picture is nearer to 16:9 than to 4:3 (a tie counts as 4:3); false for a size of 0 or less.
Boolean BZ_Get16x9(SInt32 height, SInt32 width);

// Copies the source description's extensions that describe the picture ('fiel', 'pasp', 'clap', 'colr', 'gama',
// 'mdcv', 'clli'; never a codec's configuration) into the target: each extension beyond the
// target's count of that type is added; one the target has already is replaced when `replacing` and kept
// otherwise. The first error other than codecExtensionNotFoundErr is returned.
OSStatus BZ_CopyAllImageDescExts(ImageDescriptionHandle srcDesc, ImageDescriptionHandle trgtDesc, Boolean replacing);

// ---- Target file names ---------------------------------------------------------------------------------------

// The constant extension of an output movie that is not exported.
inline constexpr char kBZ_MovieFileNameExtension[] = ".mov";

// Makes target fileIndex's fileName a name that no item of target 0's parent folder has: while the name
// exists its extension (an ending of at most 6 characters from the last ".") and, from the third try on,
// the number added before (an ending of at most 4 characters from the last space) are removed and
// "<name> <counter>.mov" is made, the counter counting from 2. A name that would grow beyond 255 units is
// shortened at its end, whole characters at a time. A File Manager error other than fnfErr is returned.
OSStatus BZ_CreateIndexedNameInFolder(BZ_TargetFileData *targetFileData, SInt32 fileIndex);

// Gives target 0's name the output's extension (the export type's when exporting, ".mov" otherwise) in place
// of a known one; an empty name stays empty. Always noErr.
OSStatus BZ_CheckTargetFileName(BZ_ProjInfo *projInfo);

// Removes the name's known extension (BZ_CopyFileNameExtension); without one, a final ".exp" or ".mov".
void BZ_RemoveFileNameExtension(CFMutableStringRef targetFileNameRef);
// Appends the export type's extension when the export component list has one.
void BZ_AddFileNameExtension(OSType exportType, CFMutableStringRef targetFileNameRef);
// *fileNameExtRef = the extension of the first exporter of that subtype in the export component list
// (gBZ.expCompInfoList) as a new string (owned: CFRelease), or NULL.
void BZ_CopyExportFileNameExtension(OSType exportType, CFStringRef *fileNameExtRef);
// *endStrRef = the name's ending from its last "." as a new string (owned) when it is the extension of an
// exporter in the list, else NULL.
void BZ_CopyFileNameExtension(CFStringRef targetFileNameRef, CFStringRef *endStrRef);
// The extension of the current project's output file (owned: CFRelease): the export type's when exporting
// ("" when the exporter has none), else ".mov".
CFStringRef BZ_MakeOutputFileExtension();
