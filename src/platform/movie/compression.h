// Image Compression Manager stand-in, compression: compression sequences that turn the pixels of an
// offscreen pixel map into the data of one codec, the largest size a frame can take, and single images.
//
// Source pixel maps are '2vuy' (video range, the working format) or 32-bit ARGB (converted with the
// Rec. 601 matrix into video range). Encoders:
//   '2vuy', 'yuv2' (chroma two's complement)  uncompressed 4:2:2, our own code
//   'y420'                                    planar 4:2:0 behind a 32-byte big-endian header, our own code
//   'dvc ', 'dvpp'                            DV 4:1:1 (NTSC 720x480, DVCPRO PAL 720x576), libavcodec
//   'dvcp'                                    DV PAL 4:2:0, 720x576, libavcodec
//   'dv5n', 'dv5p'                            DVCPRO50 4:2:2, 720x480 and 720x576, libavcodec
//   'dvh6', 'dvh5'                            DVCPRO HD 1080i60 (1280x1080), 1080i50 (1440x1080), libavcodec
//   'dvhp', 'dvhq'                            DVCPRO HD 720p60 and 720p50 (960x720), libavcodec
//   'jpeg'                                    one baseline JPEG (full range 4:2:2), libavcodec
//   'mjpa'                                    two JPEG fields per frame (even lines first), each opened by an
//                                             APP1 'mjpg' marker giving its size and the next field's offset
//   'smc '                                    QuickTime Graphics, 8-bit grey (depth 40, index i shows grey
//                                             255 - i), libavcodec, every frame a key frame. A '2vuy'
//                                             source keeps its luma bytes exactly (index 255 - Y) and loses
//                                             its chroma; ARGB sources are reduced to their grey.
// The 'mjpa' compressor's settings (ImageCodecSetSettings on its instance, then the instance passed as the
// codec of CompressSequenceBegin) choose the first field: 8 bytes, kPL_MotionJpegASettingsTag and then
// kPL_MotionJpegAEvenFieldFirst or kPL_MotionJpegAOddFieldFirst, big-endian. Without them the even lines
// (the top field) come first.
// DV codecs have fixed frame sizes: a source of another size is scaled to the codec's size, and the image
// description gets the codec's size. Other codecs take the source rectangle's size.
//
// Threads: every call may run on any thread; a sequence is used by one thread at a time (the compress
// stage keeps each sequence on its own task). Completion procedures run on the calling thread before
// CompressSequenceFrame returns, so frames complete in the order they were given.
#pragma once

#include "platform/core/offscreen_worlds.h"
#include "platform/movie/codec_info.h"

enum : OSType {
  kPL_MotionJpegASettingsTag = 'mjpa',
  kPL_MotionJpegAEvenFieldFirst = 'even',
  kPL_MotionJpegAOddFieldFirst = 'odd ',
};

// Begins a sequence for frames of src (its pixel format and the size of srcRect, null meaning the pixel
// map's bounds) compressed with cType. codec is anyCodec, a selector (bestFidelityCodec...), a compressor
// component of cType (FindCodec) or an open compressor instance of cType, whose settings
// (ImageCodecSetSettings) the sequence takes. desc (the caller's handle, resized to 86 bytes) is filled
// in: codec type, version, vendor, qualities, encoded width and height, 72 dpi, depth 24, no colour table,
// the codec's name. prev, prevRect, colorDepth, temporalQuality, keyFrameRate and ctable are accepted and
// not used (every frame of these codecs is a key frame). *seqID gets the sequence (owned: CDSequenceEnd).
// Errors: paramErr for null arguments, a source of no size or a rectangle outside the bounds;
// noCodecErr for a type without an encoder or a codec of another type; cDepthErr for a source pixel format
// other than '2vuy' and 32-bit ARGB; codecOpenErr when libavcodec refuses the codec; memFullErr.
OSErr CompressSequenceBegin(ImageSequence *seqID, PixMapHandle src, PixMapHandle prev, const Rect *srcRect,
                            const Rect *prevRect, SInt16 colorDepth, CodecType cType, CompressorComponent codec,
                            CodecQ spatialQuality, CodecQ temporalQuality, SInt32 keyFrameRate, CTabHandle ctable,
                            CodecFlags flags, ImageDescriptionHandle desc);

// Compresses one frame of src (srcRect null: the sequence's rectangle at the same place; otherwise of the
// sequence's size) into data, which must hold GetMaxCompressionSize bytes; *dataSize gets the size.
// similarity (may be null) gets 0. With asyncCompletionProc (may be null) the procedure is called once,
// before this returns, with the result and codecCompletionSource | codecCompletionDest, and the call
// returns noErr; errors found before compressing starts (bad arguments) are returned without calling it.
// Errors: paramErr (null or mismatching arguments, no such sequence), cDepthErr (a
// source format the sequence cannot read), codecErr (the encoder failed), codecSizeErr (the data would not
// fit the maximum size).
OSErr CompressSequenceFrame(ImageSequence seqID, PixMapHandle src, const Rect *srcRect, CodecFlags flags, Ptr data,
                            SInt32 *dataSize, UInt8 *similarity, ICMCompletionProcRecordPtr asyncCompletionProc);

// Changes the quality of later frames (JPEG codecs use it; the others ignore it).
OSErr SetCSequenceQuality(ImageSequence seqID, CodecQ spatialQuality, CodecQ temporalQuality);

// The most bytes one frame of the source rectangle (null: the pixel map's bounds; src may be null when a
// rectangle is given) can take in cType. noCodecErr for a type without an encoder, paramErr for null
// arguments or an empty rectangle.
OSErr GetMaxCompressionSize(PixMapHandle src, const Rect *srcRect, SInt16 colorDepth, CodecQ quality, CodecType cType,
                            CompressorComponent codec, SInt32 *size);

// Compresses one image (srcRect null: the whole pixel map) into data (GetMaxCompressionSize bytes) and
// fills desc as CompressSequenceBegin does, with dataSize set to the compressed size.
OSErr CompressImage(PixMapHandle src, const Rect *srcRect, CodecQ quality, CodecType cType,
                    ImageDescriptionHandle desc, Ptr data);

// Whether this platform has an encoder for cType.
Boolean PL_HasEncoder(CodecType cType);

// Ends a compression sequence: true when seqID was one (and it is ended now), false for any other number.
// CDSequenceEnd calls it first and handles decompression sequences otherwise.
Boolean PL_EndCompressionSequence(ImageSequence seqID);
