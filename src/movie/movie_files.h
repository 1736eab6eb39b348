// Movie files and the 'mdat' header: creating, opening, saving and deleting movie files addressed by FSRef,
// the 16-byte header in front of the output movie's media data and the size patch applied when the movie
// is finished, the top-level atom walk and data-reference helpers.
//
// The output movie file is laid out as 8 'wide' 8 'mdat' (the header), the media data the write stage
// appends, then the movie atom. The patch gives the 'mdat' atom its size: a 32-bit size at offset 8 while
// the fork holds fewer than 0x7FFFFFFF bytes, else the 'wide' atom becomes part of one 'mdat' atom with a
// 64-bit size (size field 1 at offset 0).
//
// Nothing here keeps state or locks. The header routines touch only the fork they are given (any thread);
// everything else calls the Movie Toolbox and runs on the main thread.
#pragma once

#include "general/file_layer.h"
#include "movie/movie_errors.h"
#include "platform/core/aliases.h"
#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/core/navigation_services.h"
#include "platform/movie/movie_toolbox.h"

// A movie and the file it came from.
struct QT_MovieIoData {
  Movie movie;
  FSRef fileRef;
  SInt16 fileID[2];   // fork reference numbers
  SInt16 resFileID;   // movie file reference number
  SInt16 resID;
  Boolean hasResource;
};

// A movie with its controller and its movie file, as the movie records of playing movies keep it.
typedef struct PL_MovieControllerRecord *MovieController;
struct QT_MovieData {
  Movie movie;
  MovieController controller;  // always null here: movies do not play in windows on this platform
  SInt16 resFileID;            // movie file reference number, 0 for none
};
typedef QT_MovieData **QT_MovieDataHandle;
struct QT_MoviePlaybackData;
struct QT_MediaData;

// ---- The 'mdat' header ----
// Writes 8, 'wide', 8, 'mdat' (big-endian) at the fork's current position as four 4-byte writes; returns
// the first write error.
OSStatus QT_WriteInitialMdatHeader(SInt16 forkRefNum);
// Patches the header at the start of the fork for the fork's present size (the table above). A fork
// shorter than the 16-byte header gives kQT_MdatHeaderErr and is left untouched.
OSStatus QT_SetFileSizeInMdatHeader(SInt16 forkRefNum);
// The same for a header that begins at `mark`: the size is counted from the mark and written at offsets
// taken from it.
OSStatus QT_SetFileSizeInMdatHeaderAtMark(SInt16 forkRefNum, SInt64 mark);
// Finishes an output movie: patches the header and appends the movie atom (data references relative to
// the file) at the end of the fork. forkRefNum 0 opens (and closes) the file's data fork here.
OSStatus QT_SaveMovieOverNetwork(Movie movie, SInt16 forkRefNum, const FSRef *movieFile);
// The movie atom for the file in a new handle (owned: DisposeHandle); *movieAtom is null on failure.
OSStatus QT_PutMovieForFileIntoHandle(Movie movie, const FSRef *movieFile, Handle *movieAtom);

// ---- Creating, opening, saving, deleting ----
// Creates the movie file `name` in `parent` with an empty movie (owned: DisposeMovie). createFlags as
// CreateMovieStorage's (createMovieFileDeleteCurFile replaces an existing file, else dupFNErr).
OSStatus QT_CreateMovieFile(const FSRef *parent, CFStringRef name, OSType creator, SInt32 createFlags, FSRef *file,
                            Movie *movie);
// The same, retrying while the file is busy (fBsyErr) and the delete flag is set: at most 11 attempts,
// 10 ticks apart; after the first busy failure the old file is unlinked by its path.
OSStatus QT_CreateMovieFileNew(const FSRef *parent, CFStringRef name, OSType creator, SInt32 createFlags, FSRef *file,
                               Movie *movie);
// The same with the first free name of "name", "name 2", "name 3", ... (with the delete flag, "name" itself).
OSStatus QT_CreateMovieFileWithIndex(const FSRef *parent, CFStringRef name, OSType creator, SInt32 createFlags,
                                     FSRef *file, Movie *movie);
// Opens the movie of a file (owned: DisposeMovie); flags as NewMovieFromDataRef's. The file is only read.
OSStatus QT_OpenMovieFile(const FSRef *file, SInt16 flags, Movie *movie);
// Opens through NewMovieFromProperties: flag bit 0 active, bit 1 don't resolve data references, bits 2 and
// 8 don't ask for unresolved ones, bit 20 rate changes preserve pitch; a visual context when given.
OSStatus QT_OpenMovieFileFP(const FSRef *file, UInt32 flags, QTVisualContextRef visualContext, Movie *movie);
// Stores the movie in its file: added the first time (*saved false; it becomes true even when the add
// fails), updated afterwards. Returns the add or update result.
OSStatus QT_SaveMovie(Movie movie, const FSRef *file, Boolean *saved);
// Disposes a movie that is not null and sets the reference to null.
void QT_DisposeMovie(Movie *movie);
// Disposes the record's controller and movie, closes its movie file and disposes the Handle itself. NULL is
// ignored.
void QT_DisposeMovieData(QT_MovieDataHandle movieData);
// Disposes the movie of ioData, closes its two forks and its movie file and clears the record; disposes the
// playback record's controller (with its clip region) and clears that record; disposes the media record's
// image description and clears that record. Any of the three may be NULL. Returns the first close error; the
// records are cleared whatever happens.
OSStatus QT_DisposeMovieExt(QT_MovieIoData *ioData, QT_MoviePlaybackData *playbackData, QT_MediaData *mediaData);
// Closes a non-zero movie file reference number and sets it to 0.
OSStatus QT_CloseMovieFile(SInt16 *resRefNum);
// Deletes the movie file; the FSRef is cleared to zeros whatever the result.
OSStatus QT_DeleteMovieFile(FSRef *file);
// Deletes the file, waiting 10 ticks before each try and trying again while it is busy, at most numTries
// tries; the FSRef is cleared at the end.
OSStatus QT_DeletePotentiallyBusyMovieFile(FSRef *file, SInt32 numTries);
// How the file can be opened (null outputs are not asked). The Fast form passes flag 1.
OSStatus QT_CanQuickTimeOpenFile(const FSRef *file, Boolean *canOpenWithGraphicsImporter, Boolean *canOpenAsMovie,
                                 Boolean *preferGraphicsImporter, UInt32 flags);
OSStatus QT_CanQuickTimeOpenFileFast(const FSRef *file, Boolean *canOpenWithGraphicsImporter, Boolean *canOpenAsMovie,
                                     Boolean *preferGraphicsImporter);
// Makes a reference movie at the data reference: a new movie file (replacing one that is there) holding a
// movie whose tracks show the whole of `movie` by referring to its media data, which stays where it is.
// paramErr when the data reference names the movie's own file or a file its media lies in (that file would
// be replaced); the new file is deleted again when the movie cannot be made or stored.
OSStatus QT_CreateReferenceMovie(Movie movie, Handle dataRef, OSType dataRefType, OSType creator);
// The user's Movies folder.
OSStatus QT_GetMoviesFolder(Boolean createFolder, FSRef *folder);

// Deletes a movie file and every other file its movie refers to. movie NULL: the file's movie is opened
// here (and disposed). A file that holds no movie is deleted as a plain file; a referenced file that is
// missing is skipped. kQT_CouldNotDeleteMovieFileErr when the movie cannot be opened or its file not
// deleted, kQT_CouldNotListMovieFileReferencesErr when the referenced files cannot be found; the first
// failing delete of a referenced file is returned as it is.
OSStatus QT_TotallyDeleteMovieFile(const FSRef *file, Movie movie, SInt16 movieResID);

// ---- Data references and the file's atoms ----
// The file of data reference `index` (from 1) of the media. kQT_DataRefNotFileErr for a reference that is
// not an alias, fnfErr for one whose file is missing; on failure *file is cleared. file NULL: nothing is done.
OSStatus QT_ResolveMediaDataRef(Media media, SInt16 index, FSRef *file);
// QT_ResolveMediaDataRef of the media's last data reference.
OSStatus QT_GetHighestDataRef(Media media, FSRef *file);
// The index (from 1) of the media's alias data reference that names the same file as `alias`, or 0. With
// `add`, a missing one is added as an 'alis' data reference and its index given.
OSStatus QT_CheckForAliasDataRef(Media media, AliasHandle alias, Boolean add, SInt16 *index);
// Adds every data reference of the source media to the target, in index order.
OSStatus QT_CopyDataReferences(Media srcMedia, Media dstMedia);
// For each data reference of the source (from 1) the index of the equal one in the target, added there when
// missing: a new table of one SInt16 per source reference (owned: DisposePtr), NULL for none.
OSStatus QT_CopyDataReferencesIfNeeded(Media srcMedia, Media dstMedia, SInt16 **indexTable);
// The number of data references of the movie's tracks of a media type (flags movieTrackMediaType) or
// characteristic (movieTrackCharacteristic), all tracks for type 0; enabled tracks only when asked. A file
// that several references name counts once.
OSStatus QT_GetMovieDataRefCount(Movie movie, OSType trackType, SInt32 flags, Boolean enabledOnly, UInt16 *count);
// The first track whose media has an alias data reference to a file of that name (ignoring case): the track,
// the reference's index and a copy of its alias (owned: DisposeHandle). fnfErr when there is none.
OSStatus QT_FindDataRefByName(Movie movie, CFStringRef name, Track *track, SInt16 *index, AliasHandle *alias);
// Appends each file that an alias data reference of a track's media names (the movie's own file too) to the
// list, once; a missing file is left out. The caller disposes the list (LL_DisposeLinkedList).
OSStatus QT_GetMovieReferencedFiles(Movie movie, GL_FSRefLE **files);
// The media time of the first sample whose description uses the data reference (from 1); -1 when none.
OSStatus QT_DataRefIndexToStartTime(SInt16 dataRefIndex, Media media, TimeValue *time);
// Walks the top-level atoms of a fork: their 64-bit sizes and types in two new blocks that the caller frees
// with DisposePtr (both null for no atoms). A size of 0 means the atom runs to the end of the fork. The walk
// stops at an atom smaller than its header or running past the end of the fork: the result is then
// kQT_MdatHeaderErr, and the outputs still describe the intact atoms before it.
OSStatus QT_GetMainAtoms(SInt16 forkRefNum, SInt32 *count, SInt64 **sizes, OSType **types);
// Cuts the file's data fork back to where the data of the first sample behind the track's end begins. A
// track whose samples all lie before its end, or data that would lie beyond the fork, leaves the fork as it is.
OSStatus QT_MoveBackMovieEOF(const FSRef *file, Track track, TimeValue trackEnd);

// ---- Choosing movie files ----
// The file a navigation item ('fss ', 'fsrf' or 'furl' descriptor) names; false for anything else, with
// isFolder set when the item is a folder. Shared by the navigation filters.
Boolean QT_GetNavItemFile(AEDesc *item, void *info, FSRef *file, Boolean *isFolder);
// Navigation filter: shows folders and the files ('fss ', 'fsrf' or 'furl' descriptors) that open as movies
// and not with a graphics importer, so still images stay hidden; hides everything else and any item it
// fails to look at.
Boolean QT_MovieFilter(AEDesc *item, void *info, NavCallBackUserData callBackUD, NavFilterModes filterMode);
