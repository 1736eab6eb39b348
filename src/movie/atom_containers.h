// Atom containers of the movie library, and the localisation keys of the movie library's error numbers.
#pragma once

#include "movie/movie_errors.h"
#include "platform/core/cf_base.h"

// Stores the constant key of a movie-library number (11001 to 11022; never release it): 11001
// "QT LowVersionErr" ... 11020 to 11022 "QT LibErr"; 11012, 11014, 11019 and every other number
// "GL UnknownErr". Cannot fail; any thread.
void QT_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);
