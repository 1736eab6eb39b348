// The DV stream exporter takes its pictures from sources of compressed codecs through the decoders: a
// Motion-JPEG movie exports to DV frames that show its pictures.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

TEST(ExportDecoding, MotionJpegSourceExportsToDvFramesOfItsPictures) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const std::string source = dir.File("mjpeg.mov"), out = dir.File("out.dv");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=25 -frames:v 5 -c:v mjpeg "
                                   "-q:v 3 " + bz_test::ShellQuote(source)));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &movie));
  MovieExportComponent ci = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieExportType, kQTFileTypeDVC, &ci));
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(out.c_str(), &dataRef, &dataRefType));
  EXPECT_EQ(noErr, MovieExportToDataRef(ci, dataRef, dataRefType, movie, nullptr, 0, GetMovieDuration(movie)));
  DisposeHandle(dataRef);
  CloseComponent(ci);
  DisposeMovie(movie);

  EXPECT_EQ("dvvideo", bz_test::ProbeStream(out, "v:0")["codec_name"]);
  // Both scaled to the source's size in grey: the DV frames show the source's pictures (DV and two scalings
  // lose some detail, a wrong or missing picture differs by far more).
  std::string exported = dir.File("exported.gray"), original = dir.File("original.gray");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(out) +
                                   " -vf scale=320:240 -f rawvideo -pix_fmt gray " + bz_test::ShellQuote(exported)));
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(source) +
                                   " -f rawvideo -pix_fmt gray " + bz_test::ShellQuote(original)));
  std::vector<UInt8> a = bz_test::ReadWholeFile(exported), b = bz_test::ReadWholeFile(original);
  const size_t frame = 320 * 240;
  ASSERT_GE(a.size(), 5 * frame);
  ASSERT_EQ(5 * frame, b.size());
  for (size_t f = 0; f < 5; ++f) {
    double sum = 0;
    for (size_t i = 0; i < frame; ++i) sum += std::abs(int(a[f * frame + i]) - int(b[f * frame + i]));
    EXPECT_LT(sum / double(frame), 8.0) << "frame " << f;
  }
}

}  // namespace
