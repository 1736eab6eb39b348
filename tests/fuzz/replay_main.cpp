// Replays inputs through a fuzz target without libFuzzer, so that every build and CI run the corpus: each
// argument is a file or a folder whose files are all replayed (sorted, so runs are repeatable). The exit
// status is 0 when every input went through; a crash, a sanitizer report or a time-out fails the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

namespace {

bool Replay(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of its own size, so that a read past the input reaches the sanitizer.
  std::vector<uint8_t> exact(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  size_t replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto &entry : std::filesystem::recursive_directory_iterator(arg, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto &file : files) ok = Replay(file) && ok, ++replayed;
    } else if (std::filesystem::exists(arg, ec)) {
      ok = Replay(arg) && ok;
      ++replayed;
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      ok = false;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return ok ? 0 : 1;
}
