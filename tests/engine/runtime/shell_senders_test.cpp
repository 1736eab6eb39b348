// The shell's senders: each posts its event kind through the engine host with its parameters typed and in
// order; the noise-tables flag is one value seen from every thread.
#include "engine/runtime/shell_senders.h"

#include "engine/runtime/engine_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

struct Posted {
  UInt32 kind;
  std::vector<std::pair<UInt32, std::vector<UInt8>>> params;
};
std::vector<Posted> gPosted;

OSStatus RecordPost(void *, UInt32 kind, const BZ_EventParam *params, ItemCount numParams) {
  Posted p{kind, {}};
  for (ItemCount i = 0; i < numParams; ++i) {
    const auto *bytes = static_cast<const UInt8 *>(params[i].data);
    p.params.emplace_back(params[i].name, std::vector<UInt8>(bytes, bytes + params[i].size));
  }
  gPosted.push_back(p);
  return noErr;
}

template <typename T>
T As(const std::vector<UInt8> &bytes) {
  T value{};
  EXPECT_EQ(sizeof value, bytes.size());
  std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
  return value;
}

class ShellSenders : public ::testing::Test {
 protected:
  void SetUp() override {
    gPosted.clear();
    BZ_EngineHost host{};
    host.postCustomEvent = RecordPost;
    BZ_SetEngineHost(&host);
  }
  void TearDown() override { BZ_SetEngineHost(nullptr); }
};

TEST_F(ShellSenders, EachEventCarriesItsTypedParameters) {
  auto *logo = reinterpret_cast<BZ_RlParams *>(0x1234);
  ASSERT_EQ(noErr, BZ_SendSetValueInDialogEvent(2.5f, 2358));
  ASSERT_EQ(noErr, BZ_SendSetValueRelevantDigitsInDialogEvent(0.125f, 3, 2357));
  ASSERT_EQ(noErr, BZ_SendStageDefaultsButtonActivateEvent(kBZ_CrossLumaTaskType));
  ASSERT_EQ(noErr, BZ_SendGetFadeFrameNumbersEvent(logo));
  ASSERT_EQ(noErr, BZ_SendSetLogoMaskPicEvent(logo));
  ASSERT_EQ(noErr, BZ_SendSetLogoTransparencyEvent());
  ASSERT_EQ(6u, gPosted.size());

  EXPECT_EQ(UInt32(kBZ_SetValueInDialogEvent), gPosted[0].kind);
  ASSERT_EQ(2u, gPosted[0].params.size());
  EXPECT_EQ(UInt32(kBZ_ValueEventParam), gPosted[0].params[0].first);
  EXPECT_EQ(2.5f, As<float>(gPosted[0].params[0].second));
  EXPECT_EQ(UInt32(kBZ_ItemEventParam), gPosted[0].params[1].first);
  EXPECT_EQ(2358, As<SInt16>(gPosted[0].params[1].second));

  EXPECT_EQ(UInt32(kBZ_SetValueRelevantDigitsInDialogEvent), gPosted[1].kind);
  ASSERT_EQ(3u, gPosted[1].params.size());
  EXPECT_EQ(0.125f, As<float>(gPosted[1].params[0].second));
  EXPECT_EQ(UInt32(kBZ_PrecisionEventParam), gPosted[1].params[1].first);
  EXPECT_EQ(3, As<SInt32>(gPosted[1].params[1].second));
  EXPECT_EQ(2357, As<SInt16>(gPosted[1].params[2].second));

  EXPECT_EQ(UInt32(kBZ_StageDefaultsButtonActivateEvent), gPosted[2].kind);
  EXPECT_EQ(kBZ_CrossLumaTaskType, As<BZ_TaskType>(gPosted[2].params.at(0).second));

  for (int i : {3, 4}) {
    EXPECT_EQ(UInt32(kBZ_RlParamsEventParam), gPosted[size_t(i)].params.at(0).first);
    EXPECT_EQ(logo, As<BZ_RlParams *>(gPosted[size_t(i)].params.at(0).second)) << "the stage's own record";
  }
  EXPECT_EQ(UInt32(kBZ_GetFadeFrameNumbersEvent), gPosted[3].kind);
  EXPECT_EQ(UInt32(kBZ_SetLogoMaskPicEvent), gPosted[4].kind);
  EXPECT_EQ(UInt32(kBZ_SetLogoTransparencyEvent), gPosted[5].kind);
  EXPECT_TRUE(gPosted[5].params.empty());
}

TEST_F(ShellSenders, ARecordEventCopiesTheWholeRecord) {
  struct Record {
    double a;
    SInt32 b[7];
  } record{1.5, {1, 2, 3, 4, 5, 6, 7}};
  ASSERT_EQ(noErr, BZ_SendRecordEvent(kBZ_DrawNoiseSpectrEvent, kBZ_RnParamsEventParam, &record, sizeof record));
  ASSERT_EQ(1u, gPosted.size());
  const Record copy = As<Record>(gPosted[0].params.at(0).second);
  EXPECT_EQ(1.5, copy.a);
  EXPECT_EQ(7, copy.b[6]);
  EXPECT_EQ(paramErr, BZ_SendRecordEvent(kBZ_DrawNoiseSpectrEvent, kBZ_RnParamsEventParam, nullptr, 8));
  EXPECT_EQ(paramErr, BZ_SendRecordEvent(kBZ_DrawNoiseSpectrEvent, kBZ_RnParamsEventParam, &record, 0));
  EXPECT_EQ(1u, gPosted.size());
}

TEST(ShellSendersFlag, MakingNoiseTablesIsSeenFromOtherThreads) {
  BZ_SetMakingRandomNoiseTables(true);
  Boolean seen = false;
  std::thread([&] { seen = BZ_GetMakingRandomNoiseTables(); }).join();
  EXPECT_TRUE(seen);
  std::thread([] { BZ_SetMakingRandomNoiseTables(false); }).join();
  EXPECT_FALSE(BZ_GetMakingRandomNoiseTables());
}

}  // namespace
