// Fuzz target: the importer of files that are no QuickTime movies (raw DV, MPEG program and elementary
// streams, AVI), which libavformat reads into the same movie model, read-only.
#include "fuzz_support.h"
#include "platform/movie/av_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = bz_fuzz::ScratchFile("input.bin");
  bz_fuzz::WriteFile(path, data, size);
  Movie movie = nullptr;
  if (PL_ImportMovieFile(path, &movie) == noErr && movie != nullptr) {
    bz_fuzz::ExerciseMovie(movie);
    DisposeMovie(movie);
  }
  return 0;
}
