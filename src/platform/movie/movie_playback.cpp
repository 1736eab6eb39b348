// The active segment of each movie, kept beside the movie, and the hand-over to the segment player.
#include "platform/movie/movie_playback.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

std::mutex gLock;
std::map<Movie, std::pair<TimeValue, TimeValue>> gSegments;
PL_MovieSegmentPlayer gPlayer = nullptr;

}  // namespace

void SetMovieActiveSegment(Movie theMovie, TimeValue startTime, TimeValue duration) {
  if (theMovie == nullptr) return;
  std::lock_guard<std::mutex> lock(gLock);
  if (startTime == -1 || duration == -1)
    gSegments.erase(theMovie);
  else
    gSegments[theMovie] = {startTime, duration};
}

void GetMovieActiveSegment(Movie theMovie, TimeValue *startTime, TimeValue *duration) {
  TimeValue start = -1, length = -1;
  if (theMovie != nullptr) {
    std::lock_guard<std::mutex> lock(gLock);
    if (auto it = gSegments.find(theMovie); it != gSegments.end()) std::tie(start, length) = it->second;
  }
  if (startTime != nullptr) *startTime = start;
  if (duration != nullptr) *duration = length;
}

OSErr PrerollMovie(Movie theMovie, TimeValue, Fixed) { return theMovie != nullptr ? OSErr(noErr) : OSErr(paramErr); }

void StartMovie(Movie theMovie) {
  if (theMovie == nullptr) return;
  TimeValue start = 0, length = 0;
  GetMovieActiveSegment(theMovie, &start, &length);
  if (start < 0) start = 0, length = GetMovieDuration(theMovie);
  // From the current time to the segment's end.
  const TimeValue now = GetMovieTime(theMovie, nullptr);
  if (now > start && now < start + length) length -= now - start, start = now;
  if (gPlayer != nullptr && length > 0) gPlayer(theMovie, start, length);
}

void PL_SetMovieSegmentPlayer(PL_MovieSegmentPlayer player) { gPlayer = player; }
