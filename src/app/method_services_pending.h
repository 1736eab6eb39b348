// Stand-ins for the cleaning methods' start-up services that their own modules do not offer yet: each does
// nothing and answers noErr, leaving its slot NULL. This file goes once the methods bring the real ones.
#pragma once

#include "engine/runtime/project_types.h"

OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **rlDlgTaskData);
