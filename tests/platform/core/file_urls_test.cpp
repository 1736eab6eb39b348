#include "platform/core/file_urls.h"

#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/mac_errors.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(PlatformFileUrls, RoundTripFilesAndFolders) {
  bz_test::TempDir dir;
  mkdir(dir.File("My Movies").c_str(), 0755);
  bz_test::WriteText(dir.File("My Movies/clip 1.mov"), "x");
  for (const char *name : {"My Movies", "My Movies/clip 1.mov"}) {
    SCOPED_TRACE(name);
    FSRef ref = bz_test::RefFor(dir.File(name)), back{};
    CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, &ref);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(PL_CFURLGetPath(url), dir.File(name));
    EXPECT_EQ(bool(CFURLHasDirectoryPath(url)), std::string(name) == "My Movies");
    ASSERT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_EQ(FSCompareFSRefs(&ref, &back), noErr);
    CFRelease(url);
  }
  FSRef zero{}, out{};
  EXPECT_EQ(CFURLCreateFromFSRef(kCFAllocatorDefault, &zero), nullptr);
  CFURLRef missing = PL_CFURLCreateWithPath(dir.File("nothing"), false);
  EXPECT_FALSE(CFURLGetFSRef(missing, &out));
  CFRelease(missing);
  CFURLRef web = CFURLCreateWithString(kCFAllocatorDefault, CFSTR("http://example.org/a.mov"), nullptr);
  ASSERT_NE(web, nullptr);
  EXPECT_FALSE(CFURLGetFSRef(web, &out));
  CFRelease(web);
}

}  // namespace
