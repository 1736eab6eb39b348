// What the application makes of a file (a movie it can take, one of its own log documents) and where its
// output files go by default. Main thread only.
#pragma once

#include "platform/core/files.h"

// From the file's type and creator: a 'MooV' file is an input movie while no project dialog is open; a
// 'txtn' file of creator 'Orl1' is one of our logs; a file of another type is an input movie when the movie
// library can open it (and no project dialog is open). A catalog or movie-library failure is returned and
// the outputs are left alone.
OSStatus BZ_IsOurFile(const FSRef *file, Boolean *inputMovie, Boolean *isLog);
// By the "Output folder" preference: 1 the source's folder, 2 the previous output folder, else (and when
// that is no valid folder) the user's Movies folder, made when missing. The last file-system call's status.
OSStatus BZ_GetDefaultTargetFolder(const FSRef *srcFile, FSRef *defaultTargetFolder);
