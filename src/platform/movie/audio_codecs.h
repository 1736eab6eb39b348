// The sound stand-ins' shared work on samples: linear PCM of any Core Audio layout to and from interleaved
// doubles (exact for every integer size up to 32 bits), and compressed formats decoded and encoded through
// libavcodec: AAC ('aac '), Apple Lossless ('alac'), IMA 4:1 ('ima4'), mu-law and A-law ('ulaw', 'alaw'),
// and for decoding also MPEG layer 3 and AC-3. Formats without a codec here (the QDesign, MACE and QUALCOMM
// families among them) give noCodecErr.
//
// Codec atoms (a magic cookie) are those of sound_description_properties.h: 'esds' for AAC, 'alac' for
// Apple Lossless. Each object belongs to one thread at a time.
#pragma once

#include "platform/movie/core_audio_types.h"
#include "platform/movie/sound_description_properties.h"

#include <vector>

// ---- Linear PCM ----

// Bytes of one sample of each channel.
inline UInt32 PL_PCMSampleBytes(const AudioStreamBasicDescription &f) { return f.mBitsPerChannel / 8; }
// True for linear PCM this code reads and writes: integers of 8, 16, 24 or 32 bits, floats of 32 or 64.
bool PL_IsSupportedPCM(const AudioStreamBasicDescription &f);
// `frames` frames of interleaved samples (each frame `channels` samples of the format) to doubles on -1..1
// (integers divided by 2^(bits - 1)), appended to out.
void PL_PCMToDoubles(const AudioStreamBasicDescription &f, UInt32 channels, const void *bytes, size_t frames,
                     std::vector<double> *out);
// The reverse: doubles (clamped, integers rounded to nearest) into `frames` frames of the format.
void PL_DoublesToPCM(const AudioStreamBasicDescription &f, UInt32 channels, const double *in, size_t frames, void *bytes);

// An 'esds' atom (header included) for an AAC stream of this AudioSpecificConfig and average bit rate.
std::vector<UInt8> PL_MakeEsdsAtom(const std::vector<UInt8> &audioSpecificConfig, UInt32 bitRate);

// ---- Decoding ----

struct PL_AudioDecoder;
// A decoder for the format's packets; noCodecErr when no codec here decodes it, paramErr for a format
// without channels or rate, codecOpenErr when the codec refuses its parameters.
OSStatus PL_NewAudioDecoder(const PL_SoundFormat &format, PL_AudioDecoder **decoder);
void PL_DisposeAudioDecoder(PL_AudioDecoder *decoder);
// Decodes one packet (for 'ima4', any whole number of packets), appending interleaved doubles of the
// format's channels; a null packet drains what the codec holds. codecBadDataErr for a packet it cannot
// read.
OSStatus PL_AudioDecode(PL_AudioDecoder *decoder, const UInt8 *packet, size_t size, std::vector<double> *out);
// Frames of silence the codec puts before the first sound (0 when it says nothing).
UInt32 PL_AudioDecoderDelay(PL_AudioDecoder *decoder);

// ---- Encoding ----

struct PL_AudioEncoder;
struct PL_EncodedPacket {
  std::vector<UInt8> bytes;
  UInt32 frames;
};
// An encoder producing `format` (its rate and channels; for Apple Lossless its bits per channel, 16 or 24)
// from interleaved doubles; bitRate 0 takes the codec's default. noCodecErr for a format without an
// encoder here.
OSStatus PL_NewAudioEncoder(const AudioStreamBasicDescription &format, UInt32 bitRate, PL_AudioEncoder **encoder);
void PL_DisposeAudioEncoder(PL_AudioEncoder *encoder);
// Frames each packet holds (0: any number, as for mu-law).
UInt32 PL_AudioEncoderFramesPerPacket(PL_AudioEncoder *encoder);
// The largest packet the encoder can give, in bytes.
UInt32 PL_AudioEncoderMaxPacketSize(PL_AudioEncoder *encoder);
// Bytes of every packet when they are all alike (IMA 4:1, mu-law per frame), else 0.
UInt32 PL_AudioEncoderConstantPacketSize(PL_AudioEncoder *encoder);
// The codec atoms a decoder needs (empty when none).
std::vector<UInt8> PL_AudioEncoderCookie(PL_AudioEncoder *encoder);
// Frames of priming the encoder puts before the source's first frame.
UInt32 PL_AudioEncoderPriming(PL_AudioEncoder *encoder);
// Encodes frames (interleaved doubles); count 0 ends the stream and drains the codec. Whole packets are
// appended to packets.
OSStatus PL_AudioEncode(PL_AudioEncoder *encoder, const double *frames, size_t count,
                        std::vector<PL_EncodedPacket> *packets);
