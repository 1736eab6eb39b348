// Fuzz target: an outlier edit list file (".kbzoel"): its settings record through the settings validator
// and its frame records through the checker and the reader of the flat form.
#include "engine/runtime/method_settings.h"
#include "outliers/outlier_edit_lists.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size >= size_t(kBZ_OuOelSettSize)) {
    BZ_OuSett sett{};
    BZ_OuSettFromFileBytes(data, &sett);
    BZ_OuSett corrected = sett;
    BZ_OuValidateSett(&corrected, true);
    // Corrected settings are always valid: that is what the dialog and the file reader rely on.
    if (!BZ_OuValidateSett(&corrected, false)) std::abort();
  }
  const uint8_t *flat = size >= size_t(kBZ_OuOelSettSize) ? data + kBZ_OuOelSettSize : data;
  const SInt64 flatSize = SInt64(size >= size_t(kBZ_OuOelSettSize) ? size - kBZ_OuOelSettSize : size);
  BZ_OuOelList list{};
  const OSStatus checked = BZ_OuCheckFlatOutlierEditList(flat, flatSize);
  const OSStatus read = BZ_OuUnflattenOutlierEditList(flat, flatSize, &list);
  if ((checked == noErr) != (read == noErr) && read != memFullErr) std::abort();
  if (read == noErr) {
    // What was read flattens back to the same bytes.
    const SInt32 total = BZ_OuGetOelFlatDataSize(&list);
    if (SInt64(total) - kBZ_OuOelSettSize != flatSize) std::abort();
  } else if (list.firstFrameOel != nullptr) {
    std::abort();  // a refused block leaves the list as it was
  }
  BZ_OuDisposeOutlierEditlist(&list.firstFrameOel);
  return 0;
}
