// Reads a movie atom into the model. Every count and size is checked against the bytes that hold it
// before it is used, and the sample tables are walked run by run (never sample by sample where sizes
// or durations are constant), so memory and time stay bounded by the atom's size.
#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

namespace {

// Sequential reads of fixed fields; a read past the end clears `ok` and yields 0.
struct Cursor {
  const UInt8 *p;
  size_t size;
  size_t pos = 0;
  bool ok = true;

  Cursor(const UInt8 *data, size_t n) : p(data), size(n) {}
  bool Need(size_t n) {
    if (!ok || size - pos < n) ok = false;
    return ok;
  }
  UInt8 U8() { return Need(1) ? p[pos++] : 0; }
  UInt16 U16() {
    if (!Need(2)) return 0;
    pos += 2;
    return PL_GetBE16(p + pos - 2);
  }
  UInt32 U32() {
    if (!Need(4)) return 0;
    pos += 4;
    return PL_GetBE32(p + pos - 4);
  }
  UInt64 U64() {
    if (!Need(8)) return 0;
    pos += 8;
    return PL_GetBE64(p + pos - 8);
  }
  void Skip(size_t n) {
    if (Need(n)) pos += n;
  }
  size_t Left() const { return ok ? size - pos : 0; }
};

template <typename F>
OSStatus ForEachChild(const UInt8 *payload, size_t size, F &&visit) {
  UInt64 offset = 0;
  for (;;) {
    PL_AtomHeader h;
    OSStatus err = PL_NextAtom(payload, size, &offset, &h, kPL_MovieAtomErr);
    if (err == kPL_AtomListEnd) return noErr;
    if (err != noErr) return err;
    err = visit(h.type, payload + h.offset + h.headerSize, size_t(h.size - h.headerSize));
    if (err != noErr) return err;
  }
}

PL_RawAtom Raw(OSType type, const UInt8 *p, size_t n) { return PL_RawAtom{type, std::vector<UInt8>(p, p + n)}; }

void ReadMatrix(Cursor &c, MatrixRecord *m) {
  for (auto &row : m->matrix)
    for (Fixed &v : row) v = Fixed(c.U32());
}

// A table header: version and flags, then the entry count, whose entries of `entrySize` bytes must fit.
OSStatus TableCount(Cursor &c, size_t entrySize, UInt32 *count) {
  c.Skip(4);
  *count = c.U32();
  if (!c.ok) return kPL_MovieAtomErr;
  if (UInt64(*count) * entrySize > c.Left()) return kPL_MovieAtomCountErr;
  return noErr;
}

OSStatus ParseUserData(const UInt8 *p, size_t n, PL_UserDataRecord *ud) {
  return ForEachChild(p, n, [ud](OSType type, const UInt8 *q, size_t m) {
    ud->items.push_back(PL_UserDataItem{type, std::vector<UInt8>(q, q + m)});
    return noErr;
  });
}

OSStatus ParseMvhd(const UInt8 *p, size_t n, PL_MovieRecord *movie) {
  Cursor c(p, n);
  UInt8 version = c.U8();
  c.Skip(3);
  if (version == 1) {
    movie->creationTime = c.U64();
    movie->modificationTime = c.U64();
    movie->timeScale = TimeScale(c.U32());
    c.Skip(8);
  } else {
    movie->creationTime = c.U32();
    movie->modificationTime = c.U32();
    movie->timeScale = TimeScale(c.U32());
    c.Skip(4);
  }
  movie->preferredRate = Fixed(c.U32());
  movie->preferredVolume = SInt16(c.U16());
  c.Skip(10);
  ReadMatrix(c, &movie->matrix);
  movie->previewTime = TimeValue(c.U32());
  movie->previewDuration = TimeValue(c.U32());
  movie->posterTime = TimeValue(c.U32());
  movie->selectionTime = TimeValue(c.U32());
  movie->selectionDuration = TimeValue(c.U32());
  movie->currentTime = TimeValue(c.U32());
  movie->nextTrackID = c.U32();
  if (!c.ok) return kPL_MovieAtomErr;
  if (movie->timeScale <= 0) return kPL_MovieSampleTableErr;
  return noErr;
}

OSStatus ParseTkhd(const UInt8 *p, size_t n, PL_TrackRecord *track) {
  Cursor c(p, n);
  UInt8 version = c.U8();
  track->flags = (UInt32(c.U8()) << 16) | c.U16();
  if (version == 1) {
    track->creationTime = c.U64();
    track->modificationTime = c.U64();
    track->trackID = c.U32();
    c.Skip(4 + 8);
  } else {
    track->creationTime = c.U32();
    track->modificationTime = c.U32();
    track->trackID = c.U32();
    c.Skip(4 + 4);
  }
  c.Skip(8);
  track->layer = SInt16(c.U16());
  track->alternateGroup = SInt16(c.U16());
  track->volume = SInt16(c.U16());
  c.Skip(2);
  ReadMatrix(c, &track->matrix);
  track->width = Fixed(c.U32());
  track->height = Fixed(c.U32());
  if (!c.ok) return kPL_MovieAtomErr;
  if (track->trackID == 0) return kPL_MovieSampleTableErr;
  return noErr;
}

OSStatus ParseElst(const UInt8 *p, size_t n, PL_TrackRecord *track) {
  Cursor c(p, n);
  UInt8 version = c.U8();
  c.pos = 0;
  UInt32 count = 0;
  OSStatus err = TableCount(c, version == 1 ? 20 : 12, &count);
  if (err != noErr) return err;
  track->edits.reserve(count);
  for (UInt32 i = 0; i < count; ++i) {
    PL_Edit e;
    if (version == 1) {
      UInt64 d = c.U64();
      if (d > UInt64(std::numeric_limits<SInt64>::max() / 4)) return kPL_MovieSampleTableErr;
      e.trackDuration = SInt64(d);
      e.mediaTime = SInt64(c.U64());
    } else {
      e.trackDuration = c.U32();
      e.mediaTime = SInt32(c.U32());
    }
    e.mediaRate = Fixed(c.U32());
    if (e.mediaTime < -1) return kPL_MovieSampleTableErr;
    track->edits.push_back(e);
  }
  return noErr;
}

OSStatus ParseTref(const UInt8 *p, size_t n, PL_TrackRecord *track) {
  return ForEachChild(p, n, [track](OSType type, const UInt8 *q, size_t m) {
    if (m % 4 != 0) return OSStatus(kPL_MovieAtomErr);
    PL_TrackReference ref{type, {}};
    for (size_t i = 0; i < m; i += 4) ref.trackIDs.push_back(PL_GetBE32(q + i));
    track->references.push_back(std::move(ref));
    return OSStatus(noErr);
  });
}

OSStatus ParseTapt(const UInt8 *p, size_t n, PL_TrackRecord *track) {
  return ForEachChild(p, n, [track](OSType type, const UInt8 *q, size_t m) {
    bool *has = nullptr;
    FixedPoint *dims = nullptr;
    if (type == 'clef') has = &track->hasClef, dims = &track->clef;
    if (type == 'prof') has = &track->hasProf, dims = &track->prof;
    if (type == 'enof') has = &track->hasEnof, dims = &track->enof;
    if (has == nullptr) {
      track->taptExtras.push_back(Raw(type, q, m));
      return OSStatus(noErr);
    }
    Cursor c(q, m);
    c.Skip(4);
    dims->x = Fixed(c.U32());
    dims->y = Fixed(c.U32());
    if (!c.ok) return OSStatus(kPL_MovieAtomErr);
    *has = true;
    return OSStatus(noErr);
  });
}

OSStatus ParseMdhd(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  Cursor c(p, n);
  UInt8 version = c.U8();
  c.Skip(3);
  if (version == 1) {
    media->creationTime = c.U64();
    media->modificationTime = c.U64();
    media->timeScale = TimeScale(c.U32());
    c.Skip(8);
  } else {
    media->creationTime = c.U32();
    media->modificationTime = c.U32();
    media->timeScale = TimeScale(c.U32());
    c.Skip(4);
  }
  media->language = c.U16();
  media->quality = c.U16();
  if (!c.ok) return kPL_MovieAtomErr;
  if (media->timeScale <= 0) return kPL_MovieSampleTableErr;
  return noErr;
}

OSStatus ParseHdlr(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  Cursor c(p, n);
  c.Skip(4);
  media->hdlrComponentType = c.U32();
  media->mediaType = c.U32();
  media->hdlrManufacturer = c.U32();
  media->hdlrFlags = c.U32();
  media->hdlrFlagsMask = c.U32();
  if (!c.ok) return kPL_MovieAtomErr;
  media->hdlrName.assign(p + c.pos, p + n);
  return noErr;
}

OSStatus ParseDref(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  Cursor c(p, n);
  c.Skip(4);
  UInt32 count = c.U32();
  if (!c.ok) return kPL_MovieAtomErr;
  if (UInt64(count) * 12 > c.Left()) return kPL_MovieAtomCountErr;
  UInt64 offset = c.pos;
  for (UInt32 i = 0; i < count; ++i) {
    PL_AtomHeader h;
    OSStatus err = PL_NextAtom(p, n, &offset, &h, kPL_MovieAtomErr);
    if (err == kPL_AtomListEnd) return kPL_MovieAtomCountErr;
    if (err != noErr) return err;
    const UInt8 *q = p + h.offset + h.headerSize;
    size_t m = size_t(h.size - h.headerSize);
    if (m < 4) return kPL_MovieAtomErr;
    UInt32 flags = PL_GetBE32(q) & 0xFFFFFF;
    PL_DataRef ref{kPL_DataRefSelf, h.type, {}, {}};
    if ((flags & 1) == 0) {
      // Aliases are resolved here, when the movie opens: a file moved within its folder is found again.
      OSStatus refErr = PL_DataRefFromBytes(q + 4, m - 4, h.type, &ref);
      if (refErr != noErr) return refErr;
    }
    media->dataRefs.push_back(std::move(ref));
  }
  return noErr;
}

OSStatus ParseDinf(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  bool seen = false;
  return ForEachChild(p, n, [media, &seen](OSType type, const UInt8 *q, size_t m) {
    if (type == 'dref' && !seen) {
      seen = true;
      return ParseDref(q, m, media);
    }
    media->dinfExtras.push_back(Raw(type, q, m));
    return OSStatus(noErr);
  });
}

OSStatus ParseStsd(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  Cursor c(p, n);
  c.Skip(4);
  UInt32 count = c.U32();
  if (!c.ok) return kPL_MovieAtomErr;
  if (UInt64(count) * 16 > c.Left()) return kPL_MovieAtomCountErr;
  UInt64 offset = c.pos;
  for (UInt32 i = 0; i < count; ++i) {
    PL_AtomHeader h;
    OSStatus err = PL_NextAtom(p, n, &offset, &h, kPL_MovieAtomErr);
    if (err == kPL_AtomListEnd) return kPL_MovieAtomCountErr;
    if (err != noErr) return err;
    std::vector<UInt8> native;
    err = PL_DescriptionFromStored(media->mediaType, h.type, p + h.offset + h.headerSize,
                                   size_t(h.size - h.headerSize), &native);
    if (err != noErr) return err;
    media->descriptions.push_back(std::move(native));
  }
  return noErr;
}

struct SampleTables {
  const UInt8 *stsd = nullptr, *stts = nullptr, *ctts = nullptr, *stsc = nullptr, *stsz = nullptr,
              *chunks = nullptr, *stss = nullptr;
  size_t stsdSize = 0, sttsSize = 0, cttsSize = 0, stscSize = 0, stszSize = 0, chunksSize = 0, stssSize = 0;
  bool chunks64 = false;
};

struct StscEntry {
  UInt32 firstChunk;
  UInt32 samplesPerChunk;
  UInt32 descIndex;
};

// Turns the chunk, size, time and sync tables into runs (see the file comment).
OSStatus BuildRuns(const SampleTables &t, PL_MediaRecord *media) {
  // Sizes.
  UInt32 constantSize = 0, sampleCount = 0;
  Cursor sizes(t.stsz, t.stszSize);
  if (t.stsz) {
    sizes.Skip(4);
    constantSize = sizes.U32();
    sampleCount = sizes.U32();
    if (!sizes.ok) return kPL_MovieAtomErr;
    if (constantSize == 0 && UInt64(sampleCount) * 4 > sizes.Left()) return kPL_MovieAtomCountErr;
  }
  const UInt8 *sizeTable = t.stsz ? t.stsz + 12 : nullptr;

  // Chunks.
  UInt32 chunkCount = 0;
  Cursor chunks(t.chunks, t.chunksSize);
  if (t.chunks) {
    OSStatus err = TableCount(chunks, t.chunks64 ? 8 : 4, &chunkCount);
    if (err != noErr) return err;
  }
  const UInt8 *chunkTable = t.chunks ? t.chunks + 8 : nullptr;

  // Samples to chunks.
  std::vector<StscEntry> stsc;
  if (t.stsc) {
    Cursor c(t.stsc, t.stscSize);
    UInt32 count = 0;
    OSStatus err = TableCount(c, 12, &count);
    if (err != noErr) return err;
    stsc.reserve(count);
    for (UInt32 i = 0; i < count; ++i) {
      StscEntry e{c.U32(), c.U32(), c.U32()};
      bool increasing = stsc.empty() ? e.firstChunk == 1 : e.firstChunk > stsc.back().firstChunk;
      if (!increasing || e.samplesPerChunk == 0 || e.descIndex == 0 || e.descIndex > media->descriptions.size())
        return kPL_MovieSampleTableErr;
      stsc.push_back(e);
    }
  }

  // Times.
  Cursor times(t.stts, t.sttsSize);
  UInt32 timeCount = 0;
  if (t.stts) {
    OSStatus err = TableCount(times, 8, &timeCount);
    if (err != noErr) return err;
  }
  const UInt8 *timeTable = t.stts ? t.stts + 8 : nullptr;

  // Sync samples: strictly increasing numbers within 1..sampleCount.
  Cursor sync(t.stss, t.stssSize);
  UInt32 syncCount = 0;
  if (t.stss) {
    OSStatus err = TableCount(sync, 4, &syncCount);
    if (err != noErr) return err;
  }
  const UInt8 *syncTable = t.stss ? t.stss + 8 : nullptr;
  for (UInt32 i = 0; i < syncCount; ++i) {
    UInt32 s = PL_GetBE32(syncTable + 4 * size_t(i));
    if (s == 0 || s > sampleCount || (i > 0 && s <= PL_GetBE32(syncTable + 4 * size_t(i - 1))))
      return kPL_MovieSampleTableErr;
  }

  if (sampleCount == 0) {
    UInt64 timed = 0;
    for (UInt32 i = 0; i < timeCount; ++i) timed += PL_GetBE32(timeTable + 8 * size_t(i));
    return (chunkCount == 0 && timed == 0) ? OSStatus(noErr) : OSStatus(kPL_MovieSampleTableErr);
  }
  if (stsc.empty() || chunkCount == 0 || t.stts == nullptr) return kPL_MovieSampleTableErr;

  UInt64 sample = 0;  // samples placed so far
  UInt32 timeEntry = 0;
  UInt64 timeLeft = timeCount > 0 ? PL_GetBE32(timeTable) : 0;
  UInt32 syncPos = 0;
  size_t stscPos = 0;
  for (UInt32 chunk = 0; chunk < chunkCount; ++chunk) {
    while (stscPos + 1 < stsc.size() && stsc[stscPos + 1].firstChunk <= chunk + 1) ++stscPos;
    UInt32 left = stsc[stscPos].samplesPerChunk;
    UInt32 descIndex = stsc[stscPos].descIndex;
    if (left > sampleCount - sample) return kPL_MovieSampleTableErr;
    UInt64 offset = t.chunks64 ? PL_GetBE64(chunkTable + 8 * size_t(chunk)) : PL_GetBE32(chunkTable + 4 * size_t(chunk));
    const std::vector<UInt8> &desc = media->descriptions[descIndex - 1];
    bool soundFrames = media->mediaType == SoundMediaType && constantSize == 1 && PL_SoundBytesForSamples(desc, 1) > 0;
    while (left > 0) {
      while (timeLeft == 0) {
        if (++timeEntry >= timeCount) return kPL_MovieSampleTableErr;
        timeLeft = PL_GetBE32(timeTable + 8 * size_t(timeEntry));
      }
      UInt32 delta = PL_GetBE32(timeTable + 8 * size_t(timeEntry) + 4);
      if (delta > UInt32(std::numeric_limits<TimeValue>::max())) return kPL_MovieSampleTableErr;
      UInt32 n = UInt32(std::min<UInt64>(left, timeLeft));
      bool isSync = true;
      if (t.stss) {
        isSync = syncPos < syncCount && PL_GetBE32(syncTable + 4 * size_t(syncPos)) == sample + 1;
        UInt32 k = 0;
        if (isSync) {
          while (k < n && syncPos + k < syncCount && PL_GetBE32(syncTable + 4 * size_t(syncPos + k)) == sample + 1 + k) ++k;
        } else {
          UInt64 next = syncPos < syncCount ? PL_GetBE32(syncTable + 4 * size_t(syncPos)) - (sample + 1) : n;
          k = UInt32(std::min<UInt64>(n, next));
        }
        n = k;
      }
      UInt64 bytes;
      if (constantSize != 0) {
        bytes = soundFrames ? PL_SoundBytesForSamples(desc, n) : UInt64(constantSize) * n;
      } else {
        UInt32 size = PL_GetBE32(sizeTable + 4 * size_t(sample));
        UInt32 k = 1;
        while (k < n && PL_GetBE32(sizeTable + 4 * size_t(sample + k)) == size) ++k;
        n = k;
        bytes = UInt64(size) * n;
      }
      if (offset > UInt64(std::numeric_limits<SInt64>::max())) return kPL_MovieSampleTableErr;
      OSStatus err = PL_MediaAppendRun(media, SInt64(offset), bytes, n, TimeValue(delta),
                                       isSync ? 0 : mediaSampleNotSync, descIndex);
      if (err == memFullErr) return err;
      if (err != noErr) return kPL_MovieSampleTableErr;
      offset += bytes;
      sample += n;
      left -= n;
      timeLeft -= n;
      if (isSync && t.stss) syncPos += n;
    }
  }
  if (sample != sampleCount) return kPL_MovieSampleTableErr;
  for (UInt32 i = timeEntry + 1; i < timeCount; ++i) timeLeft += PL_GetBE32(timeTable + 8 * size_t(i));
  if (timeLeft != 0) return kPL_MovieSampleTableErr;
  return noErr;
}

OSStatus ParseStbl(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  SampleTables t;
  OSStatus err = ForEachChild(p, n, [&t, media](OSType type, const UInt8 *q, size_t m) {
    const UInt8 **slot = nullptr;
    size_t *slotSize = nullptr;
    switch (type) {
      case 'stsd': slot = &t.stsd, slotSize = &t.stsdSize; break;
      case 'stts': slot = &t.stts, slotSize = &t.sttsSize; break;
      case 'ctts': slot = &t.ctts, slotSize = &t.cttsSize; break;
      case 'stsc': slot = &t.stsc, slotSize = &t.stscSize; break;
      case 'stsz': slot = &t.stsz, slotSize = &t.stszSize; break;
      case 'stss': slot = &t.stss, slotSize = &t.stssSize; break;
      case 'stco':
      case 'co64':
        if (t.chunks != nullptr) return OSStatus(kPL_MovieAtomErr);
        t.chunks64 = type == 'co64';
        slot = &t.chunks, slotSize = &t.chunksSize;
        break;
      default:
        media->stblExtras.push_back(Raw(type, q, m));
        return OSStatus(noErr);
    }
    if (*slot != nullptr) return OSStatus(kPL_MovieAtomErr);
    *slot = q;
    *slotSize = m;
    return OSStatus(noErr);
  });
  if (err != noErr) return err;
  if (t.stsd) {
    err = ParseStsd(t.stsd, t.stsdSize, media);
    if (err != noErr) return err;
  }
  if (media->dataRefs.empty()) media->dataRefs.push_back(PL_DataRef{kPL_DataRefSelf, rAliasType, {}, {}});
  for (const auto &desc : media->descriptions) {
    SampleDescription head;
    std::memcpy(&head, desc.data(), sizeof(head));
    if (head.dataRefIndex < 1 || size_t(head.dataRefIndex) > media->dataRefs.size()) return kPL_MovieSampleTableErr;
  }
  if (t.ctts) {
    Cursor c(t.ctts, t.cttsSize);
    UInt32 count = 0;
    err = TableCount(c, 8, &count);
    if (err != noErr) return err;
    media->hasCompositionOffsets = true;
    media->compositionOffsetsVersion = t.ctts[0];
    for (UInt32 i = 0; i < count; ++i) {
      UInt32 samples = c.U32();
      media->compositionOffsets.emplace_back(samples, SInt32(c.U32()));
    }
  }
  return BuildRuns(t, media);
}

OSStatus ParseMinf(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  const UInt8 *stbl = nullptr;
  size_t stblSize = 0;
  OSStatus err = ForEachChild(p, n, [&](OSType type, const UInt8 *q, size_t m) {
    switch (type) {
      case 'vmhd':
      case 'smhd':
      case 'gmhd':
      case 'nmhd':
      case 'hmhd':
      case 'sthd':
        if (media->mediaHeaderType != 0) break;
        media->mediaHeaderType = type;
        media->mediaHeader.assign(q, q + m);
        return OSStatus(noErr);
      case 'hdlr':
        if (media->hasDataHandlerHdlr) break;
        media->hasDataHandlerHdlr = true;
        media->dataHandlerHdlr.assign(q, q + m);
        return OSStatus(noErr);
      case 'dinf':
        return ParseDinf(q, m, media);
      case 'stbl':
        if (stbl != nullptr) return OSStatus(kPL_MovieAtomErr);
        stbl = q;
        stblSize = m;
        return OSStatus(noErr);
      default:
        break;
    }
    media->minfExtras.push_back(Raw(type, q, m));
    return OSStatus(noErr);
  });
  if (err != noErr) return err;
  if (stbl == nullptr) {
    if (media->dataRefs.empty()) media->dataRefs.push_back(PL_DataRef{kPL_DataRefSelf, rAliasType, {}, {}});
    return noErr;
  }
  return ParseStbl(stbl, stblSize, media);
}

OSStatus ParseMdia(const UInt8 *p, size_t n, PL_MediaRecord *media) {
  const UInt8 *mdhd = nullptr, *hdlr = nullptr, *minf = nullptr;
  size_t mdhdSize = 0, hdlrSize = 0, minfSize = 0;
  OSStatus err = ForEachChild(p, n, [&](OSType type, const UInt8 *q, size_t m) {
    const UInt8 **slot = nullptr;
    size_t *slotSize = nullptr;
    if (type == 'mdhd') slot = &mdhd, slotSize = &mdhdSize;
    if (type == 'hdlr') slot = &hdlr, slotSize = &hdlrSize;
    if (type == 'minf') slot = &minf, slotSize = &minfSize;
    if (slot == nullptr) {
      media->mdiaExtras.push_back(Raw(type, q, m));
      return OSStatus(noErr);
    }
    if (*slot != nullptr) return OSStatus(kPL_MovieAtomErr);
    *slot = q;
    *slotSize = m;
    return OSStatus(noErr);
  });
  if (err != noErr) return err;
  if (mdhd == nullptr || hdlr == nullptr) return kPL_MovieAtomErr;
  err = ParseMdhd(mdhd, mdhdSize, media);
  if (err == noErr) err = ParseHdlr(hdlr, hdlrSize, media);
  if (err == noErr && minf != nullptr) err = ParseMinf(minf, minfSize, media);
  if (err == noErr && minf == nullptr) media->dataRefs.push_back(PL_DataRef{kPL_DataRefSelf, rAliasType, {}, {}});
  return err;
}

OSStatus ParseTrak(const UInt8 *p, size_t n, PL_TrackRecord *track) {
  bool haveTkhd = false, haveEdits = false;
  OSStatus err = ForEachChild(p, n, [&](OSType type, const UInt8 *q, size_t m) {
    switch (type) {
      case 'tkhd':
        if (haveTkhd) return OSStatus(kPL_MovieAtomErr);
        haveTkhd = true;
        return ParseTkhd(q, m, track);
      case 'edts':
        return ForEachChild(q, m, [&](OSType child, const UInt8 *r, size_t k) {
          if (child != 'elst') return OSStatus(noErr);
          if (haveEdits) return OSStatus(kPL_MovieAtomErr);
          haveEdits = true;
          return ParseElst(r, k, track);
        });
      case 'tref':
        return ParseTref(q, m, track);
      case 'tapt':
        return ParseTapt(q, m, track);
      case 'udta':
        return ParseUserData(q, m, &track->userData);
      case 'mdia':
        if (track->media) return OSStatus(kPL_MovieAtomErr);
        track->media = std::make_unique<PL_MediaRecord>();
        track->media->track = track;
        return ParseMdia(q, m, track->media.get());
      default:
        track->extras.push_back(Raw(type, q, m));
        return OSStatus(noErr);
    }
  });
  if (err != noErr) return err;
  if (!haveTkhd || !track->media) return kPL_MovieAtomErr;
  if (!haveEdits && track->media->duration > 0) {
    // Without an edit list the track shows its whole media once, from its start.
    SInt64 d = PL_MediaToMovieDuration(track->media->duration, track->media->timeScale, track->movie->timeScale, fixed1);
    track->edits.push_back(PL_Edit{d, 0, fixed1});
  }
  return noErr;
}

OSStatus ParseMovie(const UInt8 *p, size_t n, PL_MovieRecord *movie) {
  bool haveMvhd = false;
  std::vector<std::pair<const UInt8 *, size_t>> traks;
  OSStatus err = ForEachChild(p, n, [&](OSType type, const UInt8 *q, size_t m) {
    switch (type) {
      case 'mvhd':
        if (haveMvhd) return OSStatus(kPL_MovieAtomErr);
        haveMvhd = true;
        return ParseMvhd(q, m, movie);
      case 'trak':
        traks.emplace_back(q, m);
        return OSStatus(noErr);
      case 'udta':
        return ParseUserData(q, m, &movie->userData);
      default:
        movie->extras.push_back(Raw(type, q, m));
        return OSStatus(noErr);
    }
  });
  if (err != noErr) return err;
  if (!haveMvhd) return kPL_MovieAtomErr;
  std::set<UInt32> ids;
  for (const auto &[q, m] : traks) {
    auto track = std::make_unique<PL_TrackRecord>();
    track->movie = movie;
    err = ParseTrak(q, m, track.get());
    if (err != noErr) return err;
    if (!ids.insert(track->trackID).second) return kPL_MovieSampleTableErr;
    movie->tracks.push_back(std::move(track));
  }
  UInt32 highest = ids.empty() ? 0 : *ids.rbegin();
  if (movie->nextTrackID <= highest) movie->nextTrackID = highest + 1;
  return noErr;
}

}  // namespace

OSStatus PL_ParseMovieAtom(const UInt8 *payload, size_t size, const std::string &filePath,
                           std::unique_ptr<PL_MovieRecord> *outMovie) {
  try {
    std::unique_ptr<PL_MovieRecord> movie = PL_NewMovieRecord();
    movie->defaultPath = filePath;
    OSStatus err = ParseMovie(payload, size, movie.get());
    if (err != noErr) return err;
    *outMovie = std::move(movie);
    return noErr;
  } catch (const std::bad_alloc &) {
    return memFullErr;
  } catch (const std::length_error &) {
    return memFullErr;
  }
}
