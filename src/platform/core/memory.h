// Memory Manager stand-in: pointer blocks and relocatable handles with their sizes and state bits.
// Blocks are 16-byte aligned. MemError() is per thread, like the result of the last call on that thread.
#pragma once

#include "platform/core/mac_types.h"

// Handle state bits returned by HGetState.
enum : SInt8 { kHandleIsResourceBit = 5, kHandlePurgeableBit = 6, kHandleLockedBit = 7 };
enum : SInt8 { kHandleIsResourceMask = 0x20, kHandlePurgeableMask = 0x40, kHandleLockedMask = (SInt8)0x80 };

// Result of the last Memory Manager call on this thread.
OSErr MemError();

// Owned blocks; release with DisposePtr. NULL (and MemError memFullErr) when the size is negative or memory is out.
Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount);
void DisposePtr(Ptr p);
Size GetPtrSize(Ptr p);
// Resizes in place only (like the original); a grow that cannot happen in place fails with memFullErr.
// Here every block can grow in place up to its capacity, so growing beyond it fails.
void SetPtrSize(Ptr p, Size newSize);

// Owned handles; release with DisposeHandle. The master pointer stays put; the block may move on SetHandleSize.
Handle NewHandle(Size byteCount);
Handle NewHandleClear(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
void SetHandleSize(Handle h, Size newSize);
void HLock(Handle h);
void HUnlock(Handle h);
void HLockHi(Handle h);
SInt8 HGetState(Handle h);
void HSetState(Handle h, SInt8 flags);
void HPurge(Handle h);
void HNoPurge(Handle h);
void HSetRBit(Handle h);
void HClrRBit(Handle h);
void EmptyHandle(Handle h);
void ReallocateHandle(Handle h, Size byteCount);
void MoveHHi(Handle h);
// Copies: *h replaced by a new owned handle holding the same bytes.
OSErr HandToHand(Handle *theHndl);
OSErr PtrToHand(const void *srcPtr, Handle *dstHndl, Size size);
OSErr PtrToXHand(const void *srcPtr, Handle dstHndl, Size size);
OSErr HandAndHand(Handle hand1, Handle hand2);
OSErr PtrAndHand(const void *ptr1, Handle hand2, Size size);

// Looks for len1 bytes at ptr1 in the handle from `offset` on and returns the offset of the first match, or
// a negative number when there is none. With ptr2, the match is replaced by len2 bytes at ptr2 and the
// offset just after the replacement is returned; a NULL ptr1 takes the len1 bytes at `offset` as the match.
// Negative (MemError set) when the handle is NULL or the handle cannot grow.
long Munger(Handle h, long offset, const void *ptr1, long len1, const void *ptr2, long len2);

void BlockMove(const void *srcPtr, void *destPtr, Size byteCount);
void BlockMoveData(const void *srcPtr, void *destPtr, Size byteCount);
void BlockZero(void *destPtr, Size byteCount);
void BlockMoveDataUncached(const void *srcPtr, void *destPtr, Size byteCount);
void BlockZeroUncached(void *destPtr, Size byteCount);

// Test hook: the n-th allocation from now (1 = the next) fails as if memory were out; 0 switches it off.
// Counts allocations of every thread.
void PL_FailAllocationAfter(SInt32 allocationCount);
// Counts one allocation against that hook and tells whether it must fail. Allocators outside the Memory
// Manager (the general library's standard-allocator blocks) call it, so tests can fail them the same way.
bool PL_AllocationShouldFail();
