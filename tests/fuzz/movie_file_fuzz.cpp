// Fuzz target: a movie file. The bytes become a file that is opened as the user would open a source movie
// (top-level atoms, the movie atom, sample tables, data references, or the road of files that are no
// QuickTime movies), then used as the engine uses it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = bz_fuzz::ScratchFile("input.mov");
  bz_fuzz::WriteFile(path, data, size);
  Handle dataRef = nullptr;
  OSType type = 0;
  if (PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type) != noErr) return 0;
  Movie movie = nullptr;
  if (NewMovieFromDataRef(&movie, 0, nullptr, dataRef, type) == noErr && movie != nullptr) {
    bz_fuzz::ExerciseMovie(movie);
    DisposeMovie(movie);
  }
  DisposeHandle(dataRef);
  return 0;
}
