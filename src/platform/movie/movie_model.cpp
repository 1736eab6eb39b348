// The movie model: sample runs, time and data references, and sample-description conversions.
// Reading and writing of the movie atom are in movie_atom_reader.cpp and movie_atom_writer.cpp.
#include "platform/movie/movie_model.h"

#include "platform/core/aliases.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

// The description conversions reverse bytes to reach native order.
static_assert(std::endian::native == std::endian::little);

namespace {

// Uncompressed sound formats whose stored sample size of 1 means "one frame of the description's size".
bool IsPcmFormat(OSType format) {
  switch (format) {
    case 'twos':
    case 'sowt':
    case 'raw ':
    case 'NONE':
    case 'in24':
    case 'in32':
    case 'fl32':
    case 'fl64':
    case 'ulaw':
    case 'alaw':
    case 'lpcm':
      return true;
    default:
      return false;
  }
}

SInt16 NativeS16(const UInt8 *p) {
  SInt16 v;
  std::memcpy(&v, p, 2);
  return v;
}
UInt32 NativeU32(const UInt8 *p) {
  UInt32 v;
  std::memcpy(&v, p, 4);
  return v;
}

// Field layouts behind the 16-byte head, as (width in bytes) lists; 0 ends a list. A width of 32 is a
// byte string (the image description's name), 8 a 64-bit value (a double for sound version 2).
constexpr UInt8 kImageFields[] = {2, 2, 4, 4, 4, 2, 2, 4, 4, 4, 2, 32, 2, 2, 0};
constexpr UInt8 kSoundV0Fields[] = {2, 2, 4, 2, 2, 2, 2, 4, 0};
constexpr UInt8 kSoundV1Fields[] = {2, 2, 4, 2, 2, 2, 2, 4, 4, 4, 4, 4, 0};
constexpr UInt8 kSoundV2Fields[] = {2, 2, 4, 2, 2, 2, 2, 4, 4, 8, 4, 4, 4, 4, 4, 4, 0};

size_t LayoutSize(const UInt8 *fields) {
  size_t n = 0;
  for (; *fields != 0; ++fields) n += *fields;
  return n;
}

// Converts fields between big-endian and native order; the same swap serves both directions.
void SwapFields(const UInt8 *fields, const UInt8 *src, UInt8 *dst) {
  for (; *fields != 0; ++fields) {
    size_t w = *fields;
    if (w == 32) {
      std::memcpy(dst, src, 32);
    } else {
      for (size_t i = 0; i < w; ++i) dst[i] = src[w - 1 - i];
    }
    src += w;
    dst += w;
  }
}

const UInt8 *FieldsFor(OSType mediaType, SInt16 soundVersion) {
  if (mediaType == VideoMediaType) return kImageFields;
  if (mediaType == SoundMediaType) {
    if (soundVersion == 1) return kSoundV1Fields;
    if (soundVersion == 2) return kSoundV2Fields;
    return kSoundV0Fields;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<PL_MovieRecord> PL_NewMovieRecord() {
  auto movie = std::make_unique<PL_MovieRecord>();
  PL_SetIdentityMatrix(&movie->matrix);
  return movie;
}

void PL_CloseMovieFiles(PL_MovieRecord *movie) {
  std::lock_guard<std::mutex> lock(movie->filesLock);
  for (auto &entry : movie->openFiles) close(entry.second);
  movie->openFiles.clear();
}

void PL_SetIdentityMatrix(MatrixRecord *matrix) {
  std::memset(matrix, 0, sizeof(*matrix));
  matrix->matrix[0][0] = fixed1;
  matrix->matrix[1][1] = fixed1;
  matrix->matrix[2][2] = fract1;
}

// ---- Sample descriptions ----

size_t PL_DescriptionMinimumSize(OSType mediaType, const UInt8 *native, size_t size) {
  if (mediaType == VideoMediaType) return sizeof(ImageDescription);
  if (mediaType == SoundMediaType) {
    if (size < 18) return sizeof(SoundDescription);
    SInt16 version = NativeS16(native + 16);
    if (version == 1) return sizeof(SoundDescriptionV1);
    if (version == 2) return sizeof(SoundDescriptionV2);
    return sizeof(SoundDescription);
  }
  return sizeof(SampleDescription);
}

OSStatus PL_DescriptionFromStored(OSType mediaType, OSType format, const UInt8 *entry, size_t entrySize,
                                  std::vector<UInt8> *native) {
  if (entrySize < 8) return kPL_MovieAtomErr;
  SInt16 soundVersion = 0;
  if (mediaType == SoundMediaType) {
    if (entrySize < 10) return kPL_MovieAtomErr;
    soundVersion = SInt16(PL_GetBE16(entry + 8));
  }
  const UInt8 *fields = FieldsFor(mediaType, soundVersion);
  size_t fixedSize = fields ? LayoutSize(fields) : 0;
  if (entrySize - 8 < fixedSize) return kPL_MovieAtomErr;
  size_t total = 16 + entrySize - 8;
  if (total > size_t(std::numeric_limits<SInt32>::max())) return kPL_MovieAtomErr;
  try {
    native->assign(total, 0);
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  UInt8 *d = native->data();
  SampleDescription head;
  head.descSize = SInt32(total);
  head.dataFormat = format;
  head.resvd1 = SInt32(PL_GetBE32(entry));
  head.resvd2 = SInt16(PL_GetBE16(entry + 4));
  head.dataRefIndex = SInt16(PL_GetBE16(entry + 6));
  std::memcpy(d, &head, sizeof(head));
  if (fields) SwapFields(fields, entry + 8, d + 16);
  std::memcpy(d + 16 + fixedSize, entry + 8 + fixedSize, entrySize - 8 - fixedSize);
  return noErr;
}

OSStatus PL_DescriptionToStored(OSType mediaType, const std::vector<UInt8> &native, OSType *format,
                                std::vector<UInt8> *entry) {
  if (native.size() < sizeof(SampleDescription)) return paramErr;
  SampleDescription head;
  std::memcpy(&head, native.data(), sizeof(head));
  size_t minimum = PL_DescriptionMinimumSize(mediaType, native.data(), native.size());
  if (head.descSize < 0 || size_t(head.descSize) < minimum || size_t(head.descSize) > native.size()) return paramErr;
  size_t total = size_t(head.descSize);
  SInt16 soundVersion = mediaType == SoundMediaType ? NativeS16(native.data() + 16) : 0;
  const UInt8 *fields = FieldsFor(mediaType, soundVersion);
  size_t fixedSize = fields ? LayoutSize(fields) : 0;
  entry->assign(total - 8, 0);
  UInt8 *e = entry->data();
  PL_PutBE32(e, UInt32(head.resvd1));
  PL_PutBE16(e + 4, UInt16(head.resvd2));
  PL_PutBE16(e + 6, UInt16(head.dataRefIndex));
  if (fields) SwapFields(fields, native.data() + 16, e + 8);
  std::memcpy(e + 8 + fixedSize, native.data() + 16 + fixedSize, total - 16 - fixedSize);
  *format = head.dataFormat;
  return noErr;
}

UInt64 PL_SoundBytesForSamples(const std::vector<UInt8> &native, UInt64 numberOfSamples) {
  if (native.size() < sizeof(SoundDescription)) return 0;
  SoundDescription sd;
  std::memcpy(&sd, native.data(), sizeof(sd));
  auto packets = [numberOfSamples](UInt64 framesPerPacket) {
    return (numberOfSamples + framesPerPacket - 1) / framesPerPacket;
  };
  if (sd.version == 1 && native.size() >= sizeof(SoundDescriptionV1)) {
    UInt32 samplesPerPacket = NativeU32(native.data() + 36);
    UInt32 bytesPerFrame = NativeU32(native.data() + 44);
    if (samplesPerPacket > 0 && bytesPerFrame > 0) return packets(samplesPerPacket) * bytesPerFrame;
  } else if (sd.version == 2 && native.size() >= sizeof(SoundDescriptionV2)) {
    SoundDescriptionV2 v2;
    std::memcpy(&v2, native.data(), sizeof(v2));
    if (v2.constBytesPerAudioPacket > 0 && v2.constLPCMFramesPerAudioPacket > 0)
      return packets(v2.constLPCMFramesPerAudioPacket) * v2.constBytesPerAudioPacket;
    return 0;
  }
  if (!IsPcmFormat(sd.dataFormat) || sd.numChannels <= 0) return 0;
  UInt64 bytesPerChannel = (sd.dataFormat == 'ulaw' || sd.dataFormat == 'alaw') ? 1 : UInt64((sd.sampleSize + 7) / 8);
  if (bytesPerChannel == 0) return 0;
  return numberOfSamples * UInt64(sd.numChannels) * bytesPerChannel;
}

// ---- Sample runs ----

OSStatus PL_MediaAppendRun(PL_MediaRecord *media, SInt64 dataOffset, UInt64 dataSize, UInt32 numberOfSamples,
                           TimeValue durationPerSample, SInt16 sampleFlags, UInt32 descIndex) {
  if (numberOfSamples == 0 || dataOffset < 0 || durationPerSample < 0) return paramErr;
  if (descIndex == 0 || descIndex > media->descriptions.size()) return invalidSampleDescIndex;
  if (dataSize > UInt64(std::numeric_limits<SInt64>::max() - dataOffset)) return paramErr;
  if (media->mediaType != SoundMediaType && dataSize % numberOfSamples != 0) return paramErr;
  SInt64 addedTime = SInt64(numberOfSamples) * durationPerSample;
  if (media->duration > std::numeric_limits<SInt64>::max() / 2 - addedTime) return paramErr;
  if (!media->runs.empty()) {
    PL_SampleRun &last = media->runs.back();
    bool sameShape = last.durationPerSample == durationPerSample && last.sampleFlags == sampleFlags &&
                     last.descIndex == descIndex &&
                     (unsigned __int128)last.dataSize * numberOfSamples ==
                         (unsigned __int128)dataSize * last.numberOfSamples;
    bool contiguous = UInt64(last.dataOffset) + last.dataSize == UInt64(dataOffset);
    if (sameShape && contiguous && UInt64(last.numberOfSamples) + numberOfSamples <= 0xFFFFFFFFu) {
      last.numberOfSamples += numberOfSamples;
      last.dataSize += dataSize;
      media->duration += addedTime;
      media->sampleCount += numberOfSamples;
      return noErr;
    }
  }
  PL_SampleRun run{dataOffset, dataSize, numberOfSamples, durationPerSample, sampleFlags, descIndex,
                    media->duration, media->sampleCount + 1};
  try {
    media->runs.push_back(run);
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  media->duration += addedTime;
  media->sampleCount += numberOfSamples;
  return noErr;
}

bool PL_MediaFindTime(const PL_MediaRecord *media, SInt64 time, size_t *runIndex, UInt32 *sampleInRun) {
  if (time < 0 || time >= media->duration) return false;
  auto it = std::partition_point(media->runs.begin(), media->runs.end(), [time](const PL_SampleRun &r) {
    return r.startTime + SInt64(r.numberOfSamples) * r.durationPerSample <= time;
  });
  if (it == media->runs.end()) return false;
  *runIndex = size_t(it - media->runs.begin());
  *sampleInRun = UInt32((time - it->startTime) / it->durationPerSample);
  return true;
}

bool PL_MediaFindSample(const PL_MediaRecord *media, SInt64 sampleNum, size_t *runIndex, UInt32 *sampleInRun) {
  if (sampleNum < 1 || sampleNum > media->sampleCount) return false;
  auto it = std::partition_point(media->runs.begin(), media->runs.end(), [sampleNum](const PL_SampleRun &r) {
    return r.firstSample + SInt64(r.numberOfSamples) <= sampleNum;
  });
  if (it == media->runs.end()) return false;
  *runIndex = size_t(it - media->runs.begin());
  *sampleInRun = UInt32(sampleNum - it->firstSample);
  return true;
}

void PL_RunSampleSpan(const PL_SampleRun &run, UInt32 sampleInRun, SInt64 *offset, UInt64 *size) {
  auto edge = [&run](UInt64 i) { return UInt64((unsigned __int128)i * run.dataSize / run.numberOfSamples); };
  UInt64 begin = edge(sampleInRun);
  *offset = run.dataOffset + SInt64(begin);
  *size = edge(UInt64(sampleInRun) + 1) - begin;
}

size_t PL_TrackSplitAt(PL_TrackRecord *track, SInt64 time) {
  auto &edits = track->edits;
  SInt64 editStart = 0;
  for (size_t i = 0; i < edits.size(); ++i) {
    SInt64 d = edits[i].trackDuration;
    if (time < editStart + d) {
      if (time <= editStart) return i;
      PL_Edit &e = edits[i];
      PL_Edit second = e;
      SInt64 offset = time - editStart;
      second.trackDuration = d - offset;
      if (e.mediaTime >= 0) {
        TimeScale mediaScale = track->media ? track->media->timeScale : track->movie->timeScale;
        __int128 mediaOffset = (__int128)offset * mediaScale * e.mediaRate / ((__int128)track->movie->timeScale * 65536);
        second.mediaTime = e.mediaTime + SInt64(mediaOffset);
      }
      e.trackDuration = offset;
      edits.insert(edits.begin() + SInt64(i) + 1, second);
      return i + 1;
    }
    editStart += d;
  }
  return edits.size();
}

OSStatus PL_TrackInsertEdit(PL_TrackRecord *track, SInt64 start, const PL_Edit &edit) {
  try {
    size_t at = PL_TrackSplitAt(track, start);
    track->edits.insert(track->edits.begin() + SInt64(at), edit);
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  return noErr;
}

// ---- Time ----

SInt64 PL_TrackDuration(const PL_TrackRecord *track) {
  SInt64 total = 0;
  for (const PL_Edit &e : track->edits) total += e.trackDuration;
  return total;
}

SInt64 PL_MovieDuration(const PL_MovieRecord *movie) {
  SInt64 longest = 0;
  for (const auto &t : movie->tracks) longest = std::max(longest, PL_TrackDuration(t.get()));
  return longest;
}

SInt64 PL_MediaToMovieDuration(SInt64 mediaDuration, TimeScale mediaScale, TimeScale movieScale, Fixed rate) {
  if (rate == 0 || mediaScale <= 0 || movieScale <= 0 || mediaDuration <= 0) return 0;
  __int128 num = (__int128)mediaDuration * movieScale * 65536;
  __int128 den = (__int128)mediaScale * (rate < 0 ? -(SInt64)rate : (SInt64)rate);
  __int128 q = (num + den / 2) / den;
  if (q > std::numeric_limits<SInt64>::max()) return std::numeric_limits<SInt64>::max();
  return SInt64(q);
}

// ---- Data references ----

bool PL_SameFile(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return a == b;
}

std::string PL_PathToFileURL(const std::string &path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                 c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += char(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

bool PL_FileURLToPath(const std::string &url, std::string *path) {
  std::string rest;
  if (url.rfind("file://localhost/", 0) == 0) {
    rest = url.substr(16);
  } else if (url.rfind("file:///", 0) == 0) {
    rest = url.substr(7);
  } else {
    return false;
  }
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    char c = rest[i];
    if (c == '%') {
      if (i + 2 >= rest.size()) return false;
      auto hex = [](char h) -> int {
        if (h >= '0' && h <= '9') return h - '0';
        if (h >= 'a' && h <= 'f') return h - 'a' + 10;
        if (h >= 'A' && h <= 'F') return h - 'A' + 10;
        return -1;
      };
      int hi = hex(rest[i + 1]), lo = hex(rest[i + 2]);
      if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
      out += char(hi * 16 + lo);
      i += 2;
    } else if (c == '\0') {
      return false;
    } else {
      out += c;
    }
  }
  *path = out;
  return true;
}

OSStatus PL_AliasBytesToPath(const UInt8 *bytes, size_t size, std::string *path, bool *resolved) {
  *resolved = false;
  if (size == 0 || size > size_t(std::numeric_limits<Size>::max())) return paramErr;
  Handle h = NewHandle(Size(size));
  if (h == nullptr) return MemError();
  std::memcpy(*h, bytes, size);
  AliasHandle alias = reinterpret_cast<AliasHandle>(h);
  FSRef target;
  Boolean changed = false;
  OSStatus err = FSResolveAlias(nullptr, alias, &target, &changed);
  if (err == noErr) {
    err = PL_FSRefMakePathString(&target, path);
    *resolved = err == noErr;
  }
  if (err != noErr && err != paramErr) {
    // Missing (or unreachable): the path the record names, so that the reference is kept and reported.
    CFStringRef recorded = nullptr;
    err = FSCopyAliasInfo(alias, nullptr, nullptr, &recorded, nullptr, nullptr);
    if (err == noErr && recorded != nullptr) {
      std::string bytesOfPath(size_t(CFStringGetMaximumSizeOfFileSystemRepresentation(recorded)) + 1, '\0');
      if (CFStringGetFileSystemRepresentation(recorded, bytesOfPath.data(), CFIndex(bytesOfPath.size())))
        *path = bytesOfPath.c_str();
      else
        err = paramErr;
    }
    if (recorded != nullptr) CFRelease(recorded);
  }
  DisposeHandle(h);
  return err;
}

OSStatus PL_NewAliasBytes(const std::string &path, std::vector<UInt8> *bytes) {
  FSRef ref;
  OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr);
  if (err != noErr) return err;
  AliasHandle alias = nullptr;
  err = FSNewAlias(nullptr, &ref, &alias);
  if (err != noErr) return err;
  Handle h = reinterpret_cast<Handle>(alias);
  try {
    bytes->assign(reinterpret_cast<const UInt8 *>(*h), reinterpret_cast<const UInt8 *>(*h) + GetHandleSize(h));
  } catch (const std::bad_alloc &) {
    err = memFullErr;
  }
  DisposeHandle(h);
  return err;
}

OSStatus PL_DataRefFromBytes(const UInt8 *bytes, size_t size, OSType type, PL_DataRef *ref) {
  try {
    ref->kind = kPL_DataRefOther;
    ref->type = type;
    ref->path.clear();
    ref->data.assign(bytes, bytes + size);
    if (type == rAliasType) {
      bool resolved = false;
      if (PL_AliasBytesToPath(bytes, size, &ref->path, &resolved) == noErr) ref->kind = kPL_DataRefFile;
    } else if (type == URLDataHandlerSubType) {
      std::string url(reinterpret_cast<const char *>(bytes), size);
      url = url.substr(0, url.find('\0'));
      if (PL_FileURLToPath(url, &ref->path)) {
        ref->kind = kPL_DataRefFile;
        ref->data.clear();
      }
    }
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  return noErr;
}

OSStatus PL_MediaDataRefPath(const PL_MediaRecord *media, SInt32 index, std::string *path) {
  if (index < 1 || size_t(index) > media->dataRefs.size()) return badDataRefIndex;
  const PL_DataRef &ref = media->dataRefs[size_t(index) - 1];
  switch (ref.kind) {
    case kPL_DataRefSelf: {
      const PL_MovieRecord *movie = media->track ? media->track->movie : nullptr;
      if (movie == nullptr || movie->defaultPath.empty()) return noDefaultDataRef;
      *path = movie->defaultPath;
      return noErr;
    }
    case kPL_DataRefFile:
      *path = ref.path;
      return noErr;
    default:
      return couldNotResolveDataRef;
  }
}

OSStatus PL_MediaDescriptionDataRef(const PL_MediaRecord *media, UInt32 descIndex, SInt32 *index) {
  if (descIndex == 0 || descIndex > media->descriptions.size()) return paramErr;
  SampleDescription head;
  std::memcpy(&head, media->descriptions[descIndex - 1].data(), sizeof(head));
  if (head.dataRefIndex < 1 || size_t(head.dataRefIndex) > media->dataRefs.size()) return badDataRefIndex;
  *index = head.dataRefIndex;
  return noErr;
}

OSStatus PL_MediaDataFile(PL_MediaRecord *media, UInt32 descIndex, int *fileDescriptor, UInt64 *fileSize) {
  SInt32 index = 0;
  OSStatus err = PL_MediaDescriptionDataRef(media, descIndex, &index);
  if (err != noErr) return err;
  const PL_DataRef &ref = media->dataRefs[size_t(index) - 1];
  std::string path;
  if (ref.kind == kPL_DataRefStream && ref.pieces != nullptr)
    path = ref.path;
  else if ((err = PL_MediaDataRefPath(media, index, &path)) != noErr)
    return err;
  PL_MovieRecord *movie = media->track->movie;
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(movie->filesLock);
    auto it = movie->openFiles.find(path);
    if (it != movie->openFiles.end()) {
      fd = it->second;
    } else {
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return PL_OSStatusFromErrno(errno);
      movie->openFiles.emplace(path, fd);
    }
  }
  struct stat st;
  if (fstat(fd, &st) != 0) return PL_OSStatusFromErrno(errno);
  *fileDescriptor = fd;
  *fileSize = ref.kind == kPL_DataRefStream && ref.pieces != nullptr ? ref.pieces->size : UInt64(st.st_size);
  return noErr;
}

OSStatus PL_MediaReadData(PL_MediaRecord *media, UInt32 descIndex, SInt64 offset, void *buffer, size_t size) {
  if (offset < 0) return paramErr;
  int fd = -1;
  UInt64 dataSize = 0;
  OSStatus err = PL_MediaDataFile(media, descIndex, &fd, &dataSize);
  if (err != noErr) return err;
  SInt32 index = 0;
  PL_MediaDescriptionDataRef(media, descIndex, &index);
  const PL_DataRef &ref = media->dataRefs[size_t(index) - 1];
  if (ref.kind != kPL_DataRefStream || ref.pieces == nullptr) return PL_ReadFully(fd, UInt64(offset), buffer, size);
  // A stream's bytes are gathered from its pieces, which follow one another without gaps.
  const std::vector<PL_StreamPiece> &pieces = ref.pieces->pieces;
  UInt64 at = UInt64(offset);
  if (at > dataSize || size > dataSize - at) return eofErr;
  auto piece = std::upper_bound(pieces.begin(), pieces.end(), at,
                                [](UInt64 value, const PL_StreamPiece &p) { return value < p.streamOffset; });
  auto *to = static_cast<UInt8 *>(buffer);
  while (size > 0) {
    if (piece == pieces.begin()) return eofErr;
    const PL_StreamPiece &p = *(piece - 1);
    const UInt64 within = at - p.streamOffset;
    if (within >= p.size) return eofErr;
    const size_t n = size_t(std::min<UInt64>(p.size - within, size));
    if ((err = PL_ReadFully(fd, p.fileOffset + within, to, n)) != noErr) return err;
    to += n;
    at += n;
    size -= n;
    ++piece;
  }
  return noErr;
}
