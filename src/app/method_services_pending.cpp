// Stand-ins for the cleaning methods' services (see the header).
#include "app/method_services_pending.h"

OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **) { return noErr; }
OSStatus BZ_RlGetFadeFrameNumbers(BZ_ProjPtr, BZ_RlParams *) { return noErr; }
OSStatus BZ_RlSetMaskPicture(WindowRef, BZ_RlParams *) { return noErr; }
OSStatus BZ_DrawNoiseSpectr(const BZ_RnParams *) { return noErr; }
