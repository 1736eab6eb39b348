// The preferences dialog. Main thread only. Not built yet: it does nothing and answers noErr.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

OSStatus BZ_PrefsDialog();
