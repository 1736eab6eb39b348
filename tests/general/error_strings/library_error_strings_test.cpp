// The per-number library mapper: each library's range goes to that library's own keys, numbers without a
// key and outside every range give "GL UnknownErr" without a message.
#include "general/error_keys.h"
#include "general/library_error_strings.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "support/cf_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GeneralLibraryErrorStrings, EachRangeAsksItsLibrary) {
  struct Case {
    OSStatus error;
    const char *key;
    const char *lumped;
  };
  const Case cases[] = {
      {10005, "GL StringManipulationErr", "GL GL_Err"},
      {10010, "GL UnknownErr", "GL GL_Err"},  // a number without a key of its own: only the lumped key shows it
      {10017, "GL UnknownErr", "GL GL_Err"},
      {10020, "GL UnknownErr", "GL GL_Err"},
      {10022, "GL UnknownErr", "GL GL_Err"},
      {10028, "GL UnknownErr", "GL GL_Err"},
      {11006, "QT CouldNotOpenMovieFileErr", "GL QT_Err"},
      {11012, "GL UnknownErr", "GL QT_Err"},
      {11022, "QT LibErr", "GL QT_Err"},
      {14003, "CO UnalignedWidthOrLineSizeErr", "GL CO_Err"},
      {19002, "IA SoundImportCompNotFoundErr", "GL IA_Err"},
      {23003, "NR SingMatrixErr", "GL NR_Err"},
      {24002, "NS NoEventProcErr", "GL NS_Err"},
      {22000, "GL UnknownErr", "GL UnknownErr"},  // the task runtime's number lies in no range
      {-34, "GL UnknownErr", "GL UnknownErr"},
      {0, "GL UnknownErr", "GL UnknownErr"},
  };
  for (const Case &c : cases) {
    CFStringRef key = nullptr;
    CFStringRef message = CFSTR("untouched");
    GL_GetLibraryErrorStringRef(c.error, &key, &message);
    EXPECT_EQ(bz_test::CFText(key), c.key) << c.error;
    if (std::string(c.key) == "GL UnknownErr") {
      EXPECT_EQ(bz_test::CFText(message), "untouched") << c.error;
    } else {
      EXPECT_NE(bz_test::CFText(message), c.key) << "no English text for " << c.key;
      CFRelease(message);
    }
    CFStringRef lumped = nullptr;
    GL_GetLibraryLumpedErrorStringRef(c.error, &lumped, nullptr);
    EXPECT_EQ(bz_test::CFText(lumped), c.lumped) << c.error;
  }
}

}  // namespace
