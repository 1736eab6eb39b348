// The project information written into the log at project start.
#include "app/log_contents.h"

#include "engine/runtime/project_settings.h"
#include "general/strings_text.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ProjectInfoInLog : public ::testing::Test {
 protected:
  void SetUp() override {
    bz_test::WriteText(dir_.File("source.mov"), "x");
    bz_test::WriteText(dir_.File("cleaned.mov"), "y");
    bz_test::DescribeSource(project_.statMovInfo(), 0, 6, 16, 5, '2vuy');
    BZ_MakeDefaultProjSett(project_.statMovInfo(), &project_->info.settings);
    project_->info.srcFileData[0].fileRef = bz_test::RefFor(dir_.File("source.mov"));
    project_->info.targetFileData[0].fileRef = bz_test::RefFor(dir_.File("cleaned.mov"));
    ASSERT_EQ(GL_NewTextBuffer(&text_), noErr);
  }
  void TearDown() override { GL_DisposeTextBuffer(&text_); }
  std::string Text() const { return std::string(text_, size_t(size_)); }

  bz_test::TempDir dir_;
  bz_test::CurrentProject project_;
  Ptr text_ = nullptr;
  SInt32 size_ = 0;
};

TEST_F(ProjectInfoInLog, NamesTheFilesTheirPlaceAndTheSettingsInOrder) {
  ASSERT_EQ(BZ_AddProjectInfoToTextPtr(project_.get(), text_, &size_), noErr);
  const std::string text = Text();
  const std::string folder = dir_.path().substr(dir_.path().rfind('/') + 1);
  const std::string head = "Name of input file: source.mov\rLocation: folder \"" + folder + "\" on disk \"";
  EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
  const size_t settings = text.find("\"\n\r\rProject settings: \r  Input settings:\r");
  EXPECT_NE(settings, std::string::npos) << text;
  const std::string tail = "\rName of output file: cleaned.mov\r\r";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(ProjectInfoInLog, AnUnreadableFileNameWritesNothing) {
  for (int which : {0, 1}) {
    SCOPED_TRACE(which == 0 ? "input" : "output");
    BZ_ProjInfo &info = project_->info;
    FSRef &ref = which == 0 ? info.srcFileData[0].fileRef : info.targetFileData[0].fileRef;
    const FSRef saved = ref;
    ref = FSRef{};
    size_ = 0;
    EXPECT_NE(BZ_AddProjectInfoToTextPtr(project_.get(), text_, &size_), noErr);
    EXPECT_EQ(size_, 0);
    ref = saved;
  }
}

}  // namespace
