// Opening a movie chosen by the user. Main thread only.
#pragma once

#include "movie/movie_files.h"
#include "platform/core/icons.h"

// Asks the user for one movie file (QT_MovieFilter; files of type 'MooV' or 'MPEG') with the client name
// and message (null: "Please select a movie"), then opens it (QT_OpenMovieFile with flags). *file is the
// chosen file (cleared on cancel, userCanceledErr, or failure); *movie is owned by the caller (DisposeMovie).
OSStatus QT_OpenMovieWithDialog(FSRef *file, CFStringRef appName, CFStringRef message, SInt16 flags, Movie *movie);
// *icon = a new icon (owned: ReleaseIconRef) of the movie's poster picture; a movie without one (no
// picture to show) gives no icon and no error. The file is only read.
OSStatus QT_MovieFileToIcon(const FSRef *file, IconRef *icon);
