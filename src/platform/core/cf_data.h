// CoreFoundation stand-in: CFData and CFMutableData, byte blocks. Mutating an immutable block is ignored.
#pragma once

#include "platform/core/cf_base.h"

CFTypeID CFDataGetTypeID();
// Owned results; NULL for a negative length or missing bytes.
CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8 *bytes, CFIndex length);
// The bytes are copied; the buffer is freed with free() unless `bytesDeallocator` is kCFAllocatorNull.
CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef allocator, const UInt8 *bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator);
CFDataRef CFDataCreateCopy(CFAllocatorRef allocator, CFDataRef theData);
// `capacity` is a hint only.
CFMutableDataRef CFDataCreateMutable(CFAllocatorRef allocator, CFIndex capacity);
CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity, CFDataRef theData);

CFIndex CFDataGetLength(CFDataRef theData);
// Borrowed; valid until the block is changed or freed. Never NULL for a valid block (empty blocks give a
// pointer that must not be read).
const UInt8 *CFDataGetBytePtr(CFDataRef theData);
UInt8 *CFDataGetMutableBytePtr(CFMutableDataRef theData);
// Copies the bytes of `range` (clamped to the block) into `buffer`.
void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8 *buffer);

// New bytes are zero.
void CFDataSetLength(CFMutableDataRef theData, CFIndex length);
void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength);
void CFDataAppendBytes(CFMutableDataRef theData, const UInt8 *bytes, CFIndex length);
void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8 *newBytes, CFIndex newLength);
void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range);
