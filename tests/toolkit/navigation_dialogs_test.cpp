// The navigation dialogs' error keys.
#include "toolkit/navigation_dialogs.h"

#include "support/cf_check.h"

#include <gtest/gtest.h>

namespace {

TEST(ToolkitNavigationDialogs, ErrorKeyTable) {
  struct Case {
    OSStatus error;
    const char *key;
  };
  const Case cases[] = {{24000, "GL UnknownErr"},
                        {24001, "NS NoNavServicesErr"},
                        {24002, "NS NoEventProcErr"},
                        {24003, "GL UnknownErr"},
                        {22000, "GL UnknownErr"}};
  for (const Case &c : cases) {
    CFStringRef key = nullptr;
    NS_GetLibErrorKey(c.error, &key);
    EXPECT_EQ(bz_test::CFText(key), c.key) << c.error;
  }
}

}  // namespace
