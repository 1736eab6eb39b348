// Sound descriptions as Core Audio formats (see the header).
#include "platform/movie/sound_description_properties.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/image_descriptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kV0Size = sizeof(SoundDescription);
constexpr size_t kV1Size = sizeof(SoundDescriptionV1);
constexpr size_t kV2Size = sizeof(SoundDescriptionV2);

void PutAtom(std::vector<UInt8> *out, OSType type, const UInt8 *payload, size_t size) {
  const size_t at = out->size();
  out->resize(at + 8 + size);
  PL_PutBE32(out->data() + at, UInt32(8 + size));
  PL_PutBE32(out->data() + at + 4, type);
  if (size > 0) std::memcpy(out->data() + at + 8, payload, size);
}

// Calls visit(type, payload, size) for each atom of a run; false when one does not fit (an atom of size 0
// or type 0 ends the run, as the terminator inside 'wave' does).
template <typename Visit>
bool ForEachAtom(const UInt8 *p, size_t size, Visit visit) {
  size_t at = 0;
  while (at + 8 <= size) {
    const UInt32 atomSize = PL_GetBE32(p + at);
    const OSType type = PL_GetBE32(p + at + 4);
    if (atomSize == 0 || type == 0) return true;
    if (atomSize < 8 || atomSize > size - at) return false;
    visit(type, p + at + 8, size_t(atomSize - 8));
    at += atomSize;
  }
  return true;
}

// The 'chan' payload (version, flags, then the layout, big-endian) as a native layout.
bool ReadChanPayload(const UInt8 *p, size_t size, std::vector<UInt8> *layout) {
  if (size < 16) return false;
  const UInt32 count = PL_GetBE32(p + 12);
  if (count > (size - 16) / 20) return false;
  layout->assign(PL_AudioChannelLayoutSize(count > 0 ? count : 1), 0);
  auto *l = reinterpret_cast<AudioChannelLayout *>(layout->data());
  l->mChannelLayoutTag = PL_GetBE32(p + 4);
  l->mChannelBitmap = PL_GetBE32(p + 8);
  l->mNumberChannelDescriptions = count;
  for (UInt32 i = 0; i < count; ++i) {
    const UInt8 *d = p + 16 + 20 * i;
    AudioChannelDescription &c = l->mChannelDescriptions[i];
    c.mChannelLabel = PL_GetBE32(d);
    c.mChannelFlags = PL_GetBE32(d + 4);
    for (int k = 0; k < 3; ++k) {
      const UInt32 bits = PL_GetBE32(d + 8 + 4 * k);
      std::memcpy(&c.mCoordinates[k], &bits, 4);
    }
  }
  layout->resize(PL_AudioChannelLayoutSize(count));
  return true;
}

std::vector<UInt8> MakeChanPayload(const AudioChannelLayout *layout, ByteCount size) {
  const UInt32 count = size >= PL_AudioChannelLayoutSize(0) ? layout->mNumberChannelDescriptions : 0;
  const UInt32 fit = UInt32(std::min<ByteCount>(count, (size - std::min(size, PL_AudioChannelLayoutSize(0))) /
                                                           sizeof(AudioChannelDescription)));
  std::vector<UInt8> out(16 + 20 * size_t(fit), 0);
  PL_PutBE32(out.data() + 4, layout->mChannelLayoutTag);
  PL_PutBE32(out.data() + 8, layout->mChannelBitmap);
  PL_PutBE32(out.data() + 12, fit);
  for (UInt32 i = 0; i < fit; ++i) {
    const AudioChannelDescription &c = layout->mChannelDescriptions[i];
    UInt8 *d = out.data() + 16 + 20 * i;
    PL_PutBE32(d, c.mChannelLabel);
    PL_PutBE32(d + 4, c.mChannelFlags);
    for (int k = 0; k < 3; ++k) {
      UInt32 bits;
      std::memcpy(&bits, &c.mCoordinates[k], 4);
      PL_PutBE32(d + 8 + 4 * k, bits);
    }
  }
  return out;
}

bool IsWholeRate(Float64 rate) { return rate > 0 && rate <= 65535 && rate == std::floor(rate); }

// The description's data format for a Core Audio format.
OSType DataFormatOf(const AudioStreamBasicDescription &a) {
  if (a.mFormatID == kAudioFormatMPEG4AAC) return 'mp4a';
  return a.mFormatID;
}

// Linear PCM that a version 0 description holds: 8- or 16-bit integers, interleaved and packed.
bool FitsVersion0(const AudioStreamBasicDescription &a) {
  if (!IsWholeRate(a.mSampleRate) || a.mChannelsPerFrame == 0 || a.mChannelsPerFrame > 2) return false;
  if (a.mFormatID == kAudioFormatULaw || a.mFormatID == kAudioFormatALaw) return true;
  return a.mFormatID == kAudioFormatLinearPCM && !(a.mFormatFlags & kAudioFormatFlagIsFloat) &&
         !(a.mFormatFlags & kAudioFormatFlagIsNonInterleaved) && (a.mBitsPerChannel == 8 || a.mBitsPerChannel == 16);
}

bool FitsVersion1(const AudioStreamBasicDescription &a) {
  return a.mFormatID != kAudioFormatLinearPCM && IsWholeRate(a.mSampleRate) && a.mChannelsPerFrame > 0 &&
         a.mChannelsPerFrame <= 2;
}

bool ValidLinearPCM(const AudioStreamBasicDescription &a) {
  if (a.mFormatFlags & kAudioFormatFlagIsFloat) return a.mBitsPerChannel == 32 || a.mBitsPerChannel == 64;
  return a.mBitsPerChannel == 8 || a.mBitsPerChannel == 16 || a.mBitsPerChannel == 24 || a.mBitsPerChannel == 32;
}

OSStatus ReadFormat(const UInt8 *p, size_t size, PL_SoundFormat *f) {
  if (size < kV0Size) return paramErr;
  SoundDescription sd;
  std::memcpy(&sd, p, sizeof sd);
  f->dataFormat = sd.dataFormat;
  f->version = sd.version;
  f->sampleSize = sd.sampleSize;
  f->layout.clear();
  f->cookie.clear();
  AudioStreamBasicDescription &a = f->asbd;
  a = AudioStreamBasicDescription{};
  size_t fixed = kV0Size;
  a.mChannelsPerFrame = UInt32(std::max<SInt16>(sd.numChannels, 0));
  a.mSampleRate = double(sd.sampleRate) / 65536.0;
  UInt32 samplesPerPacket = 0, bytesPerFrame = 0;
  if (sd.version == 1) {
    if (size < kV1Size) return paramErr;
    SoundDescriptionV1 v1;
    std::memcpy(&v1, p, sizeof v1);
    fixed = kV1Size;
    samplesPerPacket = v1.samplesPerPacket;
    bytesPerFrame = v1.bytesPerFrame;
  } else if (sd.version == 2) {
    if (size < kV2Size) return paramErr;
    SoundDescriptionV2 v2;
    std::memcpy(&v2, p, sizeof v2);
    fixed = std::max<size_t>(kV2Size, v2.sizeOfStructOnly);
    if (fixed > size) return paramErr;
    a.mSampleRate = v2.audioSampleRate;
    a.mChannelsPerFrame = v2.numAudioChannels;
    a.mBitsPerChannel = v2.constBitsPerChannel;
    a.mFormatFlags = v2.formatSpecificFlags;
    a.mBytesPerPacket = v2.constBytesPerAudioPacket;
    a.mFramesPerPacket = v2.constLPCMFramesPerAudioPacket;
  }
  // The extensions: a channel layout, and the codec's atoms, directly or inside 'wave'.
  bool littleEndian = false, fits = true;
  fits = ForEachAtom(p + fixed, size - fixed, [&](OSType type, const UInt8 *payload, size_t n) {
    if (type == 'chan') {
      ReadChanPayload(payload, n, &f->layout);
    } else if (type == 'wave') {
      fits = ForEachAtom(payload, n, [&](OSType inner, const UInt8 *q, size_t m) {
        if (inner == 'enda') {
          littleEndian = m >= 2 && PL_GetBE16(q) != 0;
        } else if (inner == 'chan') {
          ReadChanPayload(q, m, &f->layout);
        } else if (inner != 'frma' && !(inner == 'mp4a' && m <= 4)) {
          PutAtom(&f->cookie, inner, q, m);
        }
      }) && fits;
    } else if (type == 'esds' || type == 'alac') {
      PutAtom(&f->cookie, type, payload, n);
    }
  }) && fits;
  if (!fits) return paramErr;

  const UInt32 channels = a.mChannelsPerFrame;
  auto pcm = [&](UInt32 bits, AudioFormatFlags flags) {
    a.mFormatID = kAudioFormatLinearPCM;
    a.mBitsPerChannel = bits;
    a.mFormatFlags = flags | kAudioFormatFlagIsPacked;
    a.mFramesPerPacket = 1;
    a.mBytesPerFrame = a.mBytesPerPacket = channels * (bits / 8);
  };
  const AudioFormatFlags endian = littleEndian ? 0u : AudioFormatFlags(kAudioFormatFlagIsBigEndian);
  switch (sd.dataFormat) {
    case 'twos':
    case 'NONE': pcm(UInt32(sd.sampleSize), kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger); break;
    case 'sowt': pcm(UInt32(sd.sampleSize), kAudioFormatFlagIsSignedInteger); break;
    case 'raw ': pcm(8, 0u); break;
    case 'in24': pcm(24, endian | kAudioFormatFlagIsSignedInteger); break;
    case 'in32': pcm(32, endian | kAudioFormatFlagIsSignedInteger); break;
    case 'fl32': pcm(32, endian | kAudioFormatFlagIsFloat); break;
    case 'fl64': pcm(64, endian | kAudioFormatFlagIsFloat); break;
    case 'lpcm':
      a.mFormatID = kAudioFormatLinearPCM;
      if (a.mFramesPerPacket == 0) a.mFramesPerPacket = 1;
      if (a.mBytesPerFrame == 0) a.mBytesPerFrame = a.mBytesPerPacket;
      break;
    default:
      a.mFormatID = sd.dataFormat == 'mp4a' ? kAudioFormatMPEG4AAC : sd.dataFormat;
      if (sd.version == 1) {
        a.mFramesPerPacket = samplesPerPacket;
        a.mBytesPerPacket = bytesPerFrame;
      } else if (sd.version == 0) {
        // 'ulaw' and 'alaw' are one byte a sample in version 0.
        a.mFramesPerPacket = 1;
        a.mBytesPerPacket = (sd.dataFormat == 'ulaw' || sd.dataFormat == 'alaw') ? channels : 0;
      }
      a.mBytesPerFrame = a.mFramesPerPacket == 1 ? a.mBytesPerPacket : 0;
      a.mBitsPerChannel = (sd.dataFormat == 'ulaw' || sd.dataFormat == 'alaw') ? 8 : 0;
      a.mFormatFlags = 0;
      break;
  }
  return noErr;
}

OSStatus ReadHandle(SoundDescriptionHandle desc, PL_SoundFormat *f) {
  if (desc == nullptr || *desc == nullptr) return paramErr;
  const Size size = GetHandleSize(reinterpret_cast<Handle>(desc));
  return ReadFormat(reinterpret_cast<const UInt8 *>(*desc), size_t(size), f);
}

QTSoundDescriptionKind KindOfVersion(SInt16 version) {
  return version == 0 ? kQTSoundDescriptionKind_Movie_Version0
         : version == 1 ? kQTSoundDescriptionKind_Movie_Version1
                        : kQTSoundDescriptionKind_Movie_Version2;
}

// Makes the description again with the format's own version and a changed layout or cookie.
OSStatus Remake(SoundDescriptionHandle desc, const PL_SoundFormat &f) {
  SoundDescriptionHandle fresh = nullptr;
  OSStatus err = QTSoundDescriptionCreate(
      &f.asbd, f.layout.empty() ? nullptr : reinterpret_cast<const AudioChannelLayout *>(f.layout.data()),
      f.layout.size(), f.cookie.empty() ? nullptr : f.cookie.data(), f.cookie.size(), KindOfVersion(f.version), &fresh);
  if (err != noErr) return err;
  const Size size = GetHandleSize(reinterpret_cast<Handle>(fresh));
  SetHandleSize(reinterpret_cast<Handle>(desc), size);
  err = MemError();
  if (err == noErr) std::memcpy(*desc, *fresh, size_t(size));
  DisposeHandle(reinterpret_cast<Handle>(fresh));
  return err;
}

}  // namespace

OSStatus QTSoundDescriptionCreate(const AudioStreamBasicDescription *inASBD, const AudioChannelLayout *inLayout,
                                  ByteCount inLayoutSize, const void *inMagicCookie, ByteCount inMagicCookieSize,
                                  QTSoundDescriptionKind inRequestedKind, SoundDescriptionHandle *outSndDesc) {
  if (outSndDesc == nullptr) return paramErr;
  *outSndDesc = nullptr;
  if (inASBD == nullptr || inASBD->mChannelsPerFrame == 0 || !(inASBD->mSampleRate > 0)) return paramErr;
  const AudioStreamBasicDescription &a = *inASBD;
  const bool linear = a.mFormatID == kAudioFormatLinearPCM;
  if (linear && !ValidLinearPCM(a)) return paramErr;
  SInt16 version;
  switch (inRequestedKind) {
    case kQTSoundDescriptionKind_Movie_LowestPossibleVersion:
    case kQTSoundDescriptionKind_Movie_AnyVersion:
      version = FitsVersion0(a) ? 0 : FitsVersion1(a) ? 1 : 2;
      break;
    case kQTSoundDescriptionKind_Movie_Version0: version = 0; break;
    case kQTSoundDescriptionKind_Movie_Version1: version = 1; break;
    case kQTSoundDescriptionKind_Movie_Version2: version = 2; break;
    default: return paramErr;
  }
  if ((version == 0 && !FitsVersion0(a)) || (version == 1 && !FitsVersion1(a) && !FitsVersion0(a))) return paramErr;

  // The extensions.
  std::vector<UInt8> extensions;
  const std::vector<UInt8> cookie(static_cast<const UInt8 *>(inMagicCookie),
                                  static_cast<const UInt8 *>(inMagicCookie) + (inMagicCookie ? inMagicCookieSize : 0));
  if (!cookie.empty() && version > 0) {
    if (!ForEachAtom(cookie.data(), cookie.size(), [](OSType, const UInt8 *, size_t) {})) return paramErr;
    std::vector<UInt8> wave;
    UInt8 frma[4];
    PL_PutBE32(frma, DataFormatOf(a));
    PutAtom(&wave, 'frma', frma, 4);
    if (a.mFormatID == kAudioFormatMPEG4AAC) {
      const UInt8 zero[4] = {};
      PutAtom(&wave, 'mp4a', zero, 4);
    }
    wave.insert(wave.end(), cookie.begin(), cookie.end());
    wave.insert(wave.end(), 8, 0);  // the terminator
    PutAtom(&extensions, 'wave', wave.data(), wave.size());
  }
  if (inLayout != nullptr && inLayoutSize >= PL_AudioChannelLayoutSize(0)) {
    const std::vector<UInt8> chan = MakeChanPayload(inLayout, inLayoutSize);
    PutAtom(&extensions, 'chan', chan.data(), chan.size());
  }

  const size_t fixed = version == 0 ? kV0Size : version == 1 ? kV1Size : kV2Size;
  std::vector<UInt8> bytes(fixed, 0);
  const UInt32 channels = a.mChannelsPerFrame;
  if (version < 2) {
    SoundDescriptionV1 d{};
    d.desc.descSize = SInt32(fixed + extensions.size());
    d.desc.numChannels = SInt16(channels);
    d.desc.sampleRate = UInt32(a.mSampleRate) << 16;
    if (linear) {
      const bool bigEndian = (a.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
      const bool isSigned = (a.mFormatFlags & kAudioFormatFlagIsSignedInteger) != 0;
      d.desc.dataFormat = a.mBitsPerChannel == 8 ? (isSigned ? 'twos' : 'raw ') : bigEndian ? 'twos' : 'sowt';
      d.desc.sampleSize = SInt16(a.mBitsPerChannel);
    } else {
      d.desc.dataFormat = DataFormatOf(a);
      d.desc.sampleSize = SInt16(a.mBitsPerChannel == 8 ? 8 : 16);
    }
    if (version == 1) {
      d.desc.version = 1;
      d.desc.compressionID = SInt16(a.mBytesPerPacket == 0 ? -2 : -1);
      d.samplesPerPacket = a.mFramesPerPacket;
      d.bytesPerPacket = a.mBytesPerPacket / channels;
      d.bytesPerFrame = a.mBytesPerPacket;
      d.bytesPerSample = 2;
    }
    std::memcpy(bytes.data(), &d, fixed);
  } else {
    SoundDescriptionV2 d{};
    d.descSize = SInt32(fixed + extensions.size());
    d.dataFormat = linear ? OSType('lpcm') : DataFormatOf(a);
    d.version = 2;
    d.always3 = 3;
    d.always16 = 16;
    d.alwaysMinus2 = -2;
    d.always65536 = 65536;
    d.sizeOfStructOnly = UInt32(kV2Size);
    d.audioSampleRate = a.mSampleRate;
    d.numAudioChannels = channels;
    d.always7F000000 = 0x7F000000;
    if (linear) {
      d.constBitsPerChannel = a.mBitsPerChannel;
      d.formatSpecificFlags = (a.mFormatFlags | kAudioFormatFlagIsPacked) & ~AudioFormatFlags(kAudioFormatFlagIsNonInterleaved);
      d.constBytesPerAudioPacket = channels * (a.mBitsPerChannel / 8);
      d.constLPCMFramesPerAudioPacket = 1;
    } else {
      d.constBytesPerAudioPacket = a.mBytesPerPacket;
      d.constLPCMFramesPerAudioPacket = a.mFramesPerPacket;
    }
    std::memcpy(bytes.data(), &d, fixed);
  }
  bytes.insert(bytes.end(), extensions.begin(), extensions.end());
  Handle h = nullptr;
  OSErr err = PtrToHand(bytes.data(), &h, Size(bytes.size()));
  if (err != noErr) return err;
  *outSndDesc = reinterpret_cast<SoundDescriptionHandle>(h);
  return noErr;
}

OSStatus QTSoundDescriptionGetPropertyInfo(SoundDescriptionHandle inDesc, QTPropertyClass inPropClass,
                                           QTPropertyID inPropID, OSType *outPropType, ByteCount *outPropValueSize,
                                           UInt32 *outPropertyFlags) {
  if (inPropClass != kQTPropertyClass_SoundDescription) return kQTPropertyNotSupportedErr;
  PL_SoundFormat f;
  OSStatus err = ReadHandle(inDesc, &f);
  if (err != noErr) return err;
  ByteCount size = 0;
  UInt32 flags = kComponentPropertyFlagCanGetNow | kComponentPropertyFlagCanSetNow;
  switch (inPropID) {
    case kQTSoundDescriptionPropertyID_AudioStreamBasicDescription:
      size = sizeof(AudioStreamBasicDescription);
      flags = kComponentPropertyFlagCanGetNow;
      break;
    case kQTSoundDescriptionPropertyID_AudioChannelLayout:
      size = f.layout.empty() ? PL_DefaultChannelLayout(f.asbd.mChannelsPerFrame).size() : f.layout.size();
      break;
    case kQTSoundDescriptionPropertyID_MagicCookie: size = f.cookie.size(); break;
    default: return kQTPropertyNotSupportedErr;
  }
  if (outPropType) *outPropType = inPropID;
  if (outPropValueSize) *outPropValueSize = size;
  if (outPropertyFlags) *outPropertyFlags = flags;
  return noErr;
}

OSStatus QTSoundDescriptionGetProperty(SoundDescriptionHandle inDesc, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, ByteCount inPropValueSize, void *outPropValueAddress,
                                       ByteCount *outPropValueSizeUsed) {
  if (inPropClass != kQTPropertyClass_SoundDescription) return kQTPropertyNotSupportedErr;
  PL_SoundFormat f;
  OSStatus err = ReadHandle(inDesc, &f);
  if (err != noErr) return err;
  std::vector<UInt8> value;
  switch (inPropID) {
    case kQTSoundDescriptionPropertyID_AudioStreamBasicDescription: {
      const UInt8 *p = reinterpret_cast<const UInt8 *>(&f.asbd);
      value.assign(p, p + sizeof f.asbd);
      break;
    }
    case kQTSoundDescriptionPropertyID_AudioChannelLayout:
      value = f.layout.empty() ? PL_DefaultChannelLayout(f.asbd.mChannelsPerFrame) : f.layout;
      break;
    case kQTSoundDescriptionPropertyID_MagicCookie: value = f.cookie; break;
    default: return kQTPropertyNotSupportedErr;
  }
  if (inPropValueSize < value.size() || (outPropValueAddress == nullptr && !value.empty()))
    return kQTPropertyBadValueSizeErr;
  if (!value.empty()) std::memcpy(outPropValueAddress, value.data(), value.size());
  if (outPropValueSizeUsed) *outPropValueSizeUsed = value.size();
  return noErr;
}

OSStatus QTSoundDescriptionSetProperty(SoundDescriptionHandle inDesc, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, ByteCount inPropValueSize, const void *inPropValueAddress) {
  if (inPropClass != kQTPropertyClass_SoundDescription) return kQTPropertyNotSupportedErr;
  PL_SoundFormat f;
  OSStatus err = ReadHandle(inDesc, &f);
  if (err != noErr) return err;
  const UInt8 *p = static_cast<const UInt8 *>(inPropValueAddress);
  switch (inPropID) {
    case kQTSoundDescriptionPropertyID_AudioStreamBasicDescription: return kQTPropertyReadOnlyErr;
    case kQTSoundDescriptionPropertyID_AudioChannelLayout:
      if (p == nullptr || inPropValueSize < PL_AudioChannelLayoutSize(0)) return kQTPropertyBadValueSizeErr;
      f.layout.assign(p, p + inPropValueSize);
      break;
    case kQTSoundDescriptionPropertyID_MagicCookie:
      if (p == nullptr && inPropValueSize > 0) return kQTPropertyBadValueSizeErr;
      f.cookie.assign(p, p + (p ? inPropValueSize : 0));
      break;
    default: return kQTPropertyNotSupportedErr;
  }
  return Remake(inDesc, f);
}

OSStatus PL_ReadSoundFormat(SoundDescriptionHandle desc, PL_SoundFormat *format) {
  if (format == nullptr) return paramErr;
  return ReadHandle(desc, format);
}

bool PL_FindAudioAtom(const std::vector<UInt8> &atoms, OSType type, std::vector<UInt8> *payload) {
  bool found = false;
  ForEachAtom(atoms.data(), atoms.size(), [&](OSType t, const UInt8 *p, size_t n) {
    if (!found && t == type) {
      payload->assign(p, p + n);
      found = true;
    }
  });
  return found;
}

std::vector<UInt8> PL_ChannelLayoutToChan(const AudioChannelLayout *layout, ByteCount size) {
  return MakeChanPayload(layout, size);
}

bool PL_ChannelLayoutFromChan(const UInt8 *payload, size_t size, std::vector<UInt8> *layout) {
  return ReadChanPayload(payload, size, layout);
}

std::vector<UInt8> PL_DefaultChannelLayout(UInt32 channels) {
  std::vector<UInt8> bytes(PL_AudioChannelLayoutSize(0), 0);
  auto *l = reinterpret_cast<AudioChannelLayout *>(bytes.data());
  l->mChannelLayoutTag = channels == 1   ? kAudioChannelLayoutTag_Mono
                         : channels == 2 ? kAudioChannelLayoutTag_Stereo
                                         : (kAudioChannelLayoutTag_DiscreteInOrder | channels);
  return bytes;
}
