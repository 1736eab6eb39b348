// Writes the model as a movie atom. Atoms use their 32-bit forms unless a value needs 64 bits (version-1
// headers and edit lists, 'co64' chunk offsets). Runs that lie one after another with the same description
// form one chunk; sound whose sizes follow from its description gets the sample size 1, as QuickTime's
// own files have it.
#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"

#include <cstring>
#include <limits>

namespace {

bool Needs64(UInt64 v) { return v > 0xFFFFFFFFu; }

void PutMatrix(PL_AtomWriter &w, const MatrixRecord &m) {
  for (const auto &row : m.matrix)
    for (Fixed v : row) w.Put32(UInt32(v));
}

void WriteRaw(PL_AtomWriter &w, const PL_RawAtom &a) {
  w.Begin(a.type);
  w.PutBytes(a.payload.data(), a.payload.size());
  w.End();
}

void WriteUserData(PL_AtomWriter &w, const PL_UserDataRecord &ud) {
  if (ud.items.empty()) return;
  w.Begin('udta');
  for (const PL_UserDataItem &item : ud.items) {
    w.Begin(item.type);
    w.PutBytes(item.data.data(), item.data.size());
    w.End();
  }
  w.End();
}

void WriteMvhd(PL_AtomWriter &w, const PL_MovieRecord *movie) {
  UInt64 duration = UInt64(PL_MovieDuration(movie));
  bool v1 = Needs64(duration) || Needs64(movie->creationTime) || Needs64(movie->modificationTime);
  w.BeginFull('mvhd', v1 ? 1 : 0, 0);
  if (v1) {
    w.Put64(movie->creationTime);
    w.Put64(movie->modificationTime);
    w.Put32(UInt32(movie->timeScale));
    w.Put64(duration);
  } else {
    w.Put32(UInt32(movie->creationTime));
    w.Put32(UInt32(movie->modificationTime));
    w.Put32(UInt32(movie->timeScale));
    w.Put32(UInt32(duration));
  }
  w.Put32(UInt32(movie->preferredRate));
  w.Put16(UInt16(movie->preferredVolume));
  w.PutZeros(10);
  PutMatrix(w, movie->matrix);
  w.Put32(UInt32(movie->previewTime));
  w.Put32(UInt32(movie->previewDuration));
  w.Put32(UInt32(movie->posterTime));
  w.Put32(UInt32(movie->selectionTime));
  w.Put32(UInt32(movie->selectionDuration));
  w.Put32(UInt32(movie->currentTime));
  w.Put32(movie->nextTrackID);
  w.End();
}

void WriteTkhd(PL_AtomWriter &w, const PL_TrackRecord *track) {
  UInt64 duration = UInt64(PL_TrackDuration(track));
  bool v1 = Needs64(duration) || Needs64(track->creationTime) || Needs64(track->modificationTime);
  w.BeginFull('tkhd', v1 ? 1 : 0, track->flags);
  if (v1) {
    w.Put64(track->creationTime);
    w.Put64(track->modificationTime);
    w.Put32(track->trackID);
    w.Put32(0);
    w.Put64(duration);
  } else {
    w.Put32(UInt32(track->creationTime));
    w.Put32(UInt32(track->modificationTime));
    w.Put32(track->trackID);
    w.Put32(0);
    w.Put32(UInt32(duration));
  }
  w.PutZeros(8);
  w.Put16(UInt16(track->layer));
  w.Put16(UInt16(track->alternateGroup));
  w.Put16(UInt16(track->volume));
  w.Put16(0);
  PutMatrix(w, track->matrix);
  w.Put32(UInt32(track->width));
  w.Put32(UInt32(track->height));
  w.End();
}

void WriteTapt(PL_AtomWriter &w, const PL_TrackRecord *track) {
  if (!track->hasClef && !track->hasProf && !track->hasEnof && track->taptExtras.empty()) return;
  w.Begin('tapt');
  auto dims = [&w](OSType type, const FixedPoint &p) {
    w.BeginFull(type, 0, 0);
    w.Put32(UInt32(p.x));
    w.Put32(UInt32(p.y));
    w.End();
  };
  if (track->hasClef) dims('clef', track->clef);
  if (track->hasProf) dims('prof', track->prof);
  if (track->hasEnof) dims('enof', track->enof);
  for (const PL_RawAtom &a : track->taptExtras) WriteRaw(w, a);
  w.End();
}

void WriteEdits(PL_AtomWriter &w, const PL_TrackRecord *track) {
  if (track->edits.empty()) return;
  bool v1 = false;
  for (const PL_Edit &e : track->edits)
    v1 = v1 || Needs64(UInt64(e.trackDuration)) || e.mediaTime > std::numeric_limits<SInt32>::max();
  w.Begin('edts');
  w.BeginFull('elst', v1 ? 1 : 0, 0);
  w.Put32(UInt32(track->edits.size()));
  for (const PL_Edit &e : track->edits) {
    if (v1) {
      w.Put64(UInt64(e.trackDuration));
      w.Put64(UInt64(e.mediaTime));
    } else {
      w.Put32(UInt32(e.trackDuration));
      w.Put32(UInt32(SInt32(e.mediaTime)));
    }
    w.Put32(UInt32(e.mediaRate));
  }
  w.End();
  w.End();
}

void WriteTref(PL_AtomWriter &w, const PL_TrackRecord *track) {
  if (track->references.empty()) return;
  w.Begin('tref');
  for (const PL_TrackReference &ref : track->references) {
    w.Begin(ref.type);
    for (UInt32 id : ref.trackIDs) w.Put32(id);
    w.End();
  }
  w.End();
}

void WriteDref(PL_AtomWriter &w, const PL_MediaRecord *media, const std::string &moviePath,
               const std::string &targetPath) {
  w.BeginFull('dref', 0, 0);
  w.Put32(UInt32(media->dataRefs.size()));
  for (const PL_DataRef &ref : media->dataRefs) {
    // Where the reference points, seen from the file that will hold this movie atom.
    std::string path;
    bool self = false;
    if (ref.kind == kPL_DataRefSelf) {
      self = moviePath.empty() || PL_SameFile(moviePath, targetPath);
      path = moviePath;
    } else if (ref.kind == kPL_DataRefFile) {
      self = PL_SameFile(ref.path, targetPath);
      path = ref.path;
    }
    if (self) {
      w.BeginFull(ref.kind == kPL_DataRefSelf ? ref.type : rAliasType, 0, 1);
    } else if (ref.kind == kPL_DataRefOther) {
      w.BeginFull(ref.type, 0, 0);
      w.PutBytes(ref.data.data(), ref.data.size());
    } else if (ref.kind == kPL_DataRefFile && ref.type == rAliasType) {
      // A fresh record for the file as it is now (it may have moved since the alias was made); a missing
      // file keeps the record it had, so that it can still be found later.
      std::vector<UInt8> alias;
      if (PL_NewAliasBytes(path, &alias) != noErr) alias = ref.data;
      w.BeginFull(rAliasType, 0, 0);
      w.PutBytes(alias.data(), alias.size());
    } else {
      std::string url = PL_PathToFileURL(path);
      w.BeginFull(URLDataHandlerSubType, 0, 0);
      w.PutBytes(url.c_str(), url.size() + 1);
    }
    w.End();
  }
  w.End();
}

struct Chunk {
  SInt64 offset;
  UInt64 end;
  UInt64 samples;
  UInt32 descIndex;
};

OSStatus WriteStbl(PL_AtomWriter &w, const PL_MediaRecord *media) {
  if (media->sampleCount > SInt64(0xFFFFFFFFu)) return paramErr;
  w.Begin('stbl');

  w.BeginFull('stsd', 0, 0);
  w.Put32(UInt32(media->descriptions.size()));
  for (const auto &native : media->descriptions) {
    OSType format = 0;
    std::vector<UInt8> entry;
    OSStatus err = PL_DescriptionToStored(media->mediaType, native, &format, &entry);
    if (err != noErr) return err;
    w.Begin(format);
    w.PutBytes(entry.data(), entry.size());
    w.End();
  }
  w.End();

  // Time to sample.
  std::vector<std::pair<UInt32, UInt32>> times;
  for (const PL_SampleRun &r : media->runs) {
    UInt64 n = r.numberOfSamples;
    if (!times.empty() && times.back().second == UInt32(r.durationPerSample) && times.back().first + n <= 0xFFFFFFFFu)
      times.back().first += UInt32(n);
    else
      times.emplace_back(UInt32(n), UInt32(r.durationPerSample));
  }
  w.BeginFull('stts', 0, 0);
  w.Put32(UInt32(times.size()));
  for (const auto &[count, delta] : times) {
    w.Put32(count);
    w.Put32(delta);
  }
  w.End();

  if (media->hasCompositionOffsets) {
    std::vector<std::pair<UInt32, SInt32>> offsets = media->compositionOffsets;
    if (media->samplesChanged) {
      // Keep the stored offsets for the samples they described; added samples get none.
      UInt64 covered = 0;
      std::vector<std::pair<UInt32, SInt32>> fitted;
      for (auto [count, offset] : offsets) {
        UInt64 left = UInt64(media->sampleCount) - covered;
        if (left == 0) break;
        UInt32 take = UInt32(std::min<UInt64>(count, left));
        fitted.emplace_back(take, offset);
        covered += take;
      }
      if (covered < UInt64(media->sampleCount)) fitted.emplace_back(UInt32(UInt64(media->sampleCount) - covered), 0);
      offsets = fitted;
    }
    w.BeginFull('ctts', media->compositionOffsetsVersion, 0);
    w.Put32(UInt32(offsets.size()));
    for (const auto &[count, offset] : offsets) {
      w.Put32(count);
      w.Put32(UInt32(offset));
    }
    w.End();
  }

  // Sync samples, only when some sample is not one.
  bool allSync = true;
  for (const PL_SampleRun &r : media->runs) allSync = allSync && (r.sampleFlags & mediaSampleNotSync) == 0;
  if (!allSync) {
    std::vector<UInt32> syncs;
    for (const PL_SampleRun &r : media->runs) {
      if (r.sampleFlags & mediaSampleNotSync) continue;
      for (UInt32 i = 0; i < r.numberOfSamples; ++i) syncs.push_back(UInt32(r.firstSample + i));
    }
    w.BeginFull('stss', 0, 0);
    w.Put32(UInt32(syncs.size()));
    for (UInt32 s : syncs) w.Put32(s);
    w.End();
  }

  // Chunks: runs that continue one another with the same description.
  std::vector<Chunk> chunks;
  for (const PL_SampleRun &r : media->runs) {
    if (!chunks.empty() && chunks.back().end == UInt64(r.dataOffset) && chunks.back().descIndex == r.descIndex &&
        chunks.back().samples + r.numberOfSamples <= 0xFFFFFFFFu) {
      chunks.back().end += r.dataSize;
      chunks.back().samples += r.numberOfSamples;
    } else {
      chunks.push_back(Chunk{r.dataOffset, UInt64(r.dataOffset) + r.dataSize, r.numberOfSamples, r.descIndex});
    }
  }
  std::vector<UInt32> stsc;  // triples
  for (size_t i = 0; i < chunks.size(); ++i) {
    size_t n = stsc.size();
    if (n >= 3 && stsc[n - 2] == UInt32(chunks[i].samples) && stsc[n - 1] == chunks[i].descIndex) continue;
    stsc.push_back(UInt32(i + 1));
    stsc.push_back(UInt32(chunks[i].samples));
    stsc.push_back(chunks[i].descIndex);
  }
  w.BeginFull('stsc', 0, 0);
  w.Put32(UInt32(stsc.size() / 3));
  for (UInt32 v : stsc) w.Put32(v);
  w.End();

  // Sample sizes: one constant where possible.
  bool soundFrames = media->mediaType == SoundMediaType && !media->runs.empty();
  for (const PL_SampleRun &r : media->runs) {
    if (!soundFrames) break;
    UInt64 implied = PL_SoundBytesForSamples(media->descriptions[r.descIndex - 1], r.numberOfSamples);
    soundFrames = implied > 0 && implied == r.dataSize;
  }
  bool constant = true;
  UInt64 constantSize = 0;
  for (const PL_SampleRun &r : media->runs) {
    if (r.dataSize % r.numberOfSamples != 0) {
      constant = false;
      break;
    }
    UInt64 each = r.dataSize / r.numberOfSamples;
    if (&r == &media->runs.front()) constantSize = each;
    constant = constant && each == constantSize;
  }
  w.BeginFull('stsz', 0, 0);
  if (soundFrames) {
    w.Put32(1);
    w.Put32(UInt32(media->sampleCount));
  } else if (constant && !media->runs.empty()) {
    if (constantSize == 0 || Needs64(constantSize)) return paramErr;
    w.Put32(UInt32(constantSize));
    w.Put32(UInt32(media->sampleCount));
  } else {
    w.Put32(0);
    w.Put32(UInt32(media->sampleCount));
    for (const PL_SampleRun &r : media->runs) {
      for (UInt32 i = 0; i < r.numberOfSamples; ++i) {
        SInt64 offset;
        UInt64 size;
        PL_RunSampleSpan(r, i, &offset, &size);
        if (Needs64(size)) return paramErr;
        w.Put32(UInt32(size));
      }
    }
  }
  w.End();

  bool wide = false;
  for (const Chunk &c : chunks) wide = wide || Needs64(UInt64(c.offset));
  w.BeginFull(wide ? 'co64' : 'stco', 0, 0);
  w.Put32(UInt32(chunks.size()));
  for (const Chunk &c : chunks) {
    if (wide)
      w.Put64(UInt64(c.offset));
    else
      w.Put32(UInt32(c.offset));
  }
  w.End();

  if (!media->samplesChanged)
    for (const PL_RawAtom &a : media->stblExtras) WriteRaw(w, a);
  w.End();
  return noErr;
}

OSStatus WriteMdia(PL_AtomWriter &w, const PL_MediaRecord *media, const std::string &moviePath,
                   const std::string &targetPath) {
  w.Begin('mdia');
  UInt64 duration = UInt64(media->duration);
  bool v1 = Needs64(duration) || Needs64(media->creationTime) || Needs64(media->modificationTime);
  w.BeginFull('mdhd', v1 ? 1 : 0, 0);
  if (v1) {
    w.Put64(media->creationTime);
    w.Put64(media->modificationTime);
    w.Put32(UInt32(media->timeScale));
    w.Put64(duration);
  } else {
    w.Put32(UInt32(media->creationTime));
    w.Put32(UInt32(media->modificationTime));
    w.Put32(UInt32(media->timeScale));
    w.Put32(UInt32(duration));
  }
  w.Put16(media->language);
  w.Put16(media->quality);
  w.End();

  w.BeginFull('hdlr', 0, 0);
  w.Put32(media->hdlrComponentType);
  w.Put32(media->mediaType);
  w.Put32(media->hdlrManufacturer);
  w.Put32(media->hdlrFlags);
  w.Put32(media->hdlrFlagsMask);
  w.PutBytes(media->hdlrName.data(), media->hdlrName.size());
  w.End();

  w.Begin('minf');
  if (media->mediaHeaderType != 0) {
    w.Begin(media->mediaHeaderType);
    w.PutBytes(media->mediaHeader.data(), media->mediaHeader.size());
    w.End();
  }
  if (media->hasDataHandlerHdlr) {
    w.Begin('hdlr');
    w.PutBytes(media->dataHandlerHdlr.data(), media->dataHandlerHdlr.size());
    w.End();
  }
  w.Begin('dinf');
  WriteDref(w, media, moviePath, targetPath);
  for (const PL_RawAtom &a : media->dinfExtras) WriteRaw(w, a);
  w.End();
  OSStatus err = WriteStbl(w, media);
  if (err != noErr) return err;
  for (const PL_RawAtom &a : media->minfExtras) WriteRaw(w, a);
  w.End();

  for (const PL_RawAtom &a : media->mdiaExtras) WriteRaw(w, a);
  w.End();
  return noErr;
}

OSStatus WriteTrak(PL_AtomWriter &w, const PL_TrackRecord *track, const std::string &targetPath) {
  w.Begin('trak');
  WriteTkhd(w, track);
  WriteTapt(w, track);
  for (const PL_RawAtom &a : track->extras) WriteRaw(w, a);
  WriteEdits(w, track);
  WriteTref(w, track);
  OSStatus err = WriteMdia(w, track->media.get(), track->movie->defaultPath, targetPath);
  if (err != noErr) return err;
  WriteUserData(w, track->userData);
  w.End();
  return noErr;
}

}  // namespace

OSStatus PL_BuildMovieAtom(const PL_MovieRecord *movie, const std::string &targetPath, std::vector<UInt8> *out) {
  // Samples of a stream that lies in pieces in a multiplexed file have offsets no movie file can name.
  for (const auto &track : movie->tracks)
    if (track->media)
      for (const PL_DataRef &ref : track->media->dataRefs)
        if (ref.kind == kPL_DataRefStream) return couldNotResolveDataRef;
  try {
    PL_AtomWriter w;
    w.Begin('moov');
    WriteMvhd(w, movie);
    for (const auto &track : movie->tracks) {
      if (!track->media) continue;  // a track without media has nothing to store
      OSStatus err = WriteTrak(w, track.get(), targetPath);
      if (err != noErr) return err;
    }
    WriteUserData(w, movie->userData);
    for (const PL_RawAtom &a : movie->extras) WriteRaw(w, a);
    w.End();
    if (w.tooBig) return paramErr;
    *out = std::move(w.bytes);
    return noErr;
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
}
