// Decoding PAL DV frames (720 x 576) into '2vuy' and 32-bit ARGB worlds: through a decompression sequence
// (codec kept open), as single images (codec opened per frame), and by drawing a movie frame after frame.
// The DV data comes from ffmpeg; without it the benchmarks report an error and do not run.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 25;
constexpr size_t kPalFrameBytes = 144000;

struct DvFixture {
  bz_test::TempDir dir;
  std::vector<UInt8> stream;  // kFrames raw DV frames
  std::string moviePath;
  bool ok = false;

  DvFixture() {
    std::string raw = dir.File("pal.dv");
    moviePath = dir.File("pal.mov");
    std::string source = "ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25 -frames:v " + std::to_string(kFrames) +
                         " -c:v dvvideo -pix_fmt yuv420p ";
    if (std::system((source + "-f dv '" + raw + "'").c_str()) != 0) return;
    if (std::system((source + "'" + moviePath + "'").c_str()) != 0) return;
    std::ifstream in(raw, std::ios::binary);
    stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ok = stream.size() == kPalFrameBytes * kFrames;
  }
};

DvFixture &Fixture() {
  static DvFixture fixture;
  return fixture;
}

ImageDescriptionHandle PalDvDescription() {
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  (**desc).idSize = sizeof(ImageDescription);
  (**desc).cType = 'dvcp';
  (**desc).width = 720;
  (**desc).height = 576;
  (**desc).dataSize = SInt32(kPalFrameBytes);
  (**desc).depth = 24;
  (**desc).clutID = -1;
  return desc;
}

void BM_DecompressSequenceFrameS(benchmark::State &state, OSType format) {
  DvFixture &f = Fixture();
  if (!f.ok) return state.SkipWithError("ffmpeg could not make the DV fixture");
  ImageDescriptionHandle desc = PalDvDescription();
  Rect bounds{0, 0, 576, 720};
  GWorldPtr world = nullptr;
  QTNewGWorld(&world, format, &bounds, nullptr, nullptr, 0);
  ImageSequence seq = 0;
  if (DecompressSequenceBeginS(&seq, desc, nullptr, 0, world, nullptr, nullptr, nullptr, srcCopy, nullptr, 0,
                               codecNormalQuality, anyCodec) != noErr)
    return state.SkipWithError("no sequence");
  size_t frame = 0;
  for (auto _ : state) {
    Ptr data = reinterpret_cast<Ptr>(f.stream.data() + kPalFrameBytes * frame);
    if (DecompressSequenceFrameS(seq, data, SInt32(kPalFrameBytes), 0, nullptr, nullptr) != noErr)
      return state.SkipWithError("decoding failed");
    frame = (frame + 1) % kFrames;
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(SInt64(state.iterations()) * SInt64(kPalFrameBytes));
  CDSequenceEnd(seq);
  DisposeGWorld(world);
  DisposeHandle(reinterpret_cast<Handle>(desc));
}
BENCHMARK_CAPTURE(BM_DecompressSequenceFrameS, dv_pal_to_2vuy, OSType('2vuy'))->UseRealTime();
BENCHMARK_CAPTURE(BM_DecompressSequenceFrameS, dv_pal_to_argb, OSType(32))->UseRealTime();
BENCHMARK_CAPTURE(BM_DecompressSequenceFrameS, dv_pal_to_y420, OSType('y420'))->UseRealTime();

void BM_DecompressImage(benchmark::State &state) {
  DvFixture &f = Fixture();
  if (!f.ok) return state.SkipWithError("ffmpeg could not make the DV fixture");
  ImageDescriptionHandle desc = PalDvDescription();
  Rect bounds{0, 0, 576, 720};
  GWorldPtr world = nullptr;
  QTNewGWorld(&world, '2vuy', &bounds, nullptr, nullptr, 0);
  size_t frame = 0;
  for (auto _ : state) {
    Ptr data = reinterpret_cast<Ptr>(f.stream.data() + kPalFrameBytes * frame);
    if (DecompressImage(data, desc, GetGWorldPixMap(world), nullptr, nullptr, srcCopy, nullptr) != noErr)
      return state.SkipWithError("decoding failed");
    frame = (frame + 1) % kFrames;
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  DisposeGWorld(world);
  DisposeHandle(reinterpret_cast<Handle>(desc));
}
BENCHMARK(BM_DecompressImage)->Name("BM_DecompressImage/dv_pal_to_2vuy")->UseRealTime();

// The read stage's drawing path: set the time of the next frame, task the movie.
void BM_MoviesTask(benchmark::State &state) {
  DvFixture &f = Fixture();
  if (!f.ok) return state.SkipWithError("ffmpeg could not make the DV fixture");
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  PL_NewDataReferenceFromPath(f.moviePath.c_str(), &dataRef, &dataRefType);
  Movie movie = nullptr;
  if (NewMovieFromDataRef(&movie, 0, nullptr, dataRef, dataRefType) != noErr) return state.SkipWithError("no movie");
  DisposeHandle(dataRef);
  Rect bounds{0, 0, 576, 720};
  GWorldPtr world = nullptr;
  QTNewGWorld(&world, '2vuy', &bounds, nullptr, nullptr, 0);
  SetMovieGWorld(movie, world, nullptr);
  SetMovieActive(movie, true);
  std::vector<TimeValue> times;
  OSType eyes = VisualMediaCharacteristic;
  TimeValue t = 0;
  GetMovieNextInterestingTime(movie, nextTimeMediaSample | nextTimeEdgeOK, 1, &eyes, 0, fixed1, &t, nullptr);
  while (t >= 0) {
    times.push_back(t);
    GetMovieNextInterestingTime(movie, nextTimeMediaSample, 1, &eyes, t, fixed1, &t, nullptr);
  }
  size_t frame = 0;
  for (auto _ : state) {
    SetMovieTimeValue(movie, times[frame]);
    MoviesTask(movie, 0);
    if (GetMovieStatus(movie, nullptr) != noErr) return state.SkipWithError("drawing failed");
    frame = (frame + 1) % times.size();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  DisposeMovie(movie);
  DisposeGWorld(world);
}
BENCHMARK(BM_MoviesTask)->Name("BM_MoviesTask/dv_pal_to_2vuy")->UseRealTime();

}  // namespace
