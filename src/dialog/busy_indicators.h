// The busy indicators of the project dialog's panes. Main thread only. Not built yet: noErr.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

// Starts or stops each pane's chasing arrows by what is being calculated.
OSStatus BZ_ActivateChasingArrows();
