// Varying brightness through the whole engine, headless: ffmpeg makes a clip whose brightness rises and falls
// with a period of 8 frames (or fields); an analysis run measures every frame and stores the factor table,
// and the execution that follows removes the flicker. Movies without a regular period keep the earlier table,
// and an execution without a table that fits ends before any frame, leaving no target and the source as it
// was.
#include "engine/runtime/project_types.h"
#include "general/memory_lists.h"
#include "methods/varbr_analysis.h"
#include "methods/varbr_measuring_stage.h"
#include "support/file_fixtures.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {
using namespace bz_test;
constexpr int kFrames = 60;

// ---- Fixtures -----------------------------------------------------------------------------------------------

// The luma factor of sample k (a frame, or a field in temporal order): 1 + 0.05 sin(2 pi k / 8).
const char *kFrameFlicker = "clip(lum(X,Y)*(1+0.05*sin(2*PI*N/8)),0,255)";
const char *kFieldFlicker = "clip(lum(X,Y)*(1+0.05*sin(2*PI*(2*N+mod(Y,2))/8)),0,255)";

// testsrc2 at 352 x 288 as '2vuy', its luma through `luma` (a geq expression; empty: the clean clip).
std::string MakeClip(const TempDir &dir, const std::string &name, int frames, const std::string &luma,
                     const std::string &extra = "", const std::string &size = "352x288") {
  const std::string path = dir.File(name);
  std::string filter = "format=yuv444p";
  if (!luma.empty()) filter += ",geq=lum='" + luma + "':cb='cb(X,Y)':cr='cr(X,Y)'";
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=s=" + size + ":r=25 -frames:v " + std::to_string(frames) +
                          " -vf " + ShellQuote(filter) + " -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy " + extra +
                          " -f mov " + ShellQuote(path);
  EXPECT_EQ(RunCommand(cmd), 0) << cmd;
  return path;
}

// Each frame's mean luma, as ffprobe's signalstats measures it.
std::vector<double> MeanLumas(const std::string &path) {
  std::string out;
  EXPECT_EQ(RunCommand("ffprobe -v error -f lavfi -i " + ShellQuote("movie=" + path + ",signalstats") +
                           " -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0",
                       &out),
            0);
  std::vector<double> values;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) values.push_back(std::stod(line));
  return values;
}

double StdDev(const std::vector<double> &v) {
  if (v.empty()) return 0.0;
  double mean = 0.0, sum = 0.0;
  for (double x : v) mean += x;
  mean /= double(v.size());
  for (double x : v) sum += (x - mean) * (x - mean);
  return std::sqrt(sum / double(v.size()));
}

// The flicker of a movie: the spread of its frames' mean luma over the clean clip's.
double Flicker(const std::string &movie, const std::string &clean) {
  const std::vector<double> a = MeanLumas(movie), b = MeanLumas(clean);
  EXPECT_EQ(a.size(), b.size());
  return StdDev(a) / StdDev(b);
}

// ---- Runs -----------------------------------------------------------------------------------------------------

// The factor tables a project holds between its runs.
struct VbTables {
  std::vector<float> progressive, top, bottom;
  bool operator==(const VbTables &) const = default;
};

std::vector<float> Copy(const float *table, SInt32 count) {
  return table != nullptr ? std::vector<float>(table, table + count) : std::vector<float>{};
}

void Put(const std::vector<float> &from, float **table, SInt32 *count) {
  *count = 0;
  if (from.empty()) return;
  ASSERT_EQ(GL_NewPtrClear(from.size() * sizeof(float), table), noErr);
  std::memcpy(*table, from.data(), from.size() * sizeof(float));
  *count = SInt32(from.size());
}

// One run of dir/source with the correction applied; the project starts with *tables and *tables gets what
// it holds when the run has ended.
// An analysis measures the brightness unless autoSettCalc asks for other settings (0: only the frame
// statistics). An analysis always records the frames it shows; other runs with recordShown.
MethodRunResult RunVarBr(const TempDir &dir, const std::string &source, MethodRunKind kind, int workers,
                         VbTables *tables, UInt32 autoSettCalc = kBZ_VbAutoSettStage, bool recordShown = false) {
  BZ_VbDlgTaskData *record = nullptr;
  EXPECT_EQ(BZ_VbInitDlgTaskData(&record), noErr);
  Put(tables->progressive, &record->vbFactors, &record->numVbFactors);
  Put(tables->top, &record->vbFactorsTop, &record->numVbFactorsTop);
  Put(tables->bottom, &record->vbFactorsBottom, &record->numVbFactorsBottom);
  gBZ.dlgTaskData.vbDlgTaskData = record;
  MethodRunOptions options;
  options.source = source;
  options.kind = kind;
  options.workers = workers;
  BZ_CleaninSett cleaning = NoCleaning();
  cleaning.varBr.apply = true;
  options.cleaning = cleaning;
  if (kind == MethodRunKind::kAnalysis) {
    options.autoSettCalc = autoSettCalc;
    options.statisticsStep = autoSettCalc == 0;
    options.recordShownFrames = true;
  }
  if (recordShown) options.recordShownFrames = true;
  options.atRunEnd = [&] {
    *tables = VbTables{Copy(record->vbFactors, record->numVbFactors),
                       Copy(record->vbFactorsTop, record->numVbFactorsTop),
                       Copy(record->vbFactorsBottom, record->numVbFactorsBottom)};
  };
  MethodRunResult r = RunMethodProject(dir, options);
  gBZ.dlgTaskData.vbDlgTaskData = nullptr;
  BZ_VbDisposeDlgTaskDataRecord(&record);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter) << "the source is never written";
  return r;
}

// The value the run sent to a dialog item with its relevant digits (NAN when none).
float Posted(const MethodRunResult &r, SInt16 item) {
  for (const auto &[sentItem, value, digits] : r.relevantDigitValues)
    if (sentItem == item) {
      EXPECT_EQ(digits, 3);
      return value;
    }
  return NAN;
}

std::vector<SInt32> AllFrames(int n) {
  std::vector<SInt32> frames(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) frames[size_t(i)] = i;
  return frames;
}

// ---- Tests ----------------------------------------------------------------------------------------------------

TEST(VarBrEndToEnd, MeasuresThenRemovesFrameFlicker) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string clean = MakeClip(dir, "clean.mov", kFrames, "");
  MakeClip(dir, "flicker.mov", kFrames, kFrameFlicker);

  VbTables measured[2];
  const int workerCounts[2] = {1, 8};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(std::to_string(workerCounts[k]) + " workers");
    const MethodRunResult analysis = RunVarBr(dir, "flicker.mov", MethodRunKind::kAnalysis, workerCounts[k], &measured[k]);
    ASSERT_EQ(analysis.error, noErr);
    EXPECT_EQ(analysis.shownFrames, AllFrames(kFrames)) << "every frame, in order";
    EXPECT_NEAR(Posted(analysis, kBZ_VbPeriodItem), 0.16f, 0.016f) << "4 frames of 0.04 s between extrema";
    EXPECT_NEAR(Posted(analysis, kBZ_VbAmplitudeItem), 4.76f, 0.5f);
    EXPECT_EQ(measured[k].progressive.size(), size_t(kFrames));
    EXPECT_TRUE(measured[k].top.empty() && measured[k].bottom.empty());
  }
  EXPECT_EQ(measured[0], measured[1]) << "the table does not depend on the workers";

  std::vector<std::vector<uint8_t>> outputs[2];
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(std::to_string(workerCounts[k]) + " workers");
    VbTables tables = measured[0];
    const MethodRunResult run = RunVarBr(dir, "flicker.mov", MethodRunKind::kExecute, workerCounts[k], &tables);
    ASSERT_EQ(run.error, noErr);
    ASSERT_EQ(run.save, noErr);
    ASSERT_TRUE(run.targetExists);
    EXPECT_EQ(tables, measured[0]) << "an execution only reads the table";
    // The pictures, not the file: its header holds the time it was written.
    outputs[k] = DecodeVideoWithFfmpeg(dir.File("out.mov"), 352, 288);
    EXPECT_EQ(outputs[k].size(), size_t(kFrames));
    if (k == 1) {
      const double before = Flicker(dir.File("flicker.mov"), clean), after = Flicker(dir.File("out.mov"), clean);
      EXPECT_LE(after * 4.0, before) << "flicker " << before << " before, " << after << " after";
    }
  }
  EXPECT_EQ(outputs[0], outputs[1]) << "1 and 8 workers write the same movie";
}

TEST(VarBrEndToEnd, InterlacedFlickerIsMeasuredAndCorrectedByField) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string clean = MakeClip(dir, "clean.mov", kFrames, "", "-field_order tt");
  MakeClip(dir, "flicker.mov", kFrames, kFieldFlicker, "-field_order tt");

  VbTables tables;
  const MethodRunResult analysis = RunVarBr(dir, "flicker.mov", MethodRunKind::kAnalysis, 8, &tables);
  ASSERT_EQ(analysis.error, noErr);
  // Extrema 4 fields apart: 4 x 0.02 s.
  EXPECT_NEAR(Posted(analysis, kBZ_VbPeriodItem), 0.08f, 0.008f);
  EXPECT_NEAR(Posted(analysis, kBZ_VbAmplitudeItem), 4.76f, 0.5f);
  ASSERT_EQ(tables.top.size(), size_t(2 * kFrames)) << "one factor per field, top field first";
  EXPECT_TRUE(tables.progressive.empty() && tables.bottom.empty());

  const MethodRunResult run = RunVarBr(dir, "flicker.mov", MethodRunKind::kExecute, 8, &tables);
  ASSERT_EQ(run.error, noErr);
  ASSERT_EQ(run.save, noErr);
  // Each field's mean luma against the clean clip's: the two fields of a frame differed by up to 7 %.
  const auto fieldMeans = [&](const std::string &movie) {
    const std::vector<std::vector<uint8_t>> frames = DecodeVideoWithFfmpeg(movie, 352, 288);
    std::vector<double> means;
    for (const auto &f : frames)
      for (int field = 0; field < 2; ++field) {
        double sum = 0;
        for (int y = field; y < 288; y += 2)
          for (int x = 0; x < 352; ++x) sum += f[(size_t(y) * 352 + size_t(x)) * 2 + 1];
        means.push_back(sum / (144.0 * 352.0));
      }
    return means;
  };
  const std::vector<double> dirty = fieldMeans(dir.File("flicker.mov")), cleaned = fieldMeans(dir.File("out.mov")),
                            truth = fieldMeans(clean);
  ASSERT_EQ(cleaned.size(), truth.size());
  std::vector<double> dirtyRatio, cleanedRatio;
  for (size_t i = 0; i < truth.size(); ++i) {
    dirtyRatio.push_back(dirty[i] / truth[i]);
    cleanedRatio.push_back(cleaned[i] / truth[i]);
  }
  EXPECT_LE(StdDev(cleanedRatio) * 4.0, StdDev(dirtyRatio))
      << "field brightness spread " << StdDev(dirtyRatio) << " before, " << StdDev(cleanedRatio) << " after";
}

// Movies without a regular period end the analysis with 5023 and keep the table measured before; an execution
// without a table for its movie ends before any frame, with no target and the source untouched.
TEST(VarBrEndToEnd, FailuresKeepTheTableAndWriteNothing) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "short.mov", 8, kFrameFlicker);
  MakeClip(dir, "drift.mov", kFrames, "clip(lum(X,Y)*(0.8+0.006*N),0,255)");
  MakeClip(dir, "flicker.mov", kFrames, kFrameFlicker);
  // Too small for one measuring block of 16 pixels inside the margins.
  MakeClip(dir, "tiny.mov", kFrames, kFrameFlicker, "", "48x32");

  const VbTables earlier{std::vector<float>(kFrames, 1.25f), {}, {}};
  for (const char *movie : {"short.mov", "drift.mov", "tiny.mov"}) {
    SCOPED_TRACE(movie);
    VbTables tables = earlier;
    const MethodRunResult analysis = RunVarBr(dir, movie, MethodRunKind::kAnalysis, 4, &tables);
    EXPECT_EQ(analysis.error, 5023);
    EXPECT_EQ(tables, earlier);
    EXPECT_TRUE(analysis.relevantDigitValues.empty()) << "nothing is shown";
  }

  struct Case {
    const char *name;
    VbTables tables;
  };
  const Case cases[] = {
      {"no analysis", {}},
      {"a table for the other field order", {{}, std::vector<float>(2 * kFrames, 1.0f), {}}},
      {"a table shorter than the movie", {std::vector<float>(kFrames - 1, 1.0f), {}, {}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    VbTables tables = c.tables;
    const MethodRunResult run =
        RunVarBr(dir, "flicker.mov", MethodRunKind::kExecute, 4, &tables, kBZ_VbAutoSettStage, true);
    EXPECT_EQ(run.error, 5023);
    EXPECT_FALSE(run.targetExists);
    EXPECT_TRUE(run.shownFrames.empty()) << "no frame reached the writer";
  }
  {
    SCOPED_TRACE("a preview without a table");
    VbTables none;
    EXPECT_EQ(RunVarBr(dir, "flicker.mov", MethodRunKind::kPreview, 4, &none).error, 5023);
  }
  {
    // The measurement of other settings does not wait for the brightness analysis.
    SCOPED_TRACE("the frame statistics without a table");
    VbTables none;
    EXPECT_EQ(RunVarBr(dir, "flicker.mov", MethodRunKind::kAnalysis, 4, &none, 0).error, noErr);
  }
}

}  // namespace
