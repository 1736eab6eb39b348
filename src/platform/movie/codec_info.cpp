// The codec information table of the Image Compression Manager stand-in.
#include "platform/movie/codec_info.h"

#include "platform/core/mac_errors.h"

#include <cstring>

namespace {

struct CodecEntry {
  CodecType type;
  const char *name;
  SInt16 version;
  SInt16 revision;
};

// The codecs this platform reads or writes: uncompressed formats by our own code, the rest through
// libavcodec. Names are what the codec lists show.
constexpr CodecEntry kCodecs[] = {
    {'2vuy', "8-bit 4:2:2 Component Y'CbCr", 1, 1},
    {'yuv2', "Component Video", 1, 0},
    {'yuvs', "Component Y'CbCr 8-bit 4:2:2", 1, 0},
    {'v210', "10-bit 4:2:2 Component Y'CbCr", 1, 0},
    {'y420', "Y'CbCr 4:2:0", 1, 0},
    {'raw ', "None", 1, 0},
    {'smc ', "Graphics", 1, 0},
    {'rle ', "Animation", 1, 0},
    {'jpeg', "Photo - JPEG", 1, 0},
    {'mjpa', "Motion JPEG A", 1, 0},
    {'mjpb', "Motion JPEG B", 1, 0},
    {'dvc ', "DV - NTSC", 1, 0},
    {'dvcp', "DV - PAL", 1, 0},
    {'dvpp', "DVCPRO - PAL", 1, 0},
    {'dv5n', "DVCPRO50 - NTSC", 1, 0},
    {'dv5p', "DVCPRO50 - PAL", 1, 0},
};

}  // namespace

OSErr GetCodecInfo(CodecInfo *info, CodecType cType, CodecComponent) {
  if (info == nullptr) return paramErr;
  for (const CodecEntry &e : kCodecs) {
    if (e.type != cType) continue;
    std::memset(info, 0, sizeof(*info));
    size_t n = std::strlen(e.name);
    info->typeName[0] = UInt8(n);
    std::memcpy(info->typeName + 1, e.name, n);
    info->version = e.version;
    info->revisionLevel = e.revision;
    info->vendor = SInt32('appl');
    info->compressionAccuracy = 0xFF;
    info->decompressionAccuracy = 0xFF;
    return noErr;
  }
  return noCodecErr;
}
