// Atom containers (QTAtomContainer): a tree of typed, numbered atoms kept in one Handle, in the classic
// big-endian byte layout, so containers saved as bytes (preferences, exporter settings) read back as they
// were written:
//
//   container header   10 reserved bytes (0), lock count (UInt16)
//   root atom          size (UInt32), type 'sean', ID 1, 2 reserved bytes, child count (UInt16), 4 reserved bytes
//   each child atom    the same 20-byte header; then its data (a leaf, child count 0) or its children
//
// A QTAtom is the byte offset of an atom's header in the handle; kParentAtomIsContainer (0) names the root.
// Atom values go stale when the container changes (insertion, removal, new data sizes).
//
// Every call checks the whole container before using it, so bytes from a file or the preferences that do
// not hold together give invalidAtomContainerErr, never a read outside the handle. Errors: paramErr for a
// null container or output, invalidAtomErr for an atom value that names no atom of the container,
// notLeafAtomErr for data access to an atom with children, memLockedErr for a change to a locked
// container. Nothing here keeps state; a container may be used by one thread at a time.
#pragma once

#include "platform/core/mac_types.h"

typedef Handle QTAtomContainer;
typedef SInt32 QTAtom;
typedef SInt32 QTAtomID;
typedef OSType QTAtomType;

enum : QTAtom { kParentAtomIsContainer = 0 };

// The root atom's type and the sizes of the layout above.
enum : OSType { kPL_AtomContainerRootType = 'sean' };
enum : SInt32 { kPL_AtomContainerHeaderSize = 12, kPL_QTAtomHeaderSize = 20 };

// A new empty container (owned: QTDisposeAtomContainer); *atomData is null on failure.
OSErr QTNewAtomContainer(QTAtomContainer *atomData);
// Disposes the container; null is ignored.
OSErr QTDisposeAtomContainer(QTAtomContainer atomData);

// Inserts a child of `atomType` under `parentAtom`. id 0 chooses one more than the largest identifier of
// that type under the parent (1 when there is none); a type and identifier already there give
// duplicateAtomTypeAndIDErr. index (from 1) places the child before the index-th child of its type; 0 or
// one past the count of that type appends it at the end of the parent's children; beyond gives
// atomIndexInvalidErr. The child holds dataSize bytes copied from data (zeros when data is null). A parent
// that holds data cannot take children (cannotBeLeafAtomErr). *newAtom (may be null) gets the child.
OSErr QTInsertChild(QTAtomContainer container, QTAtom parentAtom, QTAtomType atomType, QTAtomID id, SInt16 index,
                    SInt32 dataSize, const void *data, QTAtom *newAtom);
// Removes the atom with its children. The root cannot be removed (invalidAtomErr).
OSErr QTRemoveAtom(QTAtomContainer container, QTAtom atom);

// The index-th (from 1) child of the type, or 0 when there is none (also for a damaged container or a
// parent that is no atom); *id (may be null) gets its identifier.
QTAtom QTFindChildByIndex(QTAtomContainer container, QTAtom parentAtom, QTAtomType atomType, SInt16 index,
                          QTAtomID *id);
// The child of the type with the identifier, or 0; *index (may be null) gets its index among its type.
QTAtom QTFindChildByID(QTAtomContainer container, QTAtom parentAtom, QTAtomType atomType, QTAtomID id,
                       SInt16 *index);
// The number of children of the type (of any type for 0); 0 for a damaged container.
SInt16 QTCountChildrenOfType(QTAtomContainer container, QTAtom parentAtom, QTAtomType childType);
// The children's types in the order of their first appearance: 0 gives the first, the last gives 0.
QTAtomType QTGetNextChildType(QTAtomContainer container, QTAtom parentAtom, QTAtomType currentChildType);
// The atom's type and identifier (either output may be null).
OSErr QTGetAtomTypeAndID(QTAtomContainer container, QTAtom atom, QTAtomType *atomType, QTAtomID *id);

// A pointer to the leaf's data inside the handle and its size (either output may be null). Borrowed: valid
// until the container changes; lock the container to keep it from changing.
OSErr QTGetAtomDataPtr(QTAtomContainer container, QTAtom atom, SInt32 *dataSize, Ptr *atomData);
// Replaces the leaf's data with dataSize bytes (zeros when atomData is null), resizing the atom. An atom
// without children takes data even when it had none.
OSErr QTSetAtomData(QTAtomContainer container, QTAtom atom, SInt32 dataSize, const void *atomData);

// The lock count (in the header) goes up and down; while it is above 0 the container refuses changes
// (memLockedErr), so data pointers stay valid. Unlocking an unlocked container gives paramErr.
OSErr QTLockContainer(QTAtomContainer container);
OSErr QTUnlockContainer(QTAtomContainer container);

// ---- Our own helpers ----
// noErr when the handle holds a well-formed container, else invalidAtomContainerErr (paramErr for null).
OSErr PL_CheckAtomContainer(QTAtomContainer container);
