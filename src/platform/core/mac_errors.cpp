// The one errno-to-OSStatus table of the platform layer.
#include "platform/core/mac_errors.h"

#include <cerrno>

OSStatus PL_OSStatusFromErrno(int errnoValue) {
  switch (errnoValue) {
    case 0:
      return noErr;
    case ENOENT:
      return fnfErr;
    case EEXIST:
      return dupFNErr;
    case EACCES:
    case EPERM:
      return permErr;
    case EROFS:
      return wPrErr;
    case ENOSPC:
      return dskFulErr;
    case EIO:
      return ioErr;
    case EMFILE:
    case ENFILE:
      return tmfoErr;
    case ENOMEM:
      return memFullErr;
    case EBUSY:
      return fBsyErr;
    case ENAMETOOLONG:
      return errFSNameTooLong;
    case EXDEV:
      return diffVolErr;
    case EFBIG:
      return fileBoundsErr;
    default:
      return ioErr;
  }
}
