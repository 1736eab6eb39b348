// Registers the movie layer's Gestalt selector at start-up.
#include "platform/movie/quicktime_gestalt.h"

#include "platform/core/gestalt.h"

namespace {

// Runs before main in every program that uses the movie layer's version (which links this file).
const bool kRegisteredAtStart = (PL_RegisterQuickTimeGestalt(), true);

}  // namespace

void PL_RegisterQuickTimeGestalt() {
  // A second registration only reports that the selector is answered already.
  NewGestaltValue(gestaltQuickTimeVersion, kPL_QuickTimeVersion);
  (void)kRegisteredAtStart;
}
