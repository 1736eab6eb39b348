// Image descriptions of the frames the program writes, their comparison, and their extensions: pixel
// aspect ratio ('pasp'), clean aperture ('clap'), field information ('fiel'), gamma ('gama') and colour
// ('colr' of kind 'nclc'); and the display rectangle of a frame from its clean aperture and pixel aspect.
//
// Extension records passed to and from these functions are in native byte order unless a function says
// otherwise; inside a description they are big-endian. No state; the functions that touch only records
// run on any thread, the media readers wherever the movie may be read.
#pragma once

#include "general/integer_ratios.h"
#include "platform/core/cf_base.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_types.h"

typedef PixelAspectRatioImageDescriptionExtension QT_PaspExt;
typedef CleanApertureImageDescriptionExtension QT_ClapExt;
typedef FieldInfoImageDescriptionExtension2 QT_FielExt;
typedef NCLCColorInfoImageDescriptionExtension QT_NclcExt;

// ---- Building descriptions ----

// Resizes desc to 86 bytes (extensions dropped) and fills it for a frame of the codec of rSpatial, of
// `size` compressed bytes. For '2vuy' the codec is not asked and rSpatial's quality becomes codecMaxQuality;
// otherwise GetCodecInfo's error is returned with desc untouched.
OSStatus QT_MakeImageDescription(SInt16 width, SInt16 height, SCSpatialSettings *rSpatial, SInt32 size,
                                 ImageDescriptionHandle desc);
// Fills an existing handle of at least 86 bytes for 'yuv2' without resizing it (paramErr when shorter).
OSStatus QT_MakeYuv2ImageDescription(ImageDescriptionHandle imageDesc, SInt16 width, SInt16 height);

// ---- Comparing ----

// True when the media has fewer than two descriptions or a decompressor begun for the first could go on
// with every other one. offscreen is not drawn into; it may be NULL.
OSStatus QT_AreAllImageDescsEquivalent(Media media, GWorldPtr offscreen, Boolean *equivalent);
// For every fixed field whose value in mask is non-zero, diff's field = desc2's - desc1's; a non-zero name
// length in mask compares the names (diff's name length 1 when they differ). With compareExtensions, one
// zeroed 4-byte extension of a type is appended to diff for each differing or unmatched extension of it:
// over the numTypes types of typeList, or every type of either description when numTypes is 0. diff's own
// idSize is kept (its extensions depend on it), so a size difference shows as extension differences.
OSStatus QT_EqualImageDescs(ImageDescriptionHandle desc1, ImageDescriptionHandle desc2, ImageDescriptionHandle mask,
                            Boolean compareExtensions, SInt32 numTypes, const OSType *typeList,
                            ImageDescriptionHandle diff);

// ---- Extensions ----

OSStatus QT_CountImageDescExtTypes(ImageDescriptionHandle desc, SInt32 *typesCount);
// Leaves exactly one extension of the type: `extension`'s bytes (the handle stays the caller's).
OSStatus QT_AddSingleImageDescExtension(ImageDescriptionHandle desc, OSType type, Handle extension);
// Replaces the index-th (from 1) extension of the type, or appends it when index is one past the count;
// codecExtensionNotFoundErr for an index further out. The extensions of the type behind index keep their
// own sizes and order. On failure the description is as it was.
OSStatus QT_SetIndexedImageDescExtension(ImageDescriptionHandle desc, OSType type, SInt32 index, Handle extension);
// Extension 1 of the type from the source becomes the target's single one; none in the source: noErr.
OSStatus QT_CopySingleImageDescExtOfType(OSType type, ImageDescriptionHandle srcDesc, ImageDescriptionHandle trgtDesc);
// Copies every extension of the source: replacing, the target's ones of each type are replaced in turn;
// otherwise the target keeps its own and receives only the source's surplus ones of each type.
OSStatus QT_CopyAllImageDescExts(ImageDescriptionHandle srcDesc, ImageDescriptionHandle trgtDesc, Boolean replacing);

// ---- Gamma ----

// The stated gamma (extension 1 of 'gama'); none stated: gamma 0, *hasGamaIde false, noErr.
OSStatus QT_GetImageDescGammaLevel(ImageDescriptionHandle desc, Fixed *gamma, Boolean *hasGamaIde);
OSStatus QT_SetImageDescGammaLevel(ImageDescriptionHandle desc, Fixed gamma);
// True for 0 (no gamma) and for the display gamma 1.8 (strictly between 1.799 and 1.801).
Boolean QT_GammaEqualsMacGamma(float gamma);

// ---- Fields ----

// Extension 1 of 'fiel'; codecExtensionNotFoundErr when there is none.
OSStatus QT_GetFieldInfo(ImageDescriptionHandle desc, QT_FielExt *fieldInfoImageDescExt2);
// Sets only the detail byte for the codec and field order.
void QT_SetFieldDetail(CodecType cType, Boolean topFieldFirst, QT_FielExt *fielExt);
OSStatus QT_AddFielExtension(ImageDescriptionHandle desc, const QT_FielExt *fielExt);
// From the media's first description; without 'fiel' *hasFielExt is false and the other two are untouched.
OSStatus QT_GetFielData(Media media, Boolean *hasFielExt, Boolean *interlaced, Boolean *topFieldFirst);
// interlaced = two fields; only then topFieldFirst = detail 1 or 9.
void QT_GetInterlaceFromFiel(const QT_FielExt *fielExt, Boolean *interlaced, Boolean *topFieldFirst);

// ---- Aspect, aperture and colour of a media's first description ----

OSStatus QT_GetPaspData(Media media, Boolean *hasPaspExt, QT_PaspExt *paspExt);
OSStatus QT_GetClapData(Media media, Boolean *hasClapExt, QT_ClapExt *clapExt);
// Absent: both flags false and nclcExt cleared; present: isNclc tells its kind, and only an 'nclc' is copied.
OSStatus QT_GetColrData(Media media, Boolean *hasColrExt, Boolean *isNclc, QT_NclcExt *nclcExt);
// True for an 'nclc' colour extension whose transfer function is not 2.
OSStatus QT_HasGamm22inNclc(ImageDescriptionHandle desc, Boolean *hasGamm22inNclc);
OSStatus QT_SetPaspInImageDesc(ImageDescriptionHandle desc, const QT_PaspExt *paspExt);
OSStatus QT_SetClapInImageDesc(ImageDescriptionHandle desc, const QT_ClapExt *clapExt);
OSStatus QT_SetNclcInImageDesc(ImageDescriptionHandle desc, const QT_NclcExt *nclcExt);
// Byte-order swaps in place (big-endian <-> native).
void QT_FlipPasp(QT_PaspExt *paspExt);
void QT_FlipClap(QT_ClapExt *clapExt);
void QT_FlipNclc(QT_NclcExt *nclcExt);

// ---- Geometry ----

// The display rectangle of a frame of width x height (Fixed) from its clean aperture and pixel aspect
// (native order; either may be NULL), horizontal or vertical aspect scaling. clipRect: left and right
// rounded half away from zero, top and bottom as x + 0.5 truncated; clipRectF in Fixed; either may be NULL.
// A clap whose width or height denominator is 0 counts as absent, an offset over 0 as no offset, and a
// pasp with a zero spacing as absent.
void QT_GetScaledClip(Fixed width, Fixed height, const QT_PaspExt *paspExt, const QT_ClapExt *clapExt, Rect *clipRect,
                      FixedRect *clipRectF, Boolean scaleHorizontal);
// For the rectangle's size: clean (pasp and clap), production (pasp only) and clipped (clap only, moved by
// the rectangle's top-left) rectangles; any output may be NULL.
void QT_CalcFixedApertureRects(const Rect *rect, const QT_PaspExt *paspExt, const QT_ClapExt *clapExt,
                               FixedRect *cleanRectF, FixedRect *prodRectF, FixedRect *clippedRectF);
// The clean aperture that expresses cropping rawRectF to clipRectF, reduced.
void QT_FixedClipToClap(const FixedRect *rawRectF, const FixedRect *clipRectF, QT_ClapExt *clapExt);
// Reduces the pasp spacings and each clap fraction by their greatest common divisor; either may be NULL.
void QT_ReducePaspAndClap(QT_PaspExt *paspExt, QT_ClapExt *clapExt);
// When clean width x hSpacing reaches 2^31, scales down the pasp, the clap width or both and writes them back.
OSStatus QT_CheckPaspAndClapForOverflow(ImageDescriptionHandle desc);
// The pixel aspect of a frame resized from oldRect to newRect; true when exact.
Boolean QT_TransformPasp(const QT_PaspExt *paspExt, const Rect *oldRect, const Rect *newRect, QT_PaspExt *newPaspExt);
// The clap's four fractions as ratios; true when all four are exact.
Boolean QT_ClapExtToLongRatio(const QT_ClapExt *oldClapExt, GL_LongRatio *oldWidth, GL_LongRatio *oldHeight,
                              GL_LongRatio *oldOffsetH, GL_LongRatio *oldOffsetV);
// True when the clean aperture cuts something off a frame of that size.
Boolean QT_ClapHasEffect(const QT_ClapExt *clapExt, SInt16 height, SInt16 width);
Boolean QT_EqualPasp(const QT_PaspExt *paspExt1, const QT_PaspExt *paspExt2);
// Equal when width scaled by each aspect rounds to the same number of pixels.
Boolean QT_EqualPasp2(SInt32 width, const QT_PaspExt *paspExt1, const QT_PaspExt *paspExt2);
Boolean QT_EqualClap(const QT_ClapExt *clapExt1, const QT_ClapExt *clapExt2);

// ---- Text and trace ----

// Appends the title and the fields "Horizontal Spacing" and "Vertical Spacing" (one line each) to a text.
void GL_AddPaspFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, const QT_PaspExt *paspExt);

void QT_PrintClapWithName(const QT_ClapExt *clapExt, const char *name);
void QT_PrintFielWithName(const QT_FielExt *fielExt, const char *name);
void QT_PrintPaspWithName(const QT_PaspExt *paspExt, const char *name);
