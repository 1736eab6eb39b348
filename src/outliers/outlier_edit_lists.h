// Outlier edit lists: the user's speck corrections per frame, the project's list of them, and the ".kbzoel"
// file beside the source movie that keeps them (one file per set of outlier settings).
//
// File layout (all numbers little-endian): the 20-byte BZ_OuSett record (numConstPix, minDiff, maxAvPixelDiff
// SInt32, scratchWidth float, apply byte, 3 padding bytes), numFrames SInt32, then per frame frameNum SInt32,
// numEdits SInt32 and numEdits edits of 16 bytes (speckNum, oeType SInt32; top, left, bottom, right SInt16).
//
// Threads: everything here runs on the main thread. The outlier task copies the edits it replays at its
// set-up, while it holds the edit region (oeCritRgn); the preview frame's edits are replaced only inside it.
#pragma once

#include "engine/runtime/method_settings.h"
#include "platform/core/cf_string.h"
#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"

struct BZ_OuDlgTaskData;

// The kinds of edit.
typedef SInt32 BZ_OuOeType;
enum : BZ_OuOeType {
  kBZ_OuToggleRemove = 0,         // the speck with the given number changes its remove state
  kBZ_OuToggleInterpolation = 1,  // the speck changes between temporal and spatial filling
  kBZ_OuNewSpeck = 2,             // a speck is to be found in the rectangle by its edge median
  kBZ_OuScratchNW = 3,            // a scratch from the rectangle's top-left to its bottom-right corner
  kBZ_OuScratchSW = 4,            // a scratch from the rectangle's bottom-left to its top-right corner
};

// One edit; 16 bytes in memory and in the file.
struct BZ_OuOutlierEdit {
  SInt32 speckNum;     // toggles: the speck's number; new specks 1, scratches 0 (not read when replayed)
  BZ_OuOeType oeType;
  Rect rect;           // new speck or scratch: the rectangle drawn, unpadded frame coordinates; toggles: zero
};
static_assert(sizeof(BZ_OuOutlierEdit) == 16, "one edit record of the file");

struct BZ_OuOeLE {
  BZ_OuOeLE *next;
  SInt32 number;  // position within its frame from 0 when read from a file; 0 for edits made in the preview
  BZ_OuOutlierEdit outlierEdit;
};

// The edits of one frame, in the order they were made.
struct BZ_OuFrameOeList {
  Boolean changed;  // set by every edit in the preview, cleared when merged or copied
  SInt32 frameNum;
  BZ_OuOeLE *firstOe;
};

struct BZ_OuFrameOelLE {
  BZ_OuFrameOelLE *next;
  BZ_OuFrameOeList frameOel;
};

// The project's edit list: ascending frameNum, at most one element per frame (which may hold no edits).
struct BZ_OuOelList {
  Boolean changed;  // edits were merged since the list was read or last closed
  Boolean saved;    // the list as it stands is in its file
  BZ_OuFrameOelLE *firstFrameOel;
};

enum : SInt32 {
  kBZ_OuOelSettSize = 20,    // the settings record at the start of the file
  kBZ_OuOelHeaderSize = 24,  // settings and numFrames
  kBZ_OuOelFrameHeaderSize = 8,
  kBZ_OuOelEditSize = 16,
};

// ---- Flat form ----

// The file's size for the list: 24 + the sum over its frames of 8 + 16 x numEdits.
SInt32 BZ_OuGetOelFlatDataSize(const BZ_OuOelList *outlierEditList);
// Writes numFrames and the frame records (the file from offset 20 on) into dataPtr, which holds
// BZ_OuGetOelFlatDataSize - 20 bytes.
void BZ_OuFlattenOutlierEditList(const BZ_OuOelList *outlierEditList, void *dataPtr);
// Checks that dataSize bytes at dataPtr (the file from offset 20 on) hold numFrames and exactly that many
// complete frame records; eofErr when a count is negative or runs past the end, or bytes are left over.
OSStatus BZ_OuCheckFlatOutlierEditList(const void *dataPtr, SInt64 dataSize);
// Appends the frames found in dataSize bytes at dataPtr (the file from offset 20 on) to the list, in the
// file's order, numbering each frame's edits 0, 1, 2, ...; their changed flags stay clear. A damaged or
// truncated block gives eofErr and leaves the list as it was; memFullErr likewise.
OSStatus BZ_OuUnflattenOutlierEditList(const void *dataPtr, SInt64 dataSize, BZ_OuOelList *outlierEditList);
// The settings record from its 20 file bytes, and back (padding bytes written as zeros).
void BZ_OuSettFromFileBytes(const UInt8 *bytes, BZ_OuSett *ouSett);
void BZ_OuSettToFileBytes(const BZ_OuSett *ouSett, UInt8 *bytes);

// Whether settings read from a file lie in the outlier settings' ranges (BZ_OuValidateSett, not correcting).
Boolean BZ_OuSettFromFileIsValid(const BZ_OuSett *ouSett);

// ---- File names ----

// The name of the edit list file of a source movie for an index: "<base> oel.kbzoel" for an index below 1,
// else "<base> oel <index>.kbzoel", the base being the source name less an extension of at most 5 characters
// after its dot; cut in the middle to 255 characters. Owned: the caller releases it. NULL for a NULL name.
CFMutableStringRef BZ_OuMakeOelFileNameWithIndex(CFStringRef srcFileName, SInt32 index);
// The index a file name carries (0 when it carries none).
SInt32 BZ_OuGetOelFileIndex(CFStringRef oelFileName);

// ---- Files ----

// Reads the first 20 bytes of the file into ouSett; eofErr for a file shorter than that; the file error.
OSStatus BZ_OuGetSettingsFromOelfile(const FSRef *oelFile, BZ_OuSett *ouSett);
// Writes the list into the file of the source movie (savedSrcFile, or the project's first source file when
// NULL) whose settings match the settings the lists belong to (ouSett of the outlier record; the project's
// when it has none); a new file at the first free index when none matches. An empty list deletes a matching
// file. Sets the list's saved flag only after a successful write.
OSStatus BZ_OuSaveOutlierEditList(BZ_OuOelList *outlierEditList, const FSRef *savedSrcFile);
// Reads the whole file into the current and the saved list (closing the lists first, asking to save their
// changes). A damaged file (also one whose settings are out of range) gives eofErr and the lists stay as
// they were.
OSStatus BZ_OuReadOelListIntoMemory(const FSRef *oelFile);
// Finds the files that belong to the project's first source file and reads the one whose settings match the
// project's (or, unless currentSettingsOnly, the lowest-indexed one, adopting its settings and switching the
// project to outlier removal alone).
OSStatus BZ_OuOpenOutlierEditListFile(Boolean currentSettingsOnly);

// ---- Lists ----

// *to becomes a copy of *from (its old frames freed first); memFullErr leaves *to empty.
OSStatus BZ_OuCopyOelList(const BZ_OuOelList *from, BZ_OuOelList *to);
// A copy of the edits, in order (owned: LL_DisposeLinkedList). memFullErr leaves *copy NULL.
OSStatus BZ_OuCopyOutlierEdits(const BZ_OuOeLE *firstOe, BZ_OuOeLE **copy);
// The first edit element of that frame in the project list, or NULL.
BZ_OuOeLE *BZ_OuFindFrameOutlierEditList(SInt32 frameNum);
// Frees every frame's edits and the frame list; *firstFrameOel ends NULL.
void BZ_OuDisposeOutlierEditlist(BZ_OuFrameOelLE **firstFrameOel);
// Whether the edits hold one with that speck number and type.
Boolean BZ_OuFindOutlierEdit(const BZ_OuOeLE *firstOe, SInt32 speckNum, BZ_OuOeType oeType);
// Removes and frees the first edit with that speck number and type; nothing when there is none.
void BZ_OuRemoveOutlierEdit(BZ_OuOeLE **firstOe, SInt32 speckNum, BZ_OuOeType oeType);
// Replaces the preview frame's edits by a copy of the project list's edits of the preview's frame and clears
// their changed flag (frameNum is left to the caller). memFullErr leaves the preview list empty.
OSStatus BZ_OuCopyFrameOutlierEditListToPreviewData();
// Merges the preview frame's edits into the project list (only while the preview window is open and they
// changed); the list becomes changed and not saved.
OSStatus BZ_UpdateOutlierEditList();

// The autosave timer (every 60 s while the preview is open); userData is the preview window. A failing write
// is shown once through the engine host's error display and tried again at every later firing.
void BZ_OutlierEditListSaver(EventLoopTimerRef timer, void *userData);
// Closing the lists of a movie: when they changed, asks whether to save them; "Discard" writes the saved list
// back into the file, otherwise the current list is written when not saved. Both lists are disposed, changed
// cleared and saved set. The result is the question's status; a failed write is returned instead and keeps
// the lists (not saved), so that the user's edits are never thrown away unwritten.
OSStatus BZ_SaveOutlierEditListFinal(BZ_OuDlgTaskData *ouDlgTaskData, const FSRef *srcFile);
// At a project's start: writes a changed and unsaved list without asking, keeps a copy of it for the
// execution (runEditList), disposes both lists, clears changed. A failed write is returned and keeps the lists.
OSStatus BZ_SaveOutlierEditListFinalDontAsk(BZ_OuDlgTaskData *ouDlgTaskData);
