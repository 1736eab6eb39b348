// The motion search over a whole clip, as the outlier stage's per-frame jobs run it: every pair of
// consecutive frames of a raw 'uyvy422' file gets its vectors (backward, then forward) from those two frames
// alone, the pairs dealt round-robin over the given number of threads, each with its own pair array and
// scratch. bench/outliers/motion_vs_ffmpeg.sh times it as a whole process beside ffmpeg's filters.
//
//   bz_motion_pairs FILE WIDTH HEIGHT WORKERS
// prints the number of pairs, the share of vectors found and a checksum of the vectors (the same for any
// number of workers).
#include "outliers/motion_vectors.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "general/processor_info.h"
#include "outliers/outlier_stage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s FILE WIDTH HEIGHT WORKERS\n", argv[0]);
    return 2;
  }
  const SInt32 inWidth = std::atoi(argv[2]), inHeight = std::atoi(argv[3]), workers = std::atoi(argv[4]);
  if (inWidth < 8 || inHeight < 8 || workers < 1 || workers > 64) return 2;
  GL_GetProcessorInfo(&gBZ.procInfo);
  BZ_OuSett sett{};
  sett.numConstPix = 2;
  BZ_OuParams params{};
  params.sett = &sett;
  params.inWidth = inWidth;
  params.inHeight = inHeight;
  SInt64 size = 0;
  BZ_GetBufferSize(inHeight, inWidth, false, &params.height, &params.width, &size);
  Rect picture;
  BZ_OuParamsToRealFrameBounds(&params, &picture);
  float coeffs[25][6];
  if (BZ_MvGetCoeffs(coeffs) != noErr) return 1;

  std::FILE *file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 1;
  const size_t rowBytes = 2 * size_t(inWidth);
  std::vector<std::vector<UInt8>> frames;
  std::vector<UInt8> row(rowBytes);
  for (bool more = true; more;) {
    std::vector<UInt8> frame(size_t(size), 0);
    for (SInt32 y = 0; y < inHeight && more; ++y) {
      more = std::fread(row.data(), 1, rowBytes, file) == rowBytes;
      std::memcpy(&frame[2 * size_t((picture.top + y) * params.width + picture.left)], row.data(), rowBytes);
    }
    if (more) frames.push_back(std::move(frame));
  }
  std::fclose(file);
  const SInt32 numPairs = SInt32(frames.size()) - 1;
  if (numPairs < 1) return 1;

  const size_t vectorsPerPair = BZ_MvArraySize(inWidth, inHeight) / sizeof(BZ_OuMotionVec);
  std::vector<std::vector<BZ_OuMotionVec>> pairs(static_cast<size_t>(numPairs),
                                                 std::vector<BZ_OuMotionVec>(vectorsPerPair));
  std::vector<std::thread> threads;
  for (SInt32 w = 0; w < workers; ++w)
    threads.emplace_back([&, w] {
      std::vector<BZ_OuMotionVec> scratch(BZ_MvScratchSize(inWidth, inHeight) / sizeof(BZ_OuMotionVec));
      for (SInt32 p = w; p < numPairs; p += workers)
        BZ_MvFindPairVectors(&params, coeffs, frames[size_t(p)].data(), frames[size_t(p) + 1].data(),
                             pairs[size_t(p)].data(), scratch.data());
    });
  for (std::thread &t : threads) t.join();

  const SInt32 cells = BZ_MvNumVectors(inWidth, 8) * BZ_MvNumVectors(inHeight, 8);
  double found = 0.0;
  UInt64 checksum = 1469598103934665603ull;
  for (const std::vector<BZ_OuMotionVec> &pair : pairs)
    for (SInt32 e = 0; e < 2 * cells; ++e) {
      const BZ_OuMotionVec &v = pair[size_t(e)];
      found += v.minDiff < kBZ_MvMaxFoundDiff;
      for (float f : {v.dx, v.dy, v.minDiff}) {
        UInt32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        checksum = (checksum ^ bits) * 1099511628211ull;
      }
    }
  std::printf("pairs %d found %.4f checksum %016llx\n", int(numPairs), found / (double(numPairs) * 2 * cells),
              static_cast<unsigned long long>(checksum));
  return 0;
}
