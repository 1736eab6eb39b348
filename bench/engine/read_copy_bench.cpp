// Throughput of the first two stages on a directly read '2vuy' source: one frame's sample located and read
// from the file into a copy-stage buffer, then converted into the padded working frame, at PAL and HD sizes.
// Each of the copy stage's paths for such a source: the source already in the internal gamma (the bytes are
// moved), a gamma change (a 2.5 source written as DV, whose internal gamma is 2.2222223), the same with
// highlights preserved, each without and with legalising. The file is small enough to stay in the page
// cache, so this measures the stages, not the disk.
#include "engine/copy_stage.h"
#include "engine/read_stage.h"
#include "color/gamma_tables.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"
#include "general/processor_info.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/files.h"
#include "platform/core/multiprocessing.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// The gamma paths of the copy stage.
enum GammaPath : int64_t { kEqualGamma = 0, kGammaChange = 1, kGammaChangeHighlights = 2 };

constexpr float kSourceGamma = 2.5f;

void BM_ReadAndCopy(benchmark::State &state) {
  const SInt32 width = SInt32(state.range(0));
  const SInt32 height = SInt32(state.range(1));
  const auto gammaPath = GammaPath(state.range(2));
  const bool legalise = state.range(3) != 0;
  GL_GetProcessorInfo(&gBZ.procInfo);  // the colour kernels' vector paths, as the application has them
  bz_test::TempDir dir;
  const std::string path = dir.File("source.mov");
  bz_test::FixtureMovieSpec spec;
  spec.width = width;
  spec.height = height;
  spec.frames = 4;
  spec.withSound = false;
  bz_test::FixtureMovieInfo written;
  Movie movie = nullptr;
  FSRef ref;
  BZ_DynInputInfo input{};
  if (bz_test::WriteFixtureMovie(path, spec, &written) != noErr || bz_test::OpenMovieAtPath(path, &movie) != noErr ||
      FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr) != noErr ||
      FSOpenFork(&ref, 0, nullptr, fsRdPerm, &input.fileRefNum[0]) != noErr) {
    state.SkipWithError("no source movie");
    return;
  }
  Track track = QT_GetFirstEnabledVideoTrack(movie);
  Media media = GetTrackMedia(track);

  BZ_CopyParams params{};
  params.inWidth = width;
  params.inHeight = height;
  params.inGamma = gammaPath == kEqualGamma ? kBZ_VideoGamma : kSourceGamma;
  params.outGamma = kBZ_VideoGamma;
  params.isVideoRange = true;
  params.directRead = true;
  params.yuvSanityCheck = legalise;
  params.preserveHighlights = gammaPath == kGammaChangeHighlights;
  // The table the copy stage's set-up makes from the two gammas (without one the kernels make their own).
  if (gammaPath != kEqualGamma && GL_NewPtr(1024 * sizeof(UInt16), &params.newRGB) == noErr)
    CO_MakeRGBTable(params.inGamma, params.outGamma, params.newRGB);
  SInt64 bufferSize = 0;
  BZ_GetBufferSize(height, width, false, &params.height, &params.width, &bufferSize);
  params.linePtrYUV255 = static_cast<float *>(MP_NewPtrClear(size_t(params.width) * 8));
  params.tempLine = static_cast<UInt8 *>(MP_NewPtrClear(size_t((params.width + 31) / 32) * 128));
  auto *in = static_cast<UInt8 *>(MP_NewPtrClear(size_t(2 * bufferSize)));
  auto *out = static_cast<UInt8 *>(MP_NewPtrClear(size_t(bufferSize)));
  const size_t frameSize = size_t(width) * size_t(height) * 2;

  SInt32 frame = 0;
  for (auto _ : state) {
    input.movieTime = QT_MovieFrameNumberToTime(movie, frame);
    frame = (frame + 1) % spec.frames;
    if (BZ_ReadFrameDirect(track, media, &input, in, size_t(2 * bufferSize), frameSize) != noErr) {
      state.SkipWithError("read failed");
      break;
    }
    BZ_Copy(&params, in, out);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameSize));
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  MPFree(in);
  MPFree(out);
  BZ_DisposeCopyParams(&params);
  FSCloseFork(input.fileRefNum[0]);
  DisposeMovie(movie);
}

BENCHMARK(BM_ReadAndCopy)
    ->ArgNames({"width", "height", "gamma", "legalise"})
    ->ArgsProduct({{720}, {576}, {kEqualGamma, kGammaChange, kGammaChangeHighlights}, {0, 1}})
    ->ArgsProduct({{1920}, {1080}, {kEqualGamma, kGammaChange, kGammaChangeHighlights}, {0, 1}});

}  // namespace
