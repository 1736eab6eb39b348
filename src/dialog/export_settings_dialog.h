// The settings dialogs of the movie exporters, which have none of their own here: the QuickTime movie's
// video codec; the DV stream's television system, picture shape, progressive frames, locked sound and DV
// type; MPEG-4's codec and bit rate. Installed for the exporters by the Output pane. Main thread only.
#pragma once

#include "platform/movie/atom_container.h"
#include "platform/movie/movie_types.h"

// Shows the exporter's settings in a form and writes the user's choice back into `settings`; *canceled
// when the user cancels, and for an exporter without such a dialog.
OSErr BZ_ExportSettingsDialog(OSType subType, const char *name, Movie movie, QTAtomContainer settings,
                              Boolean *canceled);
