// Movie Toolbox stand-in, playing: the active segment, preroll and start of a movie. Movies are not played
// on screen here; starting a movie hands its active segment (movie time) to the installed segment player,
// which plays the segment's sound. Without a player nothing is heard, as on a machine with its sound muted.
// Main thread.
#pragma once

#include "platform/movie/movie_types.h"

// The part of the movie that plays; a duration of -1 (or a start of -1) means the whole movie.
void SetMovieActiveSegment(Movie theMovie, TimeValue startTime, TimeValue duration);
void GetMovieActiveSegment(Movie theMovie, TimeValue *startTime, TimeValue *duration);
// Nothing to prepare here: noErr for a movie, paramErr for NULL.
OSErr PrerollMovie(Movie theMovie, TimeValue time, Fixed rate);
// Plays the active segment's sound from the movie's current time on through the player.
void StartMovie(Movie theMovie);

// The player: called by StartMovie with the movie and the stretch of movie time to play.
typedef void (*PL_MovieSegmentPlayer)(Movie movie, TimeValue startTime, TimeValue duration);
// Installs the player (NULL: none).
void PL_SetMovieSegmentPlayer(PL_MovieSegmentPlayer player);
