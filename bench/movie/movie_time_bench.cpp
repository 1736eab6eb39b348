// Frame walks over long movies: counting the visual frames and finding a frame's number from time 0.
#include "movie/movie_time.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <benchmark/benchmark.h>

namespace {

// A movie of `frames` PAL frames of 2vuy, one sample reference each, shown from time 0.
Movie LongMovie(SInt32 frames) {
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 720 << 16, 576 << 16, 0);
  Media media = NewTrackMedia(track, VideoMediaType, 2500, nullptr, 0);
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  (**desc).idSize = sizeof(ImageDescription);
  (**desc).cType = '2vuy';
  (**desc).width = 720;
  (**desc).height = 576;
  // Frames lie apart (sound between them), so every frame is its own record.
  for (SInt32 i = 0; i < frames; ++i) {
    SampleReference64Record r{16 + SInt64(i) * 900000, 829440, 100, 1, 0};
    AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr);
  }
  DisposeHandle(reinterpret_cast<Handle>(desc));
  InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  return movie;
}

void BM_QT_CountMovieFrames(benchmark::State &state) {
  Movie movie = LongMovie(SInt32(state.range(0)));
  for (auto _ : state) {
    SInt32 count = 0;
    QT_CountMovieFrames(movie, &count, nullptr);
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  DisposeMovie(movie);
}
BENCHMARK(BM_QT_CountMovieFrames)->Arg(1000)->Arg(100000);

void BM_QT_MovieTimeToFrameNumber(benchmark::State &state) {
  Movie movie = LongMovie(SInt32(state.range(0)));
  TimeValue last = GetMovieDuration(movie) - 1;
  for (auto _ : state) benchmark::DoNotOptimize(QT_MovieTimeToFrameNumber(movie, last, nullptr, nullptr));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  DisposeMovie(movie);
}
BENCHMARK(BM_QT_MovieTimeToFrameNumber)->Arg(1000)->Arg(100000);

}  // namespace
