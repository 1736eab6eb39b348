// The Gestalt answer of the movie layer: the QuickTime version it offers ('qtim'), registered when the
// program starts (the environment check asks before anything enters the movie layer).
#pragma once

#include "platform/core/mac_types.h"

// QuickTime 7.3.0 as Gestalt states versions: major, minor and bug-fix digits, then the release stage.
constexpr SInt32 kPL_QuickTimeVersion = 0x07308000;

// Makes sure 'qtim' is answered; any thread, any number of times.
void PL_RegisterQuickTimeGestalt();
