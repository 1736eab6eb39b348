// Image Compression Manager stand-in, the codec records: codec types and qualities, the codec
// information record with its lookup and spatial compression settings. Compression and decompression
// sequences build on these.
#pragma once

#include "platform/core/quickdraw_ports.h"
#include "platform/movie/components.h"
#include "platform/movie/movie_types.h"

typedef OSType CodecType;
typedef UInt32 CodecQ;

// Components are opaque; a codec component may also be one of the selector values below.
struct ComponentRecord;
typedef ComponentRecord *Component;
typedef Component CodecComponent;

// An offscreen graphics world is a colour port.
typedef CGrafPtr GWorldPtr;

#define anyCodec ((CodecComponent)0)
#define bestSpeedCodec ((CodecComponent)-1)
#define bestFidelityCodec ((CodecComponent)-2)
#define bestCompressionCodec ((CodecComponent)-3)

enum : CodecQ {
  codecMinQuality = 0x000,
  codecLowQuality = 0x100,
  codecNormalQuality = 0x200,
  codecHighQuality = 0x300,
  codecMaxQuality = 0x3FF,
  codecLosslessQuality = 0x400,
};

struct CodecInfo {
  Str31 typeName;
  SInt16 version;
  SInt16 revisionLevel;
  SInt32 vendor;
  SInt32 decompressFlags;
  SInt32 compressFlags;
  SInt32 formatFlags;
  UInt8 compressionAccuracy;
  UInt8 decompressionAccuracy;
  UInt16 compressionSpeed;
  UInt16 decompressionSpeed;
  UInt8 compressionLevel;
  UInt8 resvd;
  SInt16 minimumHeight;
  SInt16 minimumWidth;
  SInt16 decompressPipelineLatency;
  SInt16 compressPipelineLatency;
  SInt32 privateData;
};

typedef Component CompressorComponent;
typedef Component DecompressorComponent;

// Image sequences (compression and decompression) are numbered; 0 is none. Compression sequences take
// their numbers from kPL_FirstCompressionSequenceID on, so the two kinds never share a number.
typedef SInt32 ImageSequence;
enum : ImageSequence { kPL_FirstCompressionSequenceID = 0x40000000 };

typedef UInt16 CodecFlags;
enum : CodecFlags {
  codecFlagUseImageBuffer = 1 << 0,
  codecFlagUseScreenBuffer = 1 << 1,
  codecFlagUpdatePrevious = 1 << 2,
  codecFlagNoScreenUpdate = 1 << 3,
  codecFlagWasCompressed = 1 << 4,
  codecFlagDontOffscreen = 1 << 5,
  codecFlagUpdatePreviousComp = 1 << 6,
  codecFlagForceKeyFrame = 1 << 7,
};

// Flags of a completion call: the source (the pixels) is no longer needed, the destination (the
// compressed data or the drawn pixels) is complete.
enum : SInt16 { codecCompletionSource = 1 << 0, codecCompletionDest = 1 << 1, codecCompletionDontUnshield = 1 << 2 };

// An asynchronous completion: result, flags, and the record's reference constant (pointer-wide).
typedef void (*ICMCompletionProcPtr)(OSErr result, SInt16 flags, long refcon);
typedef ICMCompletionProcPtr ICMCompletionUPP;
struct ICMCompletionProcRecord {
  ICMCompletionUPP completionProc;
  long completionRefCon;
};
typedef ICMCompletionProcRecord *ICMCompletionProcRecordPtr;
inline ICMCompletionUPP NewICMCompletionUPP(ICMCompletionProcPtr proc) { return proc; }
inline void DisposeICMCompletionUPP(ICMCompletionUPP) {}

// A codec that cannot run on the calling task; the caller then compresses on the main thread. No codec of
// this platform refuses, but callers handle it.
enum : OSStatus { componentNotThreadSafeErr = -2098 };

// The spatial part of standard compression settings.
struct SCSpatialSettings {
  CodecType codecType;
  CodecComponent codec;
  SInt16 depth;
  CodecQ spatialQuality;
};

// The information of the codec of a type (the codec argument is not consulted: one codec per type here).
// noCodecErr for a type no codec of this platform handles, paramErr for a null record.
OSErr GetCodecInfo(CodecInfo *info, CodecType cType, CodecComponent codec);

// ---- Codec lists ----

struct CodecNameSpec {
  CodecComponent codec;  // the compressor of the type, or its decompressor when it has none
  CodecType cType;
  Str31 typeName;
  Handle name;           // the component's name as a Pascal string (owned by the list)
};

struct CodecNameSpecList {
  SInt16 count;
  CodecNameSpec list[1];  // count entries
};
typedef CodecNameSpecList *CodecNameSpecListPtr;

// The codecs of this platform that have a compressor or a decompressor, in the order of its codec table
// (owned: DisposeCodecNameList). showAll is accepted; every such codec is shown. paramErr for a null list.
OSErr GetCodecNameList(CodecNameSpecListPtr *list, SInt16 showAll);
OSErr DisposeCodecNameList(CodecNameSpecListPtr list);

// The compressor and decompressor components of cType (either pointer may be null). specCodec anyCodec or
// a selector finds them by type; a component of cType is given back as it is. noCodecErr when cType has
// neither, or when specCodec is a component of another type.
OSErr FindCodec(CodecType cType, CodecComponent specCodec, CompressorComponent *compressor,
                DecompressorComponent *decompressor);

// ---- Codec components ----
// Every type of the codec table with an encoder has a compressor component ('imco', subtype the codec
// type); every type with a decoder (PL_CanDecompressCodecType) a decompressor component ('imdc'). Each has a public 'cpix' resource (ID 1): the
// pixel formats it takes (compressor) or gives (decompressor), big-endian four-character codes, the
// favourite first.
enum : OSType {
  compressorComponentType = 'imco',
  decompressorComponentType = 'imdc',
  codecInfoResourceType = 'cdci',
  kCodecPixelFormatListResourceType = 'cpix',
};

// Compressor properties of class 'imco': what a compressor enforces on the frames it writes. Only DV
// compressors enforce (width, height, clean aperture, pixel aspect ratio and fields: for DV and DVCPRO50
// they follow the 'dvco' properties below, which DVCPRO HD compressors do not have; their width is the
// stored one); the others answer kQTPropertyNotSupportedErr.
enum : OSType {
  kQTPropertyClass_ImageCompressor = 'imco',
  kICMImageCompressorPropertyID_EnforcedWidth = 'enwi',          // SInt32
  kICMImageCompressorPropertyID_EnforcedHeight = 'enhe',         // SInt32
  kICMImageCompressorPropertyID_EnforcedCleanAperture = 'encl',  // CleanApertureImageDescriptionExtension
  kICMImageCompressorPropertyID_EnforcedPixelAspectRatio = 'enpa',  // PixelAspectRatioImageDescriptionExtension
  kICMImageCompressorPropertyID_EnforcedFieldInfo = 'enfi',      // FieldInfoImageDescriptionExtension2
  // DV compressor settings, one byte each (non-zero true), readable and writable.
  kQTPropertyClass_DVCompressor = 'dvco',
  kDVCompressorPropertyID_ProgressiveScan = 'prog',
  kDVCompressorPropertyID_AspectRatio16x9 = '16x9',
};

// Component selectors a codec may implement (ComponentFunctionImplemented). No codec here extracts and
// combines fields, so none implements kImageCodecExtractAndCombineFieldsSelect.
enum : SInt16 {
  kImageCodecGetCodecInfoSelect = 0x0000,
  kImageCodecGetMaxCompressionSizeSelect = 0x0004,
  kImageCodecBandCompressSelect = 0x0009,
  kImageCodecRequestSettingsSelect = 0x000C,
  kImageCodecGetSettingsSelect = 0x000D,
  kImageCodecSetSettingsSelect = 0x000E,
  kImageCodecExtractAndCombineFieldsSelect = 0x0015,
  kImageCodecBandDecompressSelect = 0x001D,
};

// The codec's own settings, opaque bytes kept by the instance. Set copies the handle's bytes (null or
// empty clears them); Get resizes the caller's handle to them. A DV compressor's settings are its 'dvco'
// properties instead: 8 bytes, 'dvco', progressive, 16:9 (one byte each, non-zero true), two zero bytes;
// Set takes them from such bytes and ignores any others. paramErr for a null handle on Get,
// badComponentInstance for an instance that is not a codec.
ComponentResult ImageCodecSetSettings(ComponentInstance ci, Handle settings);
ComponentResult ImageCodecGetSettings(ComponentInstance ci, Handle settings);
// There is no settings dialog on this platform: the settings in the handle stay as they are (as if the
// user accepted them), the rectangle and filter are not used, and the result is noErr; paramErr for a null
// handle.
ComponentResult ImageCodecRequestSettings(ComponentInstance ci, Handle settings, Rect *rp, void *filterProc);

// What a compression sequence takes from the compressor instance it was begun with.
struct PL_CompressorState {
  CodecType cType;
  Boolean progressive;  // DV: 'prog'
  Boolean is16x9;       // DV: '16x9'
};
// paramErr when ci is no open compressor instance.
OSErr PL_GetCompressorState(ComponentInstance ci, PL_CompressorState *state);

// Registers the codec components (done once, on the Component Manager's first use).
void PL_RegisterCodecComponents();
