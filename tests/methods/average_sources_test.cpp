// Whether two source movies can be averaged, and what the user is warned of.
#include "methods/average_sources.h"

#include "engine/runtime/engine_host.h"
#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct AlertHost {
  std::vector<SInt16> types;
  std::vector<std::string> messages;

  AlertHost() {
    BZ_EngineHost h = *BZ_GetPlainEngineHost();
    h.refCon = this;
    h.standardAlertOneButton = [](void *r, SInt16 type, CFStringRef, CFStringRef message, CFStringRef, SInt32) {
      auto *self = static_cast<AlertHost *>(r);
      self->types.push_back(type);
      self->messages.push_back(bz_test::CFText(message));
      return OSStatus(noErr);
    };
    BZ_SetEngineHost(&h);
  }
  ~AlertHost() { BZ_SetEngineHost(nullptr); }
};

struct Sources {
  bz_test::TempDir dir;
  BZ_SrcFileData files[kBZ_MaxNumFiles]{};
  BZ_StatMovInfo movies[kBZ_MaxNumFiles]{};

  Sources() {
    bz_test::WriteText(dir.File("one.mov"), "1");
    bz_test::WriteText(dir.File("two.mov"), "2");
    files[0].fileRef = bz_test::RefFor(dir.File("one.mov"));
    files[1].fileRef = bz_test::RefFor(dir.File("two.mov"));
    for (int i = 0; i < 2; ++i) Describe(i, 720, 576, 25.0, 100);
  }
  void Describe(int i, SInt32 width, SInt32 height, double fps, SInt32 frames) {
    movies[i].cType = 'dvc ';
    movies[i].width = width;
    movies[i].height = height;
    movies[i].avFrameDuration = float(1.0 / fps);
    movies[i].numFrames = frames;
  }
};

TEST(AverageSources, CheckTable) {
  struct Case {
    const char *name;
    SInt32 width2, height2;
    double fps2;
    SInt32 frames2;
    bool sameFile;
    OSStatus result, warning;
  };
  const Case cases[] = {
      {"equal sources", 720, 576, 25.0, 100, false, noErr, noErr},
      {"PAL and NTSC heights", 720, 480, 25.0, 100, false, kBZ_DiffDimensionsErr, noErr},
      {"other width", 704, 576, 25.0, 100, false, kBZ_DiffDimensionsErr, noErr},
      {"the same file twice", 720, 576, 25.0, 100, true, kBZ_IdenticalInputMoviesErr, noErr},
      {"29.97 against 25 fps", 720, 576, 29.97, 100, false, noErr, kBZ_DiffFrameRateErr},
      {"rates within half a frame", 720, 576, 25.4, 100, false, noErr, noErr},
      {"rate and count differ: the rate is told", 720, 576, 29.97, 90, false, noErr, kBZ_DiffFrameRateErr},
      {"fewer frames in movie 2", 720, 576, 25.0, 90, false, noErr, kBZ_DiffNumFramesErr},
      {"more frames in movie 2", 720, 576, 25.0, 120, false, noErr, kBZ_DiffNumFramesErr},
  };
  for (const Case &c : cases) {
    Sources s;
    s.Describe(1, c.width2, c.height2, c.fps2, c.frames2);
    if (c.sameFile) s.files[1].fileRef = s.files[0].fileRef;
    OSStatus warning = -1;
    EXPECT_EQ(BZ_AvCheckSources(s.files, s.movies, &warning), c.result) << c.name;
    if (c.result == noErr) {
      EXPECT_EQ(warning, c.warning) << c.name;
    }

    AlertHost alerts;
    EXPECT_EQ(BZ_Av_CheckInputMovies(s.files, s.movies), c.result) << c.name;
    const bool warned = c.result == noErr && c.warning != noErr;
    ASSERT_EQ(alerts.types.size(), warned ? 1u : 0u) << c.name << ": at most one warning, none with an error";
    if (warned) {
      EXPECT_EQ(alerts.types[0], 2) << "a caution alert";
      const char *word = c.warning == kBZ_DiffFrameRateErr ? "frame rate" : "numbers of frames";
      EXPECT_NE(alerts.messages[0].find(word), std::string::npos) << c.name << ": " << alerts.messages[0];
    }
  }
  EXPECT_EQ(BZ_AvCheckSources(nullptr, nullptr, nullptr), paramErr);
}

}  // namespace
