// Stand-ins for the cleaning methods' services that their own modules do not offer yet: each does nothing
// and answers noErr, leaving its slot NULL. This file goes once the methods bring the real ones.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/quickdraw_ports.h"

struct BZ_RlParams;
struct BZ_RnParams;

OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **rlDlgTaskData);
// The logo's fade frames (custom event 2010), its mask picture in the dialog (2011), the noise spectrum
// drawn from a run's parameters (2016).
OSStatus BZ_RlGetFadeFrameNumbers(BZ_ProjPtr project, BZ_RlParams *rlParams);
OSStatus BZ_RlSetMaskPicture(WindowRef window, BZ_RlParams *rlParams);
OSStatus BZ_DrawNoiseSpectr(const BZ_RnParams *rnParams);
