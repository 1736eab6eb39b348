// The application's global record and the accessors of the current project.
#include "engine/runtime/project_types.h"

BZ_Global gBZ;

OSStatus BZ_KeepFirstError(BZ_ProjPtr project, OSStatus err) {
  if (project == nullptr) return err;
  OSStatus expected = noErr;
  if (err != noErr) project->state.error.compare_exchange_strong(expected, err);
  return project->state.error.load();
}

BZ_ProjInfo *BZ_GetProjectInfoPtr() { return gBZ.project != nullptr ? &gBZ.project->info : nullptr; }

BZ_StatMovInfo *BZ_GetStaticMovieInfoPtr() {
  return gBZ.project != nullptr ? gBZ.project->info.statMovInfo : nullptr;
}
