#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

TEST(PlatformMemory, PointersAreAlignedSizedAndCleared) {
  for (Size n : {0, 1, 15, 16, 4097}) {
    Ptr p = NewPtrClear(n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(GetPtrSize(p), n);
    for (Size i = 0; i < n; ++i) ASSERT_EQ(p[i], 0);
    DisposePtr(p);
  }
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), memFullErr);
}

TEST(PlatformMemory, HandleGrowsKeepingBytesAndMasterPointer) {
  Handle h = NewHandleClear(4);
  ASSERT_NE(h, nullptr);
  std::memcpy(*h, "abcd", 4);
  Handle same = h;
  for (Size n = 8; n < 100000; n *= 3) {
    SetHandleSize(h, n);
    ASSERT_EQ(MemError(), noErr);
    ASSERT_EQ(GetHandleSize(h), n);
    ASSERT_EQ(std::memcmp(*h, "abcd", 4), 0);
  }
  EXPECT_EQ(h, same);
  SetHandleSize(h, 2);
  EXPECT_EQ(GetHandleSize(h), 2);
  SetHandleSize(h, -1);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_EQ(GetHandleSize(h), 2);
  DisposeHandle(h);
}

TEST(PlatformMemory, LockedHandleCannotMove) {
  Handle h = NewHandle(16);
  HLock(h);
  EXPECT_TRUE(HGetState(h) & kHandleLockedMask);
  SetHandleSize(h, 1 << 20);
  EXPECT_EQ(MemError(), memLockedErr);
  EXPECT_EQ(GetHandleSize(h), 16);
  HUnlock(h);
  SetHandleSize(h, 1 << 20);
  EXPECT_EQ(MemError(), noErr);
  DisposeHandle(h);
}

TEST(PlatformMemory, HandleCopiesAndAppends) {
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand("xyz", &h, 3), noErr);
  ASSERT_EQ(PtrAndHand("12", h, 2), noErr);
  EXPECT_EQ(GetHandleSize(h), 5);
  EXPECT_EQ(std::memcmp(*h, "xyz12", 5), 0);
  // Appending a handle's own bytes to itself must survive the block moving.
  ASSERT_EQ(PtrAndHand(*h, h, 5), noErr);
  EXPECT_EQ(std::memcmp(*h, "xyz12xyz12", 10), 0);
  ASSERT_EQ(HandAndHand(h, h), noErr);
  EXPECT_EQ(GetHandleSize(h), 20);
  Handle copy = h;
  ASSERT_EQ(HandToHand(&copy), noErr);
  EXPECT_NE(copy, h);
  EXPECT_EQ(std::memcmp(*copy, *h, 20), 0);
  DisposeHandle(copy);
  DisposeHandle(h);
}

TEST(PlatformMemory, InjectedFailureHitsTheChosenAllocation) {
  PL_FailAllocationAfter(2);
  Ptr first = NewPtr(8);
  Handle second = NewHandle(8);
  EXPECT_EQ(MemError(), memFullErr);
  Ptr third = NewPtr(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  PL_FailAllocationAfter(0);
  DisposePtr(first);
  DisposePtr(third);
}

TEST(PlatformErrors, ErrnoTable) {
  const struct {
    int errnoValue;
    OSStatus expected;
  } cases[] = {{0, noErr},           {ENOENT, fnfErr},     {EEXIST, dupFNErr},         {EACCES, permErr},
               {EPERM, permErr},     {EROFS, wPrErr},      {ENOSPC, dskFulErr},        {EIO, ioErr},
               {EMFILE, tmfoErr},    {ENFILE, tmfoErr},    {ENOMEM, memFullErr},       {EBUSY, fBsyErr},
               {ENAMETOOLONG, -1410}, {EXDEV, -1303},      {EFBIG, -1309},             {EINVAL, ioErr},
               {ELOOP, ioErr}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.errnoValue);
    EXPECT_EQ(PL_OSStatusFromErrno(c.errnoValue), c.expected);
  }
}

}  // namespace
