// The engine host of the application: the shell's and the project dialog's routines that the engine calls,
// installed once at start-up. Main thread.
#pragma once

// Installs the application's engine host (BZ_SetEngineHost); what the shell or the dialog has no routine for
// yet keeps the plain host's answer.
void BZ_InstallAppEngineHost();
