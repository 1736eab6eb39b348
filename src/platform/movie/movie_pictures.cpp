// Movie Toolbox stand-in, pictures of a movie.
#include "platform/movie/movie_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

PicHandle GetMoviePict(Movie theMovie, TimeValue time) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return nullptr;
  }
  Rect box{};
  GetMovieBox(theMovie, &box);
  if (box.right <= box.left || box.bottom <= box.top ||
      GetMovieIndTrackType(theMovie, 1, VideoMediaType, 1 | 4) == nullptr) {
    PL_SetMoviesError(noErr);
    return nullptr;
  }
  Rect bounds{0, 0, SInt16(box.bottom - box.top), SInt16(box.right - box.left)};
  GWorldPtr world = nullptr;
  OSErr err = QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0);
  if (err != noErr) {
    PL_SetMoviesError(err);
    return nullptr;
  }
  CGrafPtr savedWorld = nullptr;
  GDHandle savedDevice = nullptr;
  GetMovieGWorld(theMovie, &savedWorld, &savedDevice);
  const TimeValue savedTime = GetMovieTime(theMovie, nullptr);
  const Boolean savedActive = GetMovieActive(theMovie);
  // Drawn at the origin of its own world, whatever the movie box's offset.
  MatrixRecord savedMatrix;
  GetMovieMatrix(theMovie, &savedMatrix);
  SetMovieBox(theMovie, &bounds);
  SetMovieGWorld(theMovie, world, nullptr);
  SetMovieTimeValue(theMovie, time);
  SetMovieActive(theMovie, true);
  UpdateMovie(theMovie);
  MoviesTask(theMovie, 0);
  err = OSErr(GetMovieStatus(theMovie, nullptr));
  PicHandle picture = nullptr;
  if (err == noErr) err = OSErr(PL_NewPictureFromPixMap(GetGWorldPixMap(world), nullptr, &picture));
  SetMovieActive(theMovie, savedActive);
  SetMovieTimeValue(theMovie, savedTime);
  SetMovieGWorld(theMovie, savedWorld, savedDevice);
  SetMovieMatrix(theMovie, &savedMatrix);
  DisposeGWorld(world);
  PL_SetMoviesError(err);
  return picture;
}

TimeValue GetMoviePosterTime(Movie theMovie) {
  PL_SetMoviesError(theMovie == nullptr ? invalidMovie : noErr);
  return 0;
}

PicHandle GetMoviePosterPict(Movie theMovie) { return GetMoviePict(theMovie, GetMoviePosterTime(theMovie)); }
