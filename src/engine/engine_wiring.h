// The engine assembled: which task runs each stage type, and the main-thread handler of the events that the
// engine's tasks post. The application installs both once at start-up; the benchmarks and the tests install
// them the same way, and a test that needs a stage of its own installs the table first and then overrides
// that type (BZ_SetStageEntryPoint).
//
// Main thread only, while no run is going on.
#pragma once

#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"

// Sets the entry point of every stage type from the engine's table of stages; a type the table lacks gets
// none (a run that needs it fails to start). Also undoes earlier overrides.
void BZ_InstallStageEntryPoints();

// Installs BZ_EngineEventHandler on the application target for its events; *outRef (may be NULL) is for
// RemoveEventHandler. The failure of the installation.
OSStatus BZ_InstallEngineEventHandlers(EventHandlerRef *outRef);

// The engine's handler of events of class kBZ_ProjEventClass: 2000 draw frame (BZ_SetSrcMovieTimeValue,
// whose failure is only printed: the drawing's completion stops the run), 2001 compress
// (BZ_HandleCompressEvent), 2002 sample references (BZ_HandleOutSampleRefsEvent) and 2009 run finished
// (signals gBZ.dlgTaskData.prfSemaphore, on which the main task waits). The handlers keep their failures as
// the project's first error, so every such event counts as handled. A handler installed later (the
// project dialog's, for its part of 2009) passes an event on to this one with CallNextEventHandler.
OSStatus BZ_EngineEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
