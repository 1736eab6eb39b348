// Fuzz target: a classic atom container as it comes back from a file or the preferences (exporter
// settings): every atom is visited through the toolbox calls, leaves' data read, and the records and file
// regions our atom helpers keep in containers read back.
#include "movie/atom_containers.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atom_container.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

void Visit(QTAtomContainer container, QTAtom parent, int depth) {
  if (depth > 16) return;
  QTAtomType type = 0;
  int types = 0;
  while ((type = QTGetNextChildType(container, parent, type)) != 0 && ++types < 64) {
    const SInt16 count = std::min<SInt16>(QTCountChildrenOfType(container, parent, type), 64);
    for (SInt16 i = 1; i <= count; ++i) {
      QTAtomID id = 0;
      QTAtom atom = QTFindChildByIndex(container, parent, type, i, &id);
      if (atom == 0) continue;
      QTFindChildByID(container, parent, type, id, nullptr);
      SInt32 size = 0;
      Ptr bytes = nullptr;
      if (QTGetAtomDataPtr(container, atom, &size, &bytes) == noErr) {
        volatile UInt8 sink = 0;
        for (SInt32 b = 0; b < size; ++b) sink = sink ^ UInt8(bytes[b]);
        UInt32 offset = 0, numBytes = 0;
        QTA_GetOffsetAndNumBytes(container, atom, &offset, &numBytes);
      }
      QTA_StructPtr record = nullptr;
      if (QTA_AtomToStruct(container, atom, type, &record) == noErr) QTA_DisposeStruct(record);
      Visit(container, atom, depth + 1);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Handle container = NewHandle(Size(size));
  if (container == nullptr) return 0;
  if (size > 0) std::memcpy(*container, data, size);
  if (PL_CheckAtomContainer(container) == noErr) {
    Visit(container, kParentAtomIsContainer, 0);
    // A change must keep the container whole, whatever it held.
    QTAtom added = 0;
    if (QTInsertChild(container, kParentAtomIsContainer, 'fuzz', 0, 1, 4, "abcd", &added) == noErr)
      QTRemoveAtom(container, added);
  }
  DisposeHandle(container);
  return 0;
}
