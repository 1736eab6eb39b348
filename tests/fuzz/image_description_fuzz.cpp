// Fuzz target: an image description with its extensions and one sample of it, decoded into worlds of the
// described size and of another size. Input: the description's length (2 bytes, big-endian), the
// description, then the sample data.
#include "fuzz_support.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const size_t descSize = std::min<size_t>(size - 2, size_t(data[0]) << 8 | data[1]);
  if (descSize < sizeof(ImageDescription)) return 0;
  Handle desc = NewHandle(Size(descSize));
  if (desc == nullptr) return 0;
  std::memcpy(*desc, data + 2, descSize);
  const size_t sampleSize = size - 2 - descSize;
  // The sample in an allocation of its own size, so that a read past it reaches the sanitizer.
  uint8_t *sample = static_cast<uint8_t *>(std::malloc(std::max<size_t>(sampleSize, 1)));
  if (sampleSize > 0) std::memcpy(sample, data + 2 + descSize, sampleSize);
  bz_fuzz::DecodeIntoWorlds(sample, sampleSize, reinterpret_cast<ImageDescriptionHandle>(desc));
  std::free(sample);
  DisposeHandle(desc);
  return 0;
}
