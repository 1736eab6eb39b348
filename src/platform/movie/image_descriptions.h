// Image Compression Manager stand-in, image descriptions: their extensions (big-endian atoms after the
// 86 fixed bytes, addressed by type and a 1-based index per type) and the description properties of
// class 'idsc' (gamma, pixel aspect ratio, clean aperture, colour, field information, encoded size),
// which take and give native-order records.
//
// idSize counts the fixed fields and the extensions. A description whose extensions do not fit its idSize
// (or its handle) gives badImageDescription; nothing is read or written outside the handle.
// Pure functions of the caller's handles; any thread, one thread per handle.
#pragma once

#include "platform/movie/movie_toolbox.h"
#include "platform/movie/movie_types.h"

// Extension types.
enum : OSType {
  kColorInfoImageDescriptionExtension = 'colr',
  kPixelAspectRatioImageDescriptionExtension = 'pasp',
  kCleanApertureImageDescriptionExtension = 'clap',
  kFieldInfoImageDescriptionExtension = 'fiel',
  kGammaLevelImageDescriptionExtension = 'gama',
  kVideoColorInfoImageDescriptionExtensionType = 'nclc',
};

// Description properties.
enum : OSType {
  kQTPropertyClass_ImageDescription = 'idsc',
  kICMImageDescriptionPropertyID_GammaLevel = 'gama',          // Fixed
  kICMImageDescriptionPropertyID_PixelAspectRatio = 'pasp',    // PixelAspectRatioImageDescriptionExtension
  kICMImageDescriptionPropertyID_CleanAperture = 'clap',       // CleanApertureImageDescriptionExtension
  kICMImageDescriptionPropertyID_NCLCColorInfo = 'nclc',       // NCLCColorInfoImageDescriptionExtension
  kICMImageDescriptionPropertyID_FieldInfo = 'fiel',           // FieldInfoImageDescriptionExtension2
  kICMImageDescriptionPropertyID_EncodedWidth = 'encw',        // SInt32
  kICMImageDescriptionPropertyID_EncodedHeight = 'ench',       // SInt32
};

// Errors of the property calls besides kQTPropertyNotSupportedErr and kQTPropertyBadValueSizeErr.
enum : OSStatus {
  kQTPropertyReadOnlyErr = -2191,
  kQTPropertyAskLaterErr = -2200,
};

// Field information: fields, and the detail that orders them.
enum : UInt8 {
  kQTFieldsProgressiveScan = 1,
  kQTFieldsInterlaced = 2,
  kQTFieldDetailUnknown = 0,
  kQTFieldDetailTemporalTopFirst = 1,
  kQTFieldDetailTemporalBottomFirst = 6,
  kQTFieldDetailSpatialFirstLineEarly = 9,
  kQTFieldDetailSpatialFirstLineLate = 14,
};

#pragma pack(push, 2)

struct PixelAspectRatioImageDescriptionExtension {
  UInt32 hSpacing;
  UInt32 vSpacing;
};

struct CleanApertureImageDescriptionExtension {
  UInt32 cleanApertureWidthN;
  UInt32 cleanApertureWidthD;
  UInt32 cleanApertureHeightN;
  UInt32 cleanApertureHeightD;
  SInt32 horizOffN;
  UInt32 horizOffD;
  SInt32 vertOffN;
  UInt32 vertOffD;
};

struct FieldInfoImageDescriptionExtension2 {
  UInt8 fields;
  UInt8 detail;
};

struct NCLCColorInfoImageDescriptionExtension {
  OSType colorParamType;
  UInt16 primaries;
  UInt16 transferFunction;
  UInt16 matrix;
};

#pragma pack(pop)

static_assert(sizeof(PixelAspectRatioImageDescriptionExtension) == 8);
static_assert(sizeof(CleanApertureImageDescriptionExtension) == 32);
static_assert(sizeof(FieldInfoImageDescriptionExtension2) == 2);
static_assert(sizeof(NCLCColorInfoImageDescriptionExtension) == 10);

// *extension = a new handle (owned; DisposeHandle) with the data of the index-th (from 1) extension of the
// type, as stored (big-endian). codecExtensionNotFoundErr when there is none; *extension is NULL then.
OSErr GetImageDescriptionExtension(ImageDescriptionHandle desc, Handle *extension, OSType idType, SInt32 index);
// Appends the handle's bytes as an extension of the type (the handle stays the caller's).
OSErr AddImageDescriptionExtension(ImageDescriptionHandle desc, Handle extension, OSType idType);
// Removes the index-th extension of the type; codecExtensionNotFoundErr when there is none.
OSErr RemoveImageDescriptionExtension(ImageDescriptionHandle desc, OSType idType, SInt32 index);
OSErr CountImageDescriptionExtensionType(ImageDescriptionHandle desc, OSType idType, SInt32 *count);
// The type after *idType in the order of first appearance (0 starts); 0 after the last.
OSErr GetNextImageDescriptionExtensionType(ImageDescriptionHandle desc, OSType *idType);

// Properties of class 'idsc'. The gamma of a description without a 'gama' extension is the one the
// platform assumes for its codec: 2.2222223 for DV, 1.8 for RGB codecs, 2.2 for other Y'CbCr codecs.
// Setting gamma 0 removes the statement. Absent pasp, clap, nclc or fiel give codecExtensionNotFoundErr.
// kQTPropertyNotSupportedErr for another class or identifier, kQTPropertyBadValueSizeErr for a size that
// is not the value's (a larger get buffer is fine; *propSizeUsed, may be NULL, gets the size written).
OSStatus ICMImageDescriptionGetProperty(ImageDescriptionHandle desc, OSType propClass, OSType propID,
                                        ByteCount propValueSize, void *propValueAddress, ByteCount *propSizeUsed);
OSStatus ICMImageDescriptionSetProperty(ImageDescriptionHandle desc, OSType propClass, OSType propID,
                                        ByteCount propValueSize, const void *propValueAddress);

// The gamma the platform assumes for a codec whose descriptions state none.
Fixed PL_DefaultGammaForCodec(OSType cType);

// Whether a decompressor begun for description a can go on with description b: the same codec type, size,
// depth and colour table, and the same extensions.
Boolean PL_ImageDescriptionsEquivalent(ImageDescriptionHandle a, ImageDescriptionHandle b);

// The colour table of the grey depths (34, 36 and 40: 4, 16 and 256 greys), which no description carries:
// white at index 0 down to black at the last index, as 0xAARRGGBB words; entries past the last are black.
// False for any other depth (palette untouched).
Boolean PL_GetGreyRampPalette(SInt16 depth, UInt32 palette[256]);
