// Audio files read through libavformat (see the header). Everything is learnt when the file opens: the
// stream's format, and a pass over its packets for their count and largest size.
#include "platform/movie/audio_files.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/audio_codecs.h"
#include "platform/movie/sound_description_properties.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstring>
#include <string>
#include <vector>

struct PL_AudioFileRecord {
  AudioFileTypeID type = 0;
  AudioStreamBasicDescription format{};
  UInt64 packetCount = 0;
  UInt32 maxPacketSize = 0;
  std::vector<UInt8> layout;
  std::vector<UInt8> cookie;
};

namespace {

// The linear PCM formats libavformat reads from these files.
bool PCMFormatOf(AVCodecID id, AudioStreamBasicDescription *a) {
  UInt32 bits = 0;
  AudioFormatFlags flags = kAudioFormatFlagIsPacked;
  switch (id) {
    case AV_CODEC_ID_PCM_U8: bits = 8; break;
    case AV_CODEC_ID_PCM_S8: bits = 8, flags |= kAudioFormatFlagIsSignedInteger; break;
    case AV_CODEC_ID_PCM_S16LE: bits = 16, flags |= kAudioFormatFlagIsSignedInteger; break;
    case AV_CODEC_ID_PCM_S16BE: bits = 16, flags |= kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian; break;
    case AV_CODEC_ID_PCM_S24LE: bits = 24, flags |= kAudioFormatFlagIsSignedInteger; break;
    case AV_CODEC_ID_PCM_S24BE: bits = 24, flags |= kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian; break;
    case AV_CODEC_ID_PCM_S32LE: bits = 32, flags |= kAudioFormatFlagIsSignedInteger; break;
    case AV_CODEC_ID_PCM_S32BE: bits = 32, flags |= kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian; break;
    case AV_CODEC_ID_PCM_F32LE: bits = 32, flags |= kAudioFormatFlagIsFloat; break;
    case AV_CODEC_ID_PCM_F32BE: bits = 32, flags |= kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian; break;
    case AV_CODEC_ID_PCM_F64LE: bits = 64, flags |= kAudioFormatFlagIsFloat; break;
    case AV_CODEC_ID_PCM_F64BE: bits = 64, flags |= kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian; break;
    default: return false;
  }
  a->mFormatID = kAudioFormatLinearPCM;
  a->mFormatFlags = flags;
  a->mBitsPerChannel = bits;
  a->mFramesPerPacket = 1;
  a->mBytesPerFrame = a->mBytesPerPacket = a->mChannelsPerFrame * (bits / 8);
  return true;
}

bool CompressedFormatOf(const AVCodecParameters *par, AudioStreamBasicDescription *a) {
  const UInt32 channels = a->mChannelsPerFrame;
  switch (par->codec_id) {
    case AV_CODEC_ID_AAC: a->mFormatID = kAudioFormatMPEG4AAC, a->mFramesPerPacket = 1024; break;
    case AV_CODEC_ID_ALAC:
      a->mFormatID = kAudioFormatAppleLossless;
      a->mFramesPerPacket = par->extradata_size >= 16 ? (UInt32(par->extradata[12]) << 24 | UInt32(par->extradata[13]) << 16 |
                                                         UInt32(par->extradata[14]) << 8 | par->extradata[15])
                                                      : 4096;
      break;
    case AV_CODEC_ID_ADPCM_IMA_QT:
      a->mFormatID = kAudioFormatAppleIMA4, a->mFramesPerPacket = 64, a->mBytesPerPacket = 34 * channels;
      break;
    case AV_CODEC_ID_PCM_MULAW:
    case AV_CODEC_ID_PCM_ALAW:
      a->mFormatID = par->codec_id == AV_CODEC_ID_PCM_MULAW ? kAudioFormatULaw : kAudioFormatALaw;
      a->mFramesPerPacket = 1, a->mBytesPerPacket = a->mBytesPerFrame = channels, a->mBitsPerChannel = 8;
      break;
    default: return false;
  }
  return true;
}

AudioFileTypeID TypeOf(const char *demuxer) {
  const std::string name(demuxer);
  if (name == "aiff") return kAudioFileAIFFType;
  if (name == "wav") return kAudioFileWAVEType;
  if (name == "caf") return kAudioFileCAFType;
  return 0;
}

OSStatus Put(const void *value, UInt32 size, UInt32 *ioDataSize, void *out) {
  if (ioDataSize == nullptr || *ioDataSize < size || (out == nullptr && size > 0)) return kAudioFileBadPropertySizeError;
  if (size > 0) std::memcpy(out, value, size);
  *ioDataSize = size;
  return noErr;
}

}  // namespace

OSStatus AudioFileOpen(const FSRef *inFileRef, SInt8, AudioFileTypeID, AudioFileID *outAudioFile) {
  if (outAudioFile == nullptr || inFileRef == nullptr) return paramErr;
  *outAudioFile = nullptr;
  std::string path;
  OSStatus err = PL_FSRefMakePathString(inFileRef, &path);
  if (err != noErr) return err;
  AVFormatContext *context = nullptr;
  if (avformat_open_input(&context, ("file:" + path).c_str(), nullptr, nullptr) < 0) return kAudioFileUnsupportedFileTypeError;
  auto file = new (std::nothrow) PL_AudioFileRecord;
  err = file != nullptr ? noErr : OSStatus(memFullErr);
  int stream = -1;
  if (err == noErr) {
    file->type = TypeOf(context->iformat->name);
    if (avformat_find_stream_info(context, nullptr) < 0) err = kAudioFileInvalidFileError;
    if (err == noErr) stream = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (err == noErr && (file->type == 0 || stream < 0)) err = kAudioFileUnsupportedFileTypeError;
  }
  if (err == noErr) {
    const AVCodecParameters *par = context->streams[stream]->codecpar;
    AudioStreamBasicDescription &a = file->format;
    a.mSampleRate = par->sample_rate;
    a.mChannelsPerFrame = UInt32(par->ch_layout.nb_channels);
    if (!PCMFormatOf(par->codec_id, &a) && !CompressedFormatOf(par, &a)) err = kAudioFileUnsupportedFileTypeError;
    if (err == noErr && (a.mChannelsPerFrame == 0 || !(a.mSampleRate > 0))) err = kAudioFileInvalidFileError;
    if (err == noErr) {
      file->layout = PL_DefaultChannelLayout(a.mChannelsPerFrame);
      if (par->extradata != nullptr && par->extradata_size > 0) {
        const std::vector<UInt8> extradata(par->extradata, par->extradata + par->extradata_size);
        if (a.mFormatID == kAudioFormatMPEG4AAC) file->cookie = PL_MakeEsdsAtom(extradata, UInt32(par->bit_rate));
        else if (a.mFormatID == kAudioFormatAppleLossless && extradata.size() >= 36) file->cookie = extradata;
      }
    }
  }
  // The packets: their count and largest size (linear PCM counts frames).
  if (err == noErr) {
    AVPacket *packet = av_packet_alloc();
    if (packet == nullptr) err = memFullErr;
    UInt64 bytes = 0;
    while (err == noErr) {
      const int r = av_read_frame(context, packet);
      if (r == AVERROR_EOF) break;
      if (r < 0) {
        err = kAudioFileInvalidFileError;
        break;
      }
      if (packet->stream_index == stream) {
        ++file->packetCount;
        bytes += UInt64(packet->size);
        file->maxPacketSize = std::max(file->maxPacketSize, UInt32(packet->size));
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    const AudioStreamBasicDescription &a = file->format;
    if (err == noErr && a.mFormatID == kAudioFormatLinearPCM) {
      file->packetCount = bytes / a.mBytesPerFrame;
      file->maxPacketSize = a.mBytesPerFrame;
    } else if (err == noErr && a.mBytesPerPacket != 0 && a.mFormatID != kAudioFormatLinearPCM) {
      file->packetCount = bytes / a.mBytesPerPacket;
      file->maxPacketSize = a.mBytesPerPacket;
    }
  }
  avformat_close_input(&context);
  if (err != noErr) {
    delete file;
    return err;
  }
  *outAudioFile = file;
  return noErr;
}

OSStatus AudioFileClose(AudioFileID inAudioFile) {
  if (inAudioFile == nullptr) return paramErr;
  delete inAudioFile;
  return noErr;
}

OSStatus AudioFileGetPropertyInfo(AudioFileID inAudioFile, AudioFilePropertyID inPropertyID, UInt32 *outDataSize,
                                  UInt32 *isWritable) {
  if (inAudioFile == nullptr) return paramErr;
  UInt32 size = 0;
  switch (inPropertyID) {
    case kAudioFilePropertyFileFormat: size = sizeof(AudioFileTypeID); break;
    case kAudioFilePropertyDataFormat: size = sizeof(AudioStreamBasicDescription); break;
    case kAudioFilePropertyAudioDataPacketCount: size = sizeof(UInt64); break;
    case kAudioFilePropertyMaximumPacketSize: size = sizeof(UInt32); break;
    case kAudioFilePropertyChannelLayout: size = UInt32(inAudioFile->layout.size()); break;
    case kAudioFilePropertyMagicCookieData: size = UInt32(inAudioFile->cookie.size()); break;
    default: return kAudioFileUnsupportedPropertyError;
  }
  if (outDataSize) *outDataSize = size;
  if (isWritable) *isWritable = 0;
  return noErr;
}

OSStatus AudioFileGetProperty(AudioFileID inAudioFile, AudioFilePropertyID inPropertyID, UInt32 *ioDataSize,
                              void *outPropertyData) {
  if (inAudioFile == nullptr) return paramErr;
  switch (inPropertyID) {
    case kAudioFilePropertyFileFormat: return Put(&inAudioFile->type, sizeof(AudioFileTypeID), ioDataSize, outPropertyData);
    case kAudioFilePropertyDataFormat:
      return Put(&inAudioFile->format, sizeof(AudioStreamBasicDescription), ioDataSize, outPropertyData);
    case kAudioFilePropertyAudioDataPacketCount:
      return Put(&inAudioFile->packetCount, sizeof(UInt64), ioDataSize, outPropertyData);
    case kAudioFilePropertyMaximumPacketSize:
      return Put(&inAudioFile->maxPacketSize, sizeof(UInt32), ioDataSize, outPropertyData);
    case kAudioFilePropertyChannelLayout:
      return Put(inAudioFile->layout.data(), UInt32(inAudioFile->layout.size()), ioDataSize, outPropertyData);
    case kAudioFilePropertyMagicCookieData:
      return Put(inAudioFile->cookie.data(), UInt32(inAudioFile->cookie.size()), ioDataSize, outPropertyData);
    default: return kAudioFileUnsupportedPropertyError;
  }
}

OSStatus AudioFileSetProperty(AudioFileID inAudioFile, AudioFilePropertyID inPropertyID, UInt32, const void *) {
  if (inAudioFile == nullptr) return paramErr;
  switch (inPropertyID) {
    case kAudioFilePropertyFileFormat:
    case kAudioFilePropertyDataFormat:
    case kAudioFilePropertyAudioDataPacketCount:
    case kAudioFilePropertyMaximumPacketSize:
    case kAudioFilePropertyChannelLayout:
    case kAudioFilePropertyMagicCookieData: return kAudioFilePermissionsError;
    default: return kAudioFileUnsupportedPropertyError;
  }
}
