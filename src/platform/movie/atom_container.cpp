// Atom containers in the classic byte layout.
#include "platform/movie/atom_container.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t kRoot = size_t(kPL_AtomContainerHeaderSize);
constexpr size_t kAtomHeader = size_t(kPL_QTAtomHeaderSize);
constexpr size_t kLockCountOffset = 10;
constexpr size_t kIDOffset = 8;
constexpr size_t kChildCountOffset = 14;
constexpr UInt16 kMaxChildren = 0x7FFF;  // the count is read as a signed 16-bit number

const UInt8 *Bytes(QTAtomContainer c) { return reinterpret_cast<const UInt8 *>(*c); }
UInt8 *MutableBytes(QTAtomContainer c) { return reinterpret_cast<UInt8 *>(*c); }

size_t AtomSizeAt(const UInt8 *base, size_t atom) { return PL_GetBE32(base + atom); }
OSType AtomTypeAt(const UInt8 *base, size_t atom) { return PL_GetBE32(base + atom + 4); }
QTAtomID AtomIDAt(const UInt8 *base, size_t atom) { return QTAtomID(PL_GetBE32(base + atom + kIDOffset)); }
UInt16 ChildCountAt(const UInt8 *base, size_t atom) { return PL_GetBE16(base + atom + kChildCountOffset); }

// Checks the container's layout: every atom lies inside its parent, children fill their parent exactly
// and their number matches the parent's count. Iterative, so deep nesting cannot exhaust the stack.
OSErr Check(QTAtomContainer c) {
  if (c == nullptr || *c == nullptr) return paramErr;
  Size handleSize = GetHandleSize(c);
  if (handleSize < Size(kRoot + kAtomHeader)) return invalidAtomContainerErr;
  const UInt8 *base = Bytes(c);
  size_t total = size_t(handleSize);
  if (AtomSizeAt(base, kRoot) != total - kRoot || AtomTypeAt(base, kRoot) != kPL_AtomContainerRootType)
    return invalidAtomContainerErr;
  std::vector<size_t> pending{kRoot};
  while (!pending.empty()) {
    size_t atom = pending.back();
    pending.pop_back();
    size_t end = atom + AtomSizeAt(base, atom);
    UInt16 expected = ChildCountAt(base, atom);
    if (expected == 0) continue;
    UInt16 found = 0;
    size_t child = atom + kAtomHeader;
    while (child < end) {
      if (end - child < kAtomHeader) return invalidAtomContainerErr;
      size_t size = AtomSizeAt(base, child);
      if (size < kAtomHeader || size > end - child) return invalidAtomContainerErr;
      if (found == expected) return invalidAtomContainerErr;
      ++found;
      pending.push_back(child);
      child += size;
    }
    if (found != expected) return invalidAtomContainerErr;
  }
  return noErr;
}

// The atoms from the root down to `atom` (its offset; 0 stands for the root). False when `atom` is not the
// start of an atom of the (checked) container.
bool PathTo(const UInt8 *base, QTAtom atom, std::vector<size_t> *path) {
  path->assign(1, kRoot);
  if (atom == kParentAtomIsContainer) return true;
  if (atom < 0) return false;
  size_t target = size_t(atom);
  size_t current = kRoot;
  while (current != target) {
    size_t end = current + AtomSizeAt(base, current);
    if (ChildCountAt(base, current) == 0 || target < current + kAtomHeader || target >= end) return false;
    size_t child = current + kAtomHeader;
    while (child < end) {
      size_t next = child + AtomSizeAt(base, child);
      if (target < next) break;
      child = next;
    }
    current = child;
    path->push_back(current);
  }
  return true;
}

// Walks the children of `parent`; `visit(child)` returns false to stop. Returns where the walk stopped
// (the parent's end when it ran through).
template <typename Visit>
size_t ForEachChild(const UInt8 *base, size_t parent, Visit visit) {
  size_t end = parent + AtomSizeAt(base, parent);
  if (ChildCountAt(base, parent) == 0) return end;
  for (size_t child = parent + kAtomHeader; child < end; child += AtomSizeAt(base, child))
    if (!visit(child)) return child;
  return end;
}

// Resolves a parent or atom argument of a checked container; 0 when it names no atom.
size_t Resolve(QTAtomContainer c, QTAtom atom, std::vector<size_t> *path) {
  std::vector<size_t> local;
  std::vector<size_t> *p = path != nullptr ? path : &local;
  return PathTo(Bytes(c), atom, p) ? p->back() : 0;
}

bool IsLocked(QTAtomContainer c) { return PL_GetBE16(Bytes(c) + kLockCountOffset) != 0; }

// Replaces `removeCount` bytes at `at` with `insertCount` bytes (from `insert`, zeros when null) and moves
// the size fields of the atoms on `path` by the difference. The handle may move.
OSErr Splice(QTAtomContainer c, const std::vector<size_t> &path, size_t at, size_t removeCount, const void *insert,
             size_t insertCount) {
  size_t oldSize = size_t(GetHandleSize(c));
  SInt64 delta = SInt64(insertCount) - SInt64(removeCount);
  SInt64 newSize = SInt64(oldSize) + delta;
  if (newSize > 0x7FFFFFFF) return memFullErr;
  if (delta > 0) {
    SetHandleSize(c, Size(newSize));
    if (OSErr err = MemError(); err != noErr) return err;
  }
  UInt8 *base = MutableBytes(c);
  std::memmove(base + at + insertCount, base + at + removeCount, oldSize - at - removeCount);
  if (insertCount > 0) {
    if (insert != nullptr)
      std::memcpy(base + at, insert, insertCount);
    else
      std::memset(base + at, 0, insertCount);
  }
  if (delta < 0) SetHandleSize(c, Size(newSize));  // shrinking never fails
  base = MutableBytes(c);
  for (size_t atom : path) PL_PutBE32(base + atom, UInt32(SInt64(AtomSizeAt(base, atom)) + delta));
  return noErr;
}

}  // namespace

OSErr PL_CheckAtomContainer(QTAtomContainer container) { return Check(container); }

OSErr QTNewAtomContainer(QTAtomContainer *atomData) {
  if (atomData == nullptr) return paramErr;
  *atomData = NewHandleClear(Size(kRoot + kAtomHeader));
  if (*atomData == nullptr) return MemError();
  UInt8 *base = MutableBytes(*atomData);
  PL_PutBE32(base + kRoot, UInt32(kAtomHeader));
  PL_PutBE32(base + kRoot + 4, kPL_AtomContainerRootType);
  PL_PutBE32(base + kRoot + kIDOffset, 1);
  return noErr;
}

OSErr QTDisposeAtomContainer(QTAtomContainer atomData) {
  if (atomData != nullptr) DisposeHandle(atomData);
  return noErr;
}

OSErr QTInsertChild(QTAtomContainer container, QTAtom parentAtom, QTAtomType atomType, QTAtomID id, SInt16 index,
                    SInt32 dataSize, const void *data, QTAtom *newAtom) {
  if (newAtom != nullptr) *newAtom = 0;
  if (dataSize < 0 || index < 0) return paramErr;
  OSErr err = Check(container);
  if (err != noErr) return err;
  std::vector<size_t> path;
  size_t parent = Resolve(container, parentAtom, &path);
  if (parent == 0) return invalidAtomErr;
  const UInt8 *base = Bytes(container);
  UInt16 children = ChildCountAt(base, parent);
  if (children == 0 && AtomSizeAt(base, parent) > kAtomHeader) return cannotBeLeafAtomErr;
  if (children >= kMaxChildren) return atomIndexInvalidErr;
  // The identifier, a clash with an existing one, and where the index puts the child.
  QTAtomID largest = 0;
  bool clash = false;
  SInt16 ofType = 0;
  size_t insertAt = 0;
  ForEachChild(base, parent, [&](size_t child) {
    if (AtomTypeAt(base, child) != atomType) return true;
    ++ofType;
    QTAtomID childID = AtomIDAt(base, child);
    if (childID > largest) largest = childID;
    if (id != 0 && childID == id) clash = true;
    if (ofType == index) insertAt = child;
    return true;
  });
  if (id == 0) {
    if (largest == 0x7FFFFFFF) return duplicateAtomTypeAndIDErr;  // no larger identifier is left
    id = largest + 1;
  }
  if (clash) return duplicateAtomTypeAndIDErr;
  if (index > ofType + 1) return atomIndexInvalidErr;
  if (insertAt == 0) insertAt = parent + AtomSizeAt(base, parent);
  if (IsLocked(container)) return memLockedErr;

  std::vector<UInt8> atom(kAtomHeader + size_t(dataSize), 0);
  PL_PutBE32(atom.data(), UInt32(atom.size()));
  PL_PutBE32(atom.data() + 4, atomType);
  PL_PutBE32(atom.data() + kIDOffset, UInt32(id));
  if (data != nullptr && dataSize > 0) std::memcpy(atom.data() + kAtomHeader, data, size_t(dataSize));
  err = Splice(container, path, insertAt, 0, atom.data(), atom.size());
  if (err != noErr) return err;
  PL_PutBE16(MutableBytes(container) + parent + kChildCountOffset, UInt16(children + 1));
  if (newAtom != nullptr) *newAtom = QTAtom(insertAt);
  return noErr;
}

OSErr QTRemoveAtom(QTAtomContainer container, QTAtom atom) {
  OSErr err = Check(container);
  if (err != noErr) return err;
  std::vector<size_t> path;
  size_t target = Resolve(container, atom, &path);
  if (target == 0 || target == kRoot) return invalidAtomErr;
  if (IsLocked(container)) return memLockedErr;
  path.pop_back();
  size_t parent = path.back();
  size_t size = AtomSizeAt(Bytes(container), target);
  UInt16 children = ChildCountAt(Bytes(container), parent);
  err = Splice(container, path, target, size, nullptr, 0);
  if (err != noErr) return err;
  PL_PutBE16(MutableBytes(container) + parent + kChildCountOffset, UInt16(children - 1));
  return noErr;
}

QTAtom QTFindChildByIndex(QTAtomContainer container, QTAtom parentAtom, QTAtomType atomType, SInt16 index,
                          QTAtomID *id) {
  if (Check(container) != noErr || index < 1) return 0;
  size_t parent = Resolve(container, parentAtom, nullptr);
  if (parent == 0) return 0;
  const UInt8 *base = Bytes(container);
  SInt16 n = 0;
  size_t found = 0;
  ForEachChild(base, parent, [&](size_t child) {
    if (AtomTypeAt(base, child) == atomType && ++n == index) {
      found = child;
      return false;
    }
    return true;
  });
  if (found != 0 && id != nullptr) *id = AtomIDAt(base, found);
  return QTAtom(found);
}

QTAtom QTFindChildByID(QTAtomContainer container, QTAtom parentAtom, QTAtomType atomType, QTAtomID id,
                       SInt16 *index) {
  if (Check(container) != noErr) return 0;
  size_t parent = Resolve(container, parentAtom, nullptr);
  if (parent == 0) return 0;
  const UInt8 *base = Bytes(container);
  SInt16 n = 0;
  size_t found = 0;
  ForEachChild(base, parent, [&](size_t child) {
    if (AtomTypeAt(base, child) != atomType) return true;
    ++n;
    if (AtomIDAt(base, child) != id) return true;
    found = child;
    return false;
  });
  if (found != 0 && index != nullptr) *index = n;
  return QTAtom(found);
}

SInt16 QTCountChildrenOfType(QTAtomContainer container, QTAtom parentAtom, QTAtomType childType) {
  if (Check(container) != noErr) return 0;
  size_t parent = Resolve(container, parentAtom, nullptr);
  if (parent == 0) return 0;
  const UInt8 *base = Bytes(container);
  SInt16 n = 0;
  ForEachChild(base, parent, [&](size_t child) {
    if (childType == 0 || AtomTypeAt(base, child) == childType) ++n;
    return true;
  });
  return n;
}

QTAtomType QTGetNextChildType(QTAtomContainer container, QTAtom parentAtom, QTAtomType currentChildType) {
  if (Check(container) != noErr) return 0;
  size_t parent = Resolve(container, parentAtom, nullptr);
  if (parent == 0) return 0;
  const UInt8 *base = Bytes(container);
  std::vector<QTAtomType> types;
  ForEachChild(base, parent, [&](size_t child) {
    QTAtomType type = AtomTypeAt(base, child);
    for (QTAtomType seen : types)
      if (seen == type) return true;
    types.push_back(type);
    return true;
  });
  if (currentChildType == 0) return types.empty() ? 0 : types.front();
  for (size_t i = 0; i + 1 < types.size(); ++i)
    if (types[i] == currentChildType) return types[i + 1];
  return 0;
}

OSErr QTGetAtomTypeAndID(QTAtomContainer container, QTAtom atom, QTAtomType *atomType, QTAtomID *id) {
  OSErr err = Check(container);
  if (err != noErr) return err;
  size_t target = Resolve(container, atom, nullptr);
  if (target == 0) return invalidAtomErr;
  if (atomType != nullptr) *atomType = AtomTypeAt(Bytes(container), target);
  if (id != nullptr) *id = AtomIDAt(Bytes(container), target);
  return noErr;
}

OSErr QTGetAtomDataPtr(QTAtomContainer container, QTAtom atom, SInt32 *dataSize, Ptr *atomData) {
  OSErr err = Check(container);
  if (err != noErr) return err;
  size_t target = Resolve(container, atom, nullptr);
  if (target == 0) return invalidAtomErr;
  if (target == kRoot || ChildCountAt(Bytes(container), target) != 0) return notLeafAtomErr;
  if (dataSize != nullptr) *dataSize = SInt32(AtomSizeAt(Bytes(container), target) - kAtomHeader);
  if (atomData != nullptr) *atomData = *container + target + kAtomHeader;
  return noErr;
}

OSErr QTSetAtomData(QTAtomContainer container, QTAtom atom, SInt32 dataSize, const void *atomData) {
  if (dataSize < 0) return paramErr;
  OSErr err = Check(container);
  if (err != noErr) return err;
  std::vector<size_t> path;
  size_t target = Resolve(container, atom, &path);
  if (target == 0) return invalidAtomErr;
  if (target == kRoot || ChildCountAt(Bytes(container), target) != 0) return notLeafAtomErr;
  if (IsLocked(container)) return memLockedErr;
  size_t oldData = AtomSizeAt(Bytes(container), target) - kAtomHeader;
  // The source may lie inside the container itself: copy it before the handle moves.
  std::vector<UInt8> copy;
  if (atomData != nullptr) copy.assign(static_cast<const UInt8 *>(atomData), static_cast<const UInt8 *>(atomData) + dataSize);
  return Splice(container, path, target + kAtomHeader, oldData, atomData != nullptr ? copy.data() : nullptr,
                size_t(dataSize));
}

OSErr QTLockContainer(QTAtomContainer container) {
  OSErr err = Check(container);
  if (err != noErr) return err;
  UInt8 *base = MutableBytes(container);
  UInt16 count = PL_GetBE16(base + kLockCountOffset);
  if (count == 0xFFFF) return paramErr;
  PL_PutBE16(base + kLockCountOffset, UInt16(count + 1));
  HLock(container);
  return noErr;
}

OSErr QTUnlockContainer(QTAtomContainer container) {
  OSErr err = Check(container);
  if (err != noErr) return err;
  UInt8 *base = MutableBytes(container);
  UInt16 count = PL_GetBE16(base + kLockCountOffset);
  if (count == 0) return paramErr;
  PL_PutBE16(base + kLockCountOffset, UInt16(count - 1));
  if (count == 1) HUnlock(container);
  return noErr;
}
