// Varying brightness's analysis data between projects.
#include "methods/varbr_measuring_stage.h"

#include "general/memory_lists.h"

#include <gtest/gtest.h>

namespace {

TEST(VbDlgTaskData, DisposeFreesTheTablesAndKeepsTheRecord) {
  BZ_VbDlgTaskData *data = nullptr;
  ASSERT_EQ(BZ_VbInitDlgTaskData(&data), noErr);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->vbFactors, nullptr);
  ASSERT_EQ(GL_NewPtrClear(64 * sizeof(float), &data->vbFactors), noErr);
  ASSERT_EQ(GL_NewPtrClear(64 * sizeof(float), &data->vbFactorsBottom), noErr);
  data->analyzedVarBr = true;

  BZ_VbDisposeDlgTaskData(data);
  EXPECT_EQ(data->vbFactors, nullptr);
  EXPECT_EQ(data->vbFactorsTop, nullptr);
  EXPECT_EQ(data->vbFactorsBottom, nullptr);
  EXPECT_FALSE(data->analyzedVarBr) << "no tables, no analysis to use";
  BZ_VbDisposeDlgTaskData(data);  // twice is fine
  BZ_VbDisposeDlgTaskData(nullptr);

  BZ_VbDisposeDlgTaskDataRecord(&data);
  EXPECT_EQ(data, nullptr);
  BZ_VbDisposeDlgTaskDataRecord(&data);
}

}  // namespace
