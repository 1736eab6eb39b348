// Movie Toolbox stand-in, pictures of a movie: the frame shown at a time (or at the poster time) drawn into
// a picture of the movie box. Main thread (it draws the movie).
#pragma once

#include "platform/core/quickdraw_pictures.h"
#include "platform/movie/movie_types.h"

// A new picture (owned: KillPicture) of the movie's picture at `time`, of the size of the movie box (at
// the origin). Null without error (GetMoviesError noErr) for a movie that shows no picture (an empty box,
// no video track); null with the error when drawing fails. The movie's world, time and activity are kept.
PicHandle GetMoviePict(Movie theMovie, TimeValue time);
// The same at the poster time; movies here keep none, so it is the start of the movie.
PicHandle GetMoviePosterPict(Movie theMovie);
TimeValue GetMoviePosterTime(Movie theMovie);
