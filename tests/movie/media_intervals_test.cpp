// Media intervals of tracks and the media sizes and sample counts that tracks use: stretches shown twice,
// empty edits, windows that cut edits, and the data spans of the stretches.
#include "movie/movie_queries.h"
#include "movie/track_copying.h"

#include "platform/core/mac_errors.h"
#include "support/movie_builders.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using bz_test::AddBuiltTrack;
using bz_test::BuiltMovie;
using bz_test::Frames;

std::vector<std::pair<SInt32, SInt32>> Spans(const LL_IntervalLE *first) {
  std::vector<std::pair<SInt32, SInt32>> spans;
  for (; first != nullptr; first = first->next) spans.emplace_back(first->start, first->end);
  return spans;
}

// Ten frames of 100 units and 1000 bytes from offset 16: frames 2..4 shown twice, an empty 100, frames 6..7.
Track RepeatingTrack(Movie movie) {
  Track track = AddBuiltTrack(movie, VideoMediaType, 600, Frames(std::vector<TimeValue>(10, 100)));
  EXPECT_EQ(noErr, InsertMediaIntoTrack(track, 0, 200, 300, fixed1));
  EXPECT_EQ(noErr, InsertMediaIntoTrack(track, -1, 200, 300, fixed1));
  EXPECT_EQ(noErr, InsertMediaIntoTrack(track, 700, 600, 200, fixed1));
  return track;
}

TEST(MediaIntervals, ListsMergeStretchesShownTwiceAndSkipEmptyEdits) {
  BuiltMovie m(600);
  Track track = RepeatingTrack(m.movie);
  LL_IntervalLE *list = nullptr;
  Boolean overlap = true;
  ASSERT_EQ(noErr, QT_MakeMediaIntervalList(track, 0, 900, false, &list, &overlap));
  EXPECT_EQ((std::vector<std::pair<SInt32, SInt32>>{{200, 499}, {200, 499}, {600, 799}}), Spans(list));
  EXPECT_FALSE(overlap);
  LL_DisposeLinkedList(&list);
  ASSERT_EQ(noErr, QT_MakeMediaIntervalList(track, 0, 900, true, &list, &overlap));
  EXPECT_EQ((std::vector<std::pair<SInt32, SInt32>>{{200, 499}, {600, 799}}), Spans(list));
  EXPECT_TRUE(overlap);
  LL_DisposeLinkedList(&list);

  // A window that cuts edits: the samples are taken whole by the New form, which counts them.
  SInt32 frames = 0;
  ASSERT_EQ(noErr, QT_MakeMediaIntervalList(track, 350, 750, false, &list, &overlap));
  EXPECT_EQ((std::vector<std::pair<SInt32, SInt32>>{{250, 499}, {600, 649}}), Spans(list));
  LL_DisposeLinkedList(&list);
  ASSERT_EQ(noErr, QT_MakeMediaIntervalListNew(track, 350, 750, false, &list, &frames, &overlap));
  EXPECT_EQ((std::vector<std::pair<SInt32, SInt32>>{{200, 499}, {600, 699}}), Spans(list));
  EXPECT_EQ(4, frames);
  LL_DisposeLinkedList(&list);
}

TEST(MediaIntervals, DataSpansAndIndirectOverlap) {
  BuiltMovie m(600);
  Track track = RepeatingTrack(m.movie);
  Media media = GetTrackMedia(track);
  QT_MediaIntervalLE span{};
  ASSERT_EQ(noErr, QT_FillInMediaInterval(media, 200, 300, &span));
  EXPECT_EQ(1, span.dataRefIndex);
  EXPECT_EQ(2016, span.startOffset);
  EXPECT_EQ(5016, span.endOffset);

  LL_IntervalLE b{nullptr, 400, 599}, a{&b, 200, 499};
  Boolean overlap = false;
  ASSERT_EQ(noErr, QT_MediaIntervalsOverlapIndirectly(media, &a, &overlap));
  EXPECT_TRUE(overlap);
  b.start = 600, b.end = 699;
  ASSERT_EQ(noErr, QT_MediaIntervalsOverlapIndirectly(media, &a, &overlap));
  EXPECT_FALSE(overlap);

  QT_MediaIntervalLE second{nullptr, 1, 100, 200}, first{&second, 1, 50, 60}, other{nullptr, 2, 0, 10};
  QT_MediaIntervalListPtrLE l2{nullptr, &other, 2}, l1{&l2, &first, 1};
  QT_MediaIntervalLE *table = nullptr;
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_PackMediaIntervalLists(&l1, &table, &count));
  ASSERT_EQ(3, count);
  EXPECT_EQ(50, table[0].startOffset);
  EXPECT_EQ(100, table[1].startOffset);
  EXPECT_EQ(2, table[2].dataRefIndex);
  DisposePtr(reinterpret_cast<Ptr>(table));
}

TEST(MediaIntervals, UsedSizesAndCountsCountEachStretchOnce) {
  BuiltMovie m(600);
  Track video = RepeatingTrack(m.movie);
  SInt64 size = 0;
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_GetTrackUsedMediaSizeAndSampleCount(video, 0, 900, &size, &count));
  EXPECT_EQ(5, count);
  EXPECT_EQ(5000, size);
  ASSERT_EQ(noErr, QT_GetTrackUsedMediaSizeAndSampleCount(video, 350, 750, &size, &count));
  EXPECT_EQ(4, count);
  EXPECT_EQ(4000, size);
  ASSERT_EQ(noErr, QT_GetTrackUsedMediaSizeAndSampleCount(video, 600, 700, &size, &count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(0, size);

  // A second video track of four frames of 500 bytes, shown whole; disabled it drops out of enabled-only sums.
  Track second = AddBuiltTrack(m.movie, VideoMediaType, 600, Frames({100, 100, 100, 100}, 500));
  bz_test::InsertWholeMedia(second);
  ASSERT_EQ(noErr, QT_GetMovieUsedMediaSizeAndSampleCount(m.movie, 0, 900, VideoMediaType, movieTrackMediaType, false,
                                                          &size, &count));
  EXPECT_EQ(9, count);
  EXPECT_EQ(7000, size);
  SetTrackEnabled(second, false);
  ASSERT_EQ(noErr, QT_GetMovieUsedMediaSizeAndSampleCount(m.movie, 0, 900, 'eyes', movieTrackCharacteristic, true, &size,
                                                          &count));
  EXPECT_EQ(5, count);
  EXPECT_EQ(5000, size);
}

}  // namespace
