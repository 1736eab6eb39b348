// Drawing a movie into its graphics world through the media decoder of its first enabled video track.
#include "platform/movie/movie_drawing.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"

#include <memory>
#include <mutex>
#include <new>

struct PL_MovieDrawing {
  std::mutex lock;
  CGrafPtr port = nullptr;
  MovieDrawingCompleteUPP proc = nullptr;
  long refCon = 0;
  SInt32 procFlags = 0;
  SInt32 playHints = 0;
  bool dirty = true;           // draw at the next task even when the time stayed
  TimeValue lastTime = -1;     // movie time of the last drawing
  bool lastActive = false;
  OSErr status = noErr;
  Track problemTrack = nullptr;
  Track decoderTrack = nullptr;
  Media decoderMedia = nullptr;
  PL_MediaDecoder *decoder = nullptr;

  ~PL_MovieDrawing() { PL_DisposeMediaDecoder(decoder); }
};

namespace {

// The movie's drawing record, made when `create` is set; NULL without one (or when it cannot be made).
std::shared_ptr<PL_MovieDrawing> DrawingOf(Movie movie, bool create) {
  // The record is made on the thread that owns the movie's drawing; reading the pointer needs no lock.
  if (movie->drawing == nullptr && create) {
    try {
      movie->drawing = std::make_shared<PL_MovieDrawing>();
    } catch (const std::bad_alloc &) {
      return nullptr;
    }
  }
  return movie->drawing;
}

// Draws the picture shown at `time` into the world. Caller holds the record's lock.
OSErr Draw(Movie movie, PL_MovieDrawing *d, TimeValue time) {
  d->problemTrack = nullptr;
  PixMapHandle pm = GetGWorldPixMap(d->port);
  if (pm == nullptr || *pm == nullptr) return paramErr;
  Track track = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType | movieTrackEnabledOnly);
  if (track == nullptr) return noErr;
  TimeValue mediaTime = TrackTimeToMediaTime(time, track);
  if (mediaTime < 0) return noErr;  // an empty edit shows nothing
  Media media = GetTrackMedia(track);
  if (media == nullptr) return noErr;
  if (d->decoder == nullptr || d->decoderTrack != track || d->decoderMedia != media) {
    PL_DisposeMediaDecoder(d->decoder);
    d->decoder = nullptr;
    OSErr err = PL_NewMediaDecoder(media, &d->decoder);
    if (err != noErr) {
      d->problemTrack = track;
      return err;
    }
    d->decoderTrack = track;
    d->decoderMedia = media;
  }
  Rect box;
  GetMovieBox(movie, &box);
  bool emptyBox = box.right <= box.left || box.bottom <= box.top;
  OSErr err = PL_MediaDecoderDraw(d->decoder, mediaTime, pm, emptyBox ? nullptr : &box, nullptr);
  if (err != noErr) d->problemTrack = track;
  return err;
}

// The drawing state a setter changes, made when missing; null (with the movies error set) for no movie or no
// memory.
std::shared_ptr<PL_MovieDrawing> DrawingToChange(Movie theMovie) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return nullptr;
  }
  std::shared_ptr<PL_MovieDrawing> d = DrawingOf(theMovie, true);
  if (d == nullptr) PL_SetMoviesError(memFullErr);
  return d;
}

}  // namespace

void SetMovieGWorld(Movie theMovie, CGrafPtr port, GDHandle) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  if (port == nullptr) GetGWorld(&port, nullptr);
  if (port != nullptr && !PL_IsGWorld(port)) {
    PL_SetMoviesError(paramErr);
    return;
  }
  std::shared_ptr<PL_MovieDrawing> d = DrawingOf(theMovie, true);
  if (d == nullptr) {
    PL_SetMoviesError(memFullErr);
    return;
  }
  std::lock_guard<std::mutex> guard(d->lock);
  d->port = port;
  d->dirty = true;
  PL_SetMoviesError(noErr);
}

void GetMovieGWorld(Movie theMovie, CGrafPtr *port, GDHandle *gdh) {
  if (port != nullptr) *port = nullptr;
  if (gdh != nullptr) *gdh = nullptr;
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  std::shared_ptr<PL_MovieDrawing> d = DrawingOf(theMovie, false);
  if (d != nullptr && port != nullptr) {
    std::lock_guard<std::mutex> guard(d->lock);
    *port = d->port;
  }
  PL_SetMoviesError(noErr);
}

void SetMovieDrawingCompleteProc(Movie theMovie, SInt32 flags, MovieDrawingCompleteUPP proc, long refCon) {
  std::shared_ptr<PL_MovieDrawing> d = DrawingToChange(theMovie);
  if (d == nullptr) return;
  std::lock_guard<std::mutex> guard(d->lock);
  d->proc = proc;
  d->procFlags = flags;
  d->refCon = refCon;
  PL_SetMoviesError(noErr);
}

void SetMoviePlayHints(Movie theMovie, SInt32 flags, SInt32 flagsMask) {
  std::shared_ptr<PL_MovieDrawing> d = DrawingToChange(theMovie);
  if (d == nullptr) return;
  std::lock_guard<std::mutex> guard(d->lock);
  d->playHints = (d->playHints & ~flagsMask) | (flags & flagsMask);
  PL_SetMoviesError(noErr);
}

void SetMovieRate(Movie theMovie, Fixed rate) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  PL_SetMoviesError(rate == 0 ? noErr : paramErr);
}

Fixed GetMovieRate(Movie theMovie) {
  PL_SetMoviesError(theMovie == nullptr ? invalidMovie : noErr);
  return 0;
}

void MoviesTask(Movie theMovie, SInt32) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(noErr);
    return;
  }
  std::shared_ptr<PL_MovieDrawing> d = DrawingOf(theMovie, false);
  if (d == nullptr) {
    PL_SetMoviesError(noErr);
    return;
  }
  OSErr err = noErr;
  bool drew = false;
  MovieDrawingCompleteUPP proc = nullptr;
  long refCon = 0;
  {
    std::lock_guard<std::mutex> guard(d->lock);
    bool active = theMovie->active;
    if (active && d->port != nullptr) {
      TimeValue now = GetMovieTime(theMovie, nullptr);
      if (d->dirty || !d->lastActive || now != d->lastTime) {
        err = Draw(theMovie, d.get(), now);
        drew = true;
        d->status = err;
        d->lastTime = now;
        d->dirty = false;
      }
      if (drew || (d->procFlags & movieDrawingCallAlways) != 0) {
        proc = d->proc;
        refCon = d->refCon;
      }
    }
    d->lastActive = active;
  }
  // The procedure runs outside the lock: it may move the movie or task it again.
  if (proc != nullptr) proc(theMovie, refCon);
  PL_SetMoviesError(err);
}

OSErr UpdateMovie(Movie theMovie) {
  std::shared_ptr<PL_MovieDrawing> d = DrawingToChange(theMovie);
  if (d == nullptr) return GetMoviesError();
  std::lock_guard<std::mutex> guard(d->lock);
  d->dirty = true;
  return PL_SetMoviesError(noErr);
}

ComponentResult GetMovieStatus(Movie theMovie, Track *firstProblemTrack) {
  if (firstProblemTrack != nullptr) *firstProblemTrack = nullptr;
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  std::shared_ptr<PL_MovieDrawing> d = DrawingOf(theMovie, false);
  PL_SetMoviesError(noErr);
  if (d == nullptr) return noErr;
  std::lock_guard<std::mutex> guard(d->lock);
  if (firstProblemTrack != nullptr) *firstProblemTrack = d->problemTrack;
  return d->status;
}

void PL_MovieDrawingCounts(Movie theMovie, SInt64 *samplesDecoded, SInt64 *restarts) {
  if (samplesDecoded != nullptr) *samplesDecoded = 0;
  if (restarts != nullptr) *restarts = 0;
  if (theMovie == nullptr) return;
  std::shared_ptr<PL_MovieDrawing> d = DrawingOf(theMovie, false);
  if (d == nullptr) return;
  std::lock_guard<std::mutex> guard(d->lock);
  PL_MediaDecoderCounts(d->decoder, samplesDecoded, restarts);
}
