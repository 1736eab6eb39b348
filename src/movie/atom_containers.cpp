// Atom containers of the movie library, and its error keys.
#include "movie/atom_containers.h"

#include "platform/core/cf_string.h"

void QT_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey == nullptr) return;
  CFStringRef key = CFSTR("GL UnknownErr");
  switch (error) {
    case kQT_LowVersionErr: key = CFSTR("QT LowVersionErr"); break;
    case kQT_NoControllerOpenedErr: key = CFSTR("QT NoControllerOpenedErr"); break;
    case kQT_ComponentDidntHandleRequestErr: key = CFSTR("QT ComponentDidntHandleRequestErr"); break;
    case kQT_NoComponentFoundErr: key = CFSTR("QT NoComponentFoundErr"); break;
    case kQT_DataRefIndexNotInMediaErr: key = CFSTR("QT DataRefIndexNotInMediaErr"); break;
    case kQT_CouldNotOpenMovieFileErr: key = CFSTR("QT CouldNotOpenMovieFileErr"); break;
    case kQT_CouldNotGetAllMovieFileReferencesErr: key = CFSTR("QT CouldNotGetAllMovieFileReferencesErr"); break;
    case kQT_CouldNotDeleteMovieFileErr:
    case kQT_CouldNotListMovieFileReferencesErr: key = CFSTR("QT CouldNotDeleteMovieFileErr"); break;
    case kQT_DataRefNotFileErr: key = CFSTR("QT DataRefNotFileErr"); break;
    case kQT_NoVideoTrackErr: key = CFSTR("QT NoVideoTrackErr"); break;
    case kQT_UnknownTimeScaleErr: key = CFSTR("QT UnknownTimeScaleErr"); break;
    case kQT_MdatHeaderErr: key = CFSTR("QT MdatHeaderErr"); break;
    case 11016:
    case 11017:
    case 11018: key = CFSTR("QT AtomErr"); break;
    case 11020:
    case 11021:
    case 11022: key = CFSTR("QT LibErr"); break;
    default: break;  // 11012, 11014, 11019 and everything outside the range
  }
  *errorKey = key;
}
