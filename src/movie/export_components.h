// Components and movie exporters: walking and finding components by type, subtype, manufacturer and name,
// what movie exporters can do (export files, export from procedures), which tracks they take (their 'src#'
// source lists) and their file name extensions.
//
// Source lists ('src#' public resource 1 of an exporter): count (UInt32), reserved (UInt32), then count
// entries of mediaType (OSType), minCount, maxCount (UInt16 each) and flags (UInt32), big-endian; flag 4
// marks a track type the exporter takes. They are read only within their count and their data.
//
// Main thread (or a task that has entered the movie toolbox).
#pragma once

#include "platform/movie/components.h"
#include "platform/movie/exporters.h"

// Flags of source list entries.
enum : UInt32 { kQT_SourceIsRequired = 4, kQT_SourceCanExport = 2 };

// Visits every component matching type, subtype and manufacturer (0: any) whose flags include `flags`
// (used as the mask too) and reads its information; returns the first error.
OSStatus QT_WalkComponentList(OSType type, OSType subType, OSType manufacturer, UInt32 flags);
// The name of the first matching component as a zero-terminated string in compName (at least 256 bytes);
// empty when there is none.
OSStatus QT_GetComponentName(OSType type, OSType subType, OSType manufacturer, char *compName);
// The first component of `type` (missing ones excluded) named compName; for "AIFF" only one of
// manufacturer 'soun' counts. Found: *c and *cd are it and its description; not found: *c is null and
// *cd the search description (no error).
OSStatus QT_GetComponentByNameAndType(const char *compName, OSType type, Component *c, ComponentDescription *cd);
// FindNextComponent from the start, missing components excluded.
Component QT_GetComponentOfType(OSType type, OSType subType, OSType manufacturer);
// Whether a 'spit' component of the subtype and manufacturer has the flag "can export files" (16) or
// "can export from procedures" (0x8000); false when there is none.
OSStatus QT_EncoderCanExportFiles(OSType subType, OSType manufacturer, Boolean *canExportFiles);
OSStatus QT_EncoderCanExportFromProcedures(OSType subType, OSType manufacturer, Boolean *canExportFromProcedures);
// The track types the exporter takes, from the first entry of its source list: sound 'soun' (flag 4),
// video 'vide' (flag 4) or 'eyes' (flag 2), text 'text' (flag 4), MIDI 'musi' (flag 4). 'M4VH' of 'appl'
// takes video and sound without looking. Each output may be null. An exporter without a source list wants
// nothing.
OSStatus QT_ExportCompWantsSound(OSType subType, OSType manufacturer, Boolean *wantsVideo, Boolean *wantsSound,
                                 Boolean *wantsText, Boolean *wantsMIDI);
// Whether the exporter named compName (with a source list) takes sound ('soun' with flag 4).
OSStatus QT_ComponentExportsSoundFromProcedures(const char *compName, Boolean *canExportSound);
// Reads the source lists of every exporter; reports only an error.
OSStatus QT_GetMovieExportCompInputTrackTypes();
// typeString (at least 16 bytes) = "." and the exporter's extension code in text order without trailing
// blanks ('mov ' gives ".mov"); empty on failure, whose error is returned.
OSStatus QT_GetExportFileNameExtension(ComponentInstance ci, char *typeString);

// ---- Helpers the export menu shares ----
// Whether a source list (the bytes of a 'src#' resource) has an entry of mediaType with the flag.
Boolean QT_SourceListHas(const UInt8 *data, size_t size, OSType mediaType, UInt32 flag);
