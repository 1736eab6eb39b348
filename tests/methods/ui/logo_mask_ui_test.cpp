// The logo mask picture on a window carrying the logo pane's items (no display): the well's clip for the four
// corners and for pictures larger and smaller than the well, a mask found by an analysis run shown through
// event 2011 with its transparency through 2012, its export through the save chooser read back as the same
// mask, and the import through the file chooser.
#include "methods/logo_mask_ui.h"

#include "methods/logo_mask.h"
#include "methods/logo_stage.h"
#include "platform/core/cf_string.h"
#include "platform/core/controls.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"
#include "toolkit/dialog_items.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using namespace bz_test;

HIViewID Id(SInt32 n) { return HIViewID{'Orl1', n}; }

// The logo pane's items on a window without a display; the well is 100 x 60.
class LogoPane {
 public:
  LogoPane() {
    window_ = reinterpret_cast<WindowRef>(&storage_);
    for (SInt32 n : {2311, 2312, 2315, 2323, 2341}) {
      HIViewID id = Id(n);
      ControlRef c = nullptr;
      EXPECT_EQ(noErr, PL_NewControl(window_, &id, &c));
      if (n == 2312) {
        const Rect bounds{0, 0, 60, 100};
        SetControlBounds(c, &bounds);
      }
      if (n == 2341) SetControl32BitMaximum(c, 4);
    }
    GL_ActivateDialogItemByID(window_, Id(2315), false);
    BZ_RlDisposeDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
    EXPECT_EQ(noErr, BZ_RlInitDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData));
  }
  ~LogoPane() {
    GL_SetPictureInImageWell(window_, Id(2312), nullptr);
    PL_DisposeWindowControls(window_);
    BZ_RlDisposeDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
    MethodRoutines() = MethodEventRoutines{};
    PL_SetPutFileProc(nullptr);
    PL_SetChooseFileProc(nullptr);
  }
  WindowRef window() const { return window_; }
  BZ_RlDlgTaskData *data() const { return gBZ.dlgTaskData.rlDlgTaskData; }
  SInt32 Value(SInt32 n) const {
    SInt32 v = 0;
    GL_GetDialogItemValueByID(window_, Id(n), &v);
    return v;
  }
  Boolean Active(SInt32 n) const {
    Boolean active = false;
    GL_IsDialogItemActiveByID(window_, Id(n), &active);
    return active;
  }
  PicHandle WellPicture() const {
    HIViewRef well = nullptr;
    HIViewFindByID(HIViewGetRoot(window_), Id(2312), &well);
    ControlButtonContentInfo info{};
    GetImageWellContentInfo(well, &info);
    return info.contentType == kControlContentPictHandle ? info.u.picture : nullptr;
  }
  std::string Text(SInt32 n) const {
    CFStringRef s = nullptr;
    GL_CopyDialogItemTextByID(window_, Id(n), &s);
    char text[1024] = {};
    if (s != nullptr) CFStringGetCString(s, text, sizeof text, kCFStringEncodingUTF8), CFRelease(s);
    return text;
  }

 private:
  WindowRef window_ = nullptr;
  int storage_ = 0;
};

struct ClipCase {
  const char *name;
  Rect bounds, logo;
  SInt32 logoPos;
  Rect clip;
};

TEST(LogoMaskClip, ShowsTheLogoAwayFromItsCornerInsideThePicture) {
  LogoPane pane;
  CurrentProject project;
  project->info.statMovInfo[0].cType = '2vuy';
  const Rect large{0, 0, 200, 300}, logo{20, 30, 50, 90};
  const ClipCase cases[] = {
      {"top left", large, logo, 0, {0, 0, 60, 100}},
      {"bottom left", large, logo, 1, {16, 0, 76, 100}},
      {"bottom right", large, logo, 2, {16, 26, 76, 126}},
      {"top right", large, logo, 3, {0, 26, 60, 126}},
      {"picture smaller than the well", {0, 0, 40, 80}, {10, 10, 30, 70}, 2, {0, 0, 40, 80}},
      {"logo wider than the well allows: centred", large, {100, 50, 120, 200}, 0, {64, 75, 124, 175}},
  };
  for (const ClipCase &c : cases) {
    SCOPED_TRACE(c.name);
    pane.data()->logoPicBounds = c.bounds;
    pane.data()->logoRectInPic = c.logo;
    Rect clip{};
    ASSERT_EQ(noErr, BZ_RlGetClip(pane.window(), &clip, c.logoPos));
    EXPECT_EQ(c.clip.top, clip.top);
    EXPECT_EQ(c.clip.left, clip.left);
    EXPECT_EQ(c.clip.bottom, clip.bottom);
    EXPECT_EQ(c.clip.right, clip.right);
  }
  Rect clip{};
  EXPECT_EQ(paramErr, BZ_RlGetClip(pane.window(), &clip, 4));
  EXPECT_EQ(paramErr, BZ_RlGetClip(pane.window(), &clip, -1));
}

std::string MakeClip(const TempDir &dir, const std::string &name, const std::string &source, const std::string &filters) {
  const std::string path = dir.File(name);
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i " + ShellQuote(source) + " -vf " +
                          ShellQuote(filters + ",format=uyvy422") + " -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " +
                          ShellQuote(path);
  EXPECT_EQ(0, RunCommand(cmd)) << cmd;
  return path;
}

std::string gExportFolder;

OSStatus AnswerSave(const PL_PutFileRequest *request, PL_PutFileAnswer *answer) {
  EXPECT_NE(nullptr, request->fileName);
  answer->folderPath = gExportFolder;
  answer->name = "found mask";  // no extension: the exporter's is added
  answer->replacing = false;
  return noErr;
}

// A transparent box found by an analysis run: the transparency goes to 2323, the mask to the well, and the
// exported mask reads back as the same mask.
TEST(LogoMaskFound, ShownInTheWellAndExportedAsTheSameMask) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoPane pane;
  TempDir dir;
  const std::string grey = "color=c=gray:s=352x288:r=25:d=1.76";
  const std::string steps = "format=yuv444p,geq=lum='30+17*mod(N,11)':cb=128:cr=128";
  MakeClip(dir, "src.mov", grey, steps + ",drawbox=x=250:y=200:w=60:h=40:color=white@0.3:t=fill");
  MethodRoutines().setLogoMaskPic = [&](BZ_RlParams *p) { return BZ_RlSetMaskPicture(pane.window(), p); };
  MethodRoutines().setLogoTransparency = [&] {
    return GL_SetDialogItemTextFloatByID(pane.window(), Id(2323),
                                         gBZ.project->info.settings.cleaning.removeLogo.transparency);
  };
  MethodRunOptions analysis;
  analysis.kind = MethodRunKind::kAnalysis;
  analysis.autoSettCalc = kBZ_RlAutoSettStage;
  analysis.statisticsStep = false;
  BZ_CleaninSett c = NoCleaning();
  c.removeLogo.apply = true;
  c.removeLogo.mode = kBZ_LogoModeUseMask;
  c.removeLogo.logoRect = Rect{190, 240, 250, 320};
  c.removeLogo.findMask = true;
  c.removeLogo.transparent = true;
  analysis.cleaning = c;
  const MethodRunResult a = RunMethodProject(dir, analysis);
  ASSERT_EQ(noErr, a.error);
  EXPECT_NEAR(0.7, std::stod(pane.Text(2323)), 0.05);

  // The box is nearer the bottom right corner: position 3 in 2341, the picture reaching that corner.
  const BZ_RlDlgTaskData *data = pane.data();
  EXPECT_EQ(3, pane.Value(2341));
  EXPECT_TRUE(pane.Active(2315));
  EXPECT_EQ(200, data->logoRect.top);
  EXPECT_EQ(250, data->logoRect.left);
  EXPECT_EQ(240, data->logoRect.bottom);
  EXPECT_EQ(310, data->logoRect.right);
  EXPECT_EQ(88 + 20, data->logoPicBounds.bottom) << "from 20 above the box to the frame's bottom";
  EXPECT_EQ(102 + 20, data->logoPicBounds.right);
  ASSERT_NE(nullptr, pane.WellPicture());
  EXPECT_EQ(data->wellPic, pane.WellPicture());

  gExportFolder = dir.path();
  PL_SetPutFileProc(AnswerSave);
  ASSERT_EQ(noErr, BZ_ExportMask(pane.window()));
  EXPECT_FALSE(pane.Active(2315));
  const std::string exported = dir.File("found mask.qtif");
  ASSERT_TRUE(Exists(exported));
  EXPECT_NE(std::string::npos, pane.Text(2311).find("\"found mask.qtif\" in folder"));
  BZ_RlDlgTaskData *back = nullptr;
  ASSERT_EQ(noErr, BZ_RlInitDlgTaskData(&back));
  FSRef file = RefFor(exported);
  ASSERT_EQ(noErr, BZ_RlCheckMask(back, &file));
  EXPECT_EQ(data->numMaskPix, back->numMaskPix);
  const SInt32 w = data->maskRect.right - data->maskRect.left;
  const SInt32 bw = back->logoRectInPic.right - back->logoRectInPic.left;
  const SInt32 bh = back->logoRectInPic.bottom - back->logoRectInPic.top;
  EXPECT_EQ(data->logoRect.right - data->logoRect.left, bw);
  EXPECT_EQ(data->logoRect.bottom - data->logoRect.top, bh);
  size_t differing = 0;
  for (SInt32 y = 0; y < bh; ++y)
    for (SInt32 x = 0; x < bw; ++x) {
      const SInt32 fy = data->logoRect.top + y - data->maskRect.top, fx = data->logoRect.left + x - data->maskRect.left;
      differing += (data->isMaskPixel[fy * w + fx] != 0) != (back->isMaskPixel[y * bw + x] != 0);
    }
  EXPECT_EQ(0u, differing);
  BZ_RlDisposeDlgTaskData(&back);
}

std::string gChosen;
OSStatus AnswerChoose(const PL_ChooseFileRequest *, std::string *path) {
  if (gChosen.empty()) return userCanceledErr;
  *path = gChosen;
  return noErr;
}

TEST(LogoMaskImport, ChosenImageBecomesTheMaskAndCancelClearsIt) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoPane pane;
  CurrentProject project;
  DescribeSource(project.statMovInfo(), 0, 288, 352, 10, '2vuy');
  project->info.settings.cleaning.removeLogo.maskAnchor = 2;
  TempDir dir;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i color=white:s=120x80 -vf "
                          "drawbox=x=70:y=50:w=30:h=20:color=black:t=fill -frames:v 1 " +
                          ShellQuote(dir.File("mask.png"))));
  gChosen = dir.File("mask.png");
  PL_SetChooseFileProc(AnswerChoose);
  ASSERT_EQ(noErr, BZ_ImportMask(pane.window()));
  const BZ_RlDlgTaskData *data = pane.data();
  EXPECT_EQ(600, data->numMaskPix);
  // Bottom right: the image's corner meets the frame's.
  const Rect &placed = project->info.settings.cleaning.removeLogo.logoRect;
  EXPECT_EQ(288 - 80 + 50, placed.top);
  EXPECT_EQ(352 - 120 + 70, placed.left);
  EXPECT_EQ(placed.bottom - placed.top, 20);
  EXPECT_NE(nullptr, pane.WellPicture());
  EXPECT_NE(std::string::npos, pane.Text(2311).find("\"mask.png\" in folder"));

  gChosen.clear();
  ASSERT_EQ(noErr, BZ_ImportMask(pane.window()));
  EXPECT_TRUE(IsZeroRef(data->maskFile));
  EXPECT_EQ(nullptr, pane.WellPicture());
  EXPECT_EQ("Mask name & location", pane.Text(2311));
}

}  // namespace
