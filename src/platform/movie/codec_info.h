// Image Compression Manager stand-in, the codec records: codec types and qualities, the codec
// information record with its lookup and spatial compression settings. Compression and decompression
// sequences build on these.
#pragma once

#include "platform/core/quickdraw_ports.h"
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
