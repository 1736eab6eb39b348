// Varying brightness's analysis data kept between runs: the brightness factor tables that the measuring
// stage fills and the correction stage reads. Made with the analysis record at start-up, emptied after each
// project. Main thread only, while no stage runs.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"

// *vbDlgTaskData = a new zeroed record (owned; free with BZ_VbDisposeDlgTaskDataRecord). memFullErr and NULL
// on failure.
OSStatus BZ_VbInitDlgTaskData(BZ_VbDlgTaskData **vbDlgTaskData);
// Frees the three factor tables and clears them, and forgets that the movie was analysed; the record stays.
// NULL does nothing.
void BZ_VbDisposeDlgTaskData(BZ_VbDlgTaskData *vbDlgTaskData);
// Frees the tables and the record itself and clears *vbDlgTaskData.
void BZ_VbDisposeDlgTaskDataRecord(BZ_VbDlgTaskData **vbDlgTaskData);
