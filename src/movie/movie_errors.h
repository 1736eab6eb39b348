// Error numbers of the movie library (11001 to 11022). Their localisation keys are looked up by
// QT_GetLibErrorKey; several numbers share a key.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/movie/movie_types.h"

enum : OSStatus {
  kQT_LowVersionErr = 11001,
  kQT_NoControllerOpenedErr = 11002,
  kQT_ComponentDidntHandleRequestErr = 11003,
  kQT_NoComponentFoundErr = 11004,
  kQT_DataRefIndexNotInMediaErr = 11005,
  kQT_CouldNotOpenMovieFileErr = 11006,
  kQT_CouldNotGetAllMovieFileReferencesErr = 11007,
  kQT_CouldNotDeleteMovieFileErr = 11008,
  // The referenced files of a movie to delete could not be listed (key of 11008).
  kQT_CouldNotListMovieFileReferencesErr = 11009,
  kQT_DataRefNotFileErr = 11010,
  kQT_NoVideoTrackErr = 11011,
  kQT_UnknownTimeScaleErr = 11013,
  kQT_DecompressImageErr = 11014,
  kQT_MdatHeaderErr = 11015,
  kQT_AtomErr = 11016,
  // A table's entry count runs past its data (key of 11016).
  kQT_AtomCountErr = 11017,
  // Tables of a movie contradict each other (key of 11016).
  kQT_AtomTableErr = 11018,
  kQT_LibErr = 11020,
};

// The movie stand-in reports damaged files with these numbers.
static_assert(OSStatus(kQT_MdatHeaderErr) == OSStatus(kPL_MovieMdatHeaderErr) &&
              OSStatus(kQT_AtomErr) == OSStatus(kPL_MovieAtomErr) &&
              OSStatus(kQT_AtomCountErr) == OSStatus(kPL_MovieAtomCountErr) &&
              OSStatus(kQT_AtomTableErr) == OSStatus(kPL_MovieSampleTableErr));
