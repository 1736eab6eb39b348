// Image Compression Manager stand-in, decompression: single images and decompression sequences from a
// codec type and its image description into an offscreen graphics world, and the decoder of a media's
// pictures by time that drawing a movie builds on.
//
// Decoders: the uncompressed 4:2:2 formats '2vuy', 'yuvs', 'yuv2' and 'yuvu' (laid out as 'yuv2', chroma
// signed) are our own byte reorders, and 'y420' (planar 4:2:0 behind its 32-byte header, the planes where
// the header says) our own reader; DV ('dvc ', 'dvcp', 'dvpp', 'dv5n', 'dv5p', DVCPRO HD), JPEG and
// Motion-JPEG ('jpeg', 'mjpa' with its two fields in one sample, 'mjpb'), H.264 ('avc1', with its 'avcC'
// extension), MPEG-4 ('mp4v', with its 'esds') and the other QuickTime types libavcodec knows decode through
// libavcodec. Targets: '2vuy', 'yuvs', 'yuv2', 'yuvu', 'y420' (through its planar header), 32-bit ARGB
// (bytes A, R, G, B), 'BGRA', 'RGBA', 24-bit RGB, 16-bit 555 and 8-bit grey (depth 40). Levels are kept as
// the decoder gives them into Y'CbCr targets (a full-range JPEG is scaled to video range) and chroma is
// resampled as libswscale's bicubic converter does; RGB targets get full-range RGB. No gamma conversion is
// made: the target's pixel map is told the gamma its pixels have (the description's, or the codec's default).
//
// Threads: a sequence or decoder is used by one thread at a time; different ones run in parallel.
#pragma once

#include "platform/core/offscreen_worlds.h"
#include "platform/core/matrix_math.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/movie_types.h"

// ImageSequence, CodecFlags, the completion record and its flags are the codec records' (codec_info.h),
// shared with compression sequences.
struct ICMFrameTimeRecord;
typedef const ICMFrameTimeRecord *ICMFrameTimePtr;

// Transfer modes accepted: srcCopy and dither copy, which is the same here.
enum : SInt16 { ditherCopy = 64 };

// ---- Single images ----

// Decompresses the image (`data` holds the description's dataSize bytes, or a whole frame for codecs
// that state none) into the pixel map, mapping srcRect of the image (NULL: all of it) onto dstRect of
// the map (NULL: the map's bounds). noCodecErr for a codec without a decoder here, codecBadDataErr for
// data that does not decode, cDepthErr for a target format not offered, paramErr for bad arguments.
OSErr DecompressImage(Ptr data, ImageDescriptionHandle desc, PixMapHandle dst, const Rect *srcRect,
                      const Rect *dstRect, SInt16 mode, RgnHandle mask);
// The same with the size of the data known (it is checked against what the codec needs).
OSErr PL_DecompressImageWithSize(const void *data, size_t dataSize, ImageDescriptionHandle desc, PixMapHandle dst,
                                 const Rect *srcRect, const Rect *dstRect);

// ---- Sequences ----

// Begins a sequence that decompresses frames of `desc` into `port` (an offscreen world): srcRect of the
// image (NULL: all) is mapped through `matrix` (NULL: identity; scale and translation only, others give
// codecUnimpErr) into the world; parts outside the world are clipped. A non-null `data` is decompressed
// as the first frame. The description is copied. Owned: CDSequenceEnd.
OSErr DecompressSequenceBeginS(ImageSequence *seqID, ImageDescriptionHandle desc, Ptr data, SInt32 dataSize,
                               CGrafPtr port, GDHandle gdh, const Rect *srcRect, MatrixRecordPtr matrix,
                               SInt16 mode, RgnHandle mask, CodecFlags flags, CodecQ accuracy,
                               DecompressorComponent codec);
// Decompresses one frame. Frames are done at once: with a completion record, its procedure is called
// with the result (and both completion flags) before the call returns, and the call returns noErr; the
// procedure then owns what its refCon points at. Without one, the result is returned.
// *outFlags (may be NULL) gets 0.
OSErr DecompressSequenceFrameS(ImageSequence seqID, Ptr data, SInt32 dataSize, CodecFlags inFlags,
                               CodecFlags *outFlags, ICMCompletionProcRecordPtr asyncCompletionProc);
// The same; a frame time other than NULL (scheduled display) is not offered: paramErr.
OSErr DecompressSequenceFrameWhen(ImageSequence seqID, Ptr data, SInt32 dataSize, CodecFlags inFlags,
                                  CodecFlags *outFlags, ICMCompletionProcRecordPtr asyncCompletionProc,
                                  ICMFrameTimePtr frameTime);
// Whether the sequence's decoder can go on with frames of newDesc (same codec, size, depth, colour table
// and extensions). paramErr for an unknown sequence or a null description.
OSErr CDSequenceEquivalentImageDescription(ImageSequence seqID, ImageDescriptionHandle newDesc, Boolean *equivalent);
// Ends a sequence of either kind: compression sequences (numbers from kPL_FirstCompressionSequenceID on)
// go to the compression side when it is linked; decompression sequences are numbered below it. 0 is
// ignored (noErr); an unknown number gives paramErr.
OSErr CDSequenceEnd(ImageSequence seqID);

// ---- Our own helpers ----

// True when a decoder exists for the codec type.
Boolean PL_CanDecompressCodecType(OSType cType);
// True when frames can be drawn into worlds of this pixel format.
Boolean PL_CanDecompressToPixelFormat(OSType pixelFormat);

// The pictures of a media, decoded by media (display) time: one decoder kept open, sequential times
// decoded on from the previous picture, other times from the sync sample before them. Descriptions that
// change between samples reopen the decoder.
struct PL_MediaDecoder;
// Owned: PL_DisposeMediaDecoder. invalidMedia for a null or non-video media.
OSErr PL_NewMediaDecoder(Media media, PL_MediaDecoder **decoder);
void PL_DisposeMediaDecoder(PL_MediaDecoder *decoder);
// Decodes the picture shown at media time `mediaTime` and draws all of it onto dstRect of the map
// (clipped to the map). *gamma (may be NULL) gets the gamma of the picture's description.
// invalidTime outside the media; read errors and codec errors as above.
OSErr PL_MediaDecoderDraw(PL_MediaDecoder *decoder, TimeValue64 mediaTime, PixMapHandle dst, const Rect *dstRect,
                          Fixed *gamma);
// The pixel format the codec of the media's first picture gives natively, decoded to find out:
// kYUV420PixelFormat for planar 4:2:0, k2vuyPixelFormat for 4:2:2, 0 for anything else (4:1:1, RGB...).
// invalidMedia for a media without video samples; read and codec errors as above.
OSErr PL_GetMediaDecodedPixelFormat(Media media, OSType *pixelFormat);
// Counters for tests: samples sent to the codec and decoder (re)starts since the decoder was made.
void PL_MediaDecoderCounts(const PL_MediaDecoder *decoder, SInt64 *samplesDecoded, SInt64 *restarts);
