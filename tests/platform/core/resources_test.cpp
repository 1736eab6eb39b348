// The Resource Manager stand-in answers as for files whose resource fork is empty.
#include "platform/core/resources.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(PlatformResources, EveryMapIsEmptyAndNoneCanBeWritten) {
  bz_test::TempDir dir;
  bz_test::WriteText(dir.File("file"), "data");
  mkdir(dir.File("folder").c_str(), 0700);
  FSRef file = bz_test::RefFor(dir.File("file"));
  FSRef folder = bz_test::RefFor(dir.File("folder"));
  FSRef zero{};

  EXPECT_EQ(FSOpenResFile(&file, fsRdPerm), -1);
  EXPECT_EQ(ResError(), eofErr);
  EXPECT_EQ(FSOpenResFile(&folder, fsRdPerm), -1);
  EXPECT_EQ(ResError(), notAFileErr);
  EXPECT_EQ(FSOpenResFile(&zero, fsRdPerm), -1);
  EXPECT_NE(ResError(), noErr);
  EXPECT_EQ(bz_test::ReadText(dir.File("file")), "data");

  EXPECT_EQ(CurResFile(), kPL_AppResFile);
  UseResFile(5);
  EXPECT_EQ(ResError(), resFNotFound);
  EXPECT_EQ(Get1Resource('vers', 1), nullptr);
  EXPECT_EQ(ResError(), resNotFound);
  EXPECT_EQ(Get1IndResource('vers', 1), nullptr);
  EXPECT_EQ(ResError(), resNotFound);
  EXPECT_EQ(Count1Resources('alis'), 0);
  EXPECT_EQ(Count1Types(), 0);

  Handle h = NewHandle(4);
  AddResource(h, 'alis', 128, nullptr);
  EXPECT_EQ(ResError(), addResFailed);
  EXPECT_EQ(HomeResFile(h), -1);
  EXPECT_EQ(ResError(), resNotFound);
  DisposeHandle(h);  // still the caller's
}

}  // namespace
