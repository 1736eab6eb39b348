// Atom containers of the movie library, the localisation keys of the movie library's error numbers, and
// small operations for movies that play: records and file regions kept in atom containers, the tree of a
// container printed for tracing, evenly spread sample numbers, process rates and a progress procedure
// that reports on standard output.
//
// Controllers are the movie controllers of platform/movie/movie_controller.h; a null controller gives
// paramErr and leaves the outputs alone.
//
// Nothing here keeps state. Container operations run on any thread that owns the container; the movie
// operations on the main thread.
#pragma once

#include "movie/movie_errors.h"
#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_types.h"

// Stores the constant key of a movie-library number (11001 to 11022; never release it): 11001
// "QT LowVersionErr" ... 11020 to 11022 "QT LibErr"; 11012, 11014, 11019 and every other number
// "GL UnknownErr". Cannot fail; any thread.
void QT_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);

// ---- Records in atom containers ----

// Atom types of stored records.
enum : OSType {
  kQTA_StructHeaderAtom = 'SHDR',  // the record's layout
  kQTA_StructDataAtom = 'SCFL',    // the record's bytes
  kQTA_FileRegionAtom = 'DARF',    // a file region: offset and number of bytes (32-bit each)
};

// The deepest nesting of records that is stored or rebuilt.
enum : SInt32 { kQTA_MaxStructDepth = 32 };

// A record with its layout: its bytes and the byte offsets of the fields in them that point to further
// records (a QTA_StructPtr or null each). Owned, with every record it points to: QTA_DisposeStruct.
struct QTA_Struct {
  SInt32 numBytes;
  Ptr bytes;               // NewPtr block of numBytes bytes
  SInt32 numPointers;
  SInt32 *pointerOffsets;  // NewPtr block of numPointers offsets, each within numBytes
};
typedef QTA_Struct *QTA_StructPtr;

// A new record of numBytes zeroed bytes with room for numPointers pointer fields (offsets 0 until set).
OSStatus QTA_NewStruct(SInt32 numBytes, SInt32 numPointers, QTA_StructPtr *record);
// Frees the record and every record it points to; null is ignored.
void QTA_DisposeStruct(QTA_StructPtr record);

// One more than the largest identifier among the parent's children of the type, 1 when there is none.
OSStatus QTA_GetUniqueAtomIdentity(QTAtomContainer container, QTAtom parent, QTAtomType type, QTAtomID *atomID);
// Inserts a child of the type with the identifier *atomID holds (0: a fresh one, as
// QTA_GetUniqueAtomIdentity gives) and, when size is above 0, a child 'SCFL' (identifier 1) holding the
// record's bytes. *atomID gets the identifier the child has; *childAtom (may be null) the child.
OSStatus QTA_QTInsertStructAtom(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt32 size,
                                const void *record, QTAtom *childAtom, QTAtomID *atomID);
// Stores *record as a child of the type with a fresh identifier: 'SHDR' (the layout: number of bytes,
// number of pointer fields and their offsets, big-endian) and 'SCFL' (the bytes, pointer fields zeroed);
// each record a pointer field names is stored the same way as a child of the same type whose identifier
// is the field's number from 1. With `disposing` the records are freed afterwards and *record is null.
OSStatus QTA_StructToAtom(QTAtomContainer container, QTAtom parent, QTAtomType type, QTA_StructPtr *record,
                          Boolean disposing);
// Rebuilds a record (owned: QTA_DisposeStruct) from an atom of the type stored as above; an atom without
// children is read as plain data. A nested record stored as a leaf gives notLeafAtomErr; a layout that does
// not fit its atom kQT_AtomCountErr, one that contradicts the bytes kQT_AtomTableErr; an atom of another type
// atomsNotOfSameTypeErr. *record is null on failure.
OSStatus QTA_AtomToStruct(QTAtomContainer container, QTAtom atom, QTAtomType type, QTA_StructPtr *record);

// The index-th (from 1) child of the type under the parent: cannotFindAtomErr when there is none.
// Its atom and identifier (either may be null).
OSStatus QTA_GetTIAtomFields(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt16 index, QTAtom *atom,
                             QTAtomID *atomID);
// A pointer to its data and the data's size (borrowed: valid until the container changes).
OSStatus QTA_GetTIAtomDataPtr(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt16 index,
                              SInt32 *dataSize, Ptr *atomData);
// Replaces its data.
OSStatus QTA_SetTIAtomData(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt16 index, SInt32 dataSize,
                           const void *atomData);

// ---- File regions ----
// The offset and length a 'DARF' atom holds; paramErr for an atom of another type, kQT_AtomErr when its
// data is shorter than the two numbers.
OSStatus QTA_GetOffsetAndNumBytes(QTAtomContainer container, QTAtom atom, UInt32 *offset, UInt32 *numBytes);
// Reads the region a 'DARF' atom names from the file's data fork (read-only, uncached) into the buffer:
// never more than `size` bytes. A region shorter than size gives kQT_AtomErr unless sizeOrLessOK, when the
// region's length is read. A size of 0 reads nothing; no buffer or no file gives paramErr; a file that ends
// inside the region eofErr. *numBytes gets the bytes read, *bytesAvailable the region's length (either may
// be null).
OSStatus QTA_CopyReferencedAtomDataToPtr(QTAtomContainer container, QTAtom atom, Boolean sizeOrLessOK, SInt32 size,
                                         void *targetPtr, SInt32 *numBytes, SInt32 *bytesAvailable,
                                         const FSRef *file);

// Prints the tree under the parent to standard output, indented by level; with printData the leaves' data
// as text (bytes that are not printable as '.', at most 256 of them). Nesting below kQTA_MaxStructDepth
// levels is not printed.
OSStatus QTA_WalkAllAtomsInContainer(QTAtomContainer container, QTAtom parent, SInt32 level, Boolean printData);

// ---- Movies that play ----

typedef struct PL_MovieControllerRecord *MovieController;
struct QT_TrackEnabledStateLE;

struct QT_MovieSavedState {
  Movie movie;
  Fixed rate;
  QT_TrackEnabledStateLE *firstEnabledState;
  SRefCon refCon;
};

struct QT_MoviePlaybackData {
  Movie movie;
  MovieController controller;
  TimeScale timeScale;
  void *timeBase;
  TimeValue selectionStart;
  TimeValue selectionEnd;
  SInt32 numFrames;
  SInt32 numFramesInSelection;
  QT_MovieSavedState savedState;
  SRefCon refCon;
};

struct QT_MediaData {
  Movie movie;
  Track track;
  SInt32 trackIndex;
  Media media;
  ImageDescriptionHandle imageDesc;
  SInt32 trackHeight;
  SInt32 trackWidth;
  SInt32 numFrames;
  SInt32 numFramesInSelection;
  TimeScale timeScale;
  TimeValue durationPerSample;
};

struct QT_MovieDataLE {
  QT_MovieDataLE *next;
  QT_MoviePlaybackData data;
};

struct QT_MC_LE {
  QT_MC_LE *next;
  MovieController controller;
};

struct QT_PlayMovieSett {
  Boolean playAllMovies;
  Boolean playOnlyFrontMovieSound;
  Boolean playOneMovieInBackground;
  Boolean playOnlySoundInBackground;
  Boolean appSwitchedIn;
  QT_MC_LE *firstController;
  SRefCon refCon;
};

struct QT_ProgressInfo {
  UInt64 startTime;          // microseconds
  SInt32 expectedDuration;   // seconds: the latest estimate (-1 before the first)
  Boolean printed;
};

struct QT_MovieProcessDurationInfo {
  TimeValue duration;
  SInt32 numSamples;
  SInt32 sizeMB;
};

struct QT_MovieProcessRate {
  Fixed timePerSample;
  Fixed timePerMB;
};

// The controller's play rate, read and set through MCDoAction (setting plays: the action goes through the
// controller's filter).
OSStatus QT_GetMCPlayRate(MovieController controller, Fixed *rate);
OSStatus QT_SetMCPlayRate(MovieController controller, Fixed rate);
// The time record that the action fills (mcActionGetSelectionBegin, ...Duration), as a TimeValue.
OSStatus QT_GetMCTimeValue(MovieController controller, SInt16 action, TimeValue *time);
// A go-to-time, and the selection's begin and duration, with time records of the controller's movie.
OSStatus QT_SetMCTimeValue(MovieController controller, TimeValue time);
OSStatus QT_SetMCSelection(MovieController controller, TimeValue time, TimeValue duration);
// The application comes to the front (playSett->appSwitchedIn) or goes behind: sound tracks and play rates
// of the listed movies follow the play settings (rules in the source); a movie's states saved on the way
// out come back on the way in. QT_ActivateMovie moves the movie to the front of the list.
OSStatus QT_ActivateMovies(QT_PlayMovieSett *playSett, QT_MovieDataLE **movieList);
OSStatus QT_ActivateMovie(QT_PlayMovieSett *playSett, QT_MovieDataLE **movieList, Movie movie);
// Places the controller with its movie over the rectangle of the dialog window's item (1-based among the
// root's subviews) moved to topLeft, attached and visible, clipped to that rectangle.
OSStatus QT_AttachMovieToDialogItem(Movie movie, MovieController controller, void *dialog, SInt16 itemIndex,
                                    Point topLeft);
// The first controller of the list whose play rate is not 0; null when none plays.
MovieController QT_GetFirstPlayingMovie(QT_MC_LE *firstController);
// The element of the list that holds the controller; null when none does.
QT_MC_LE *QT_FindMC_LE(QT_MC_LE *firstController, MovieController controller);

// Up to 100 sample numbers spread over the first enabled video track of the movie (and of movie2 when
// given, the shorter counting): n = media duration / durationPerSample, limited to greatestCount; above
// 100 the numbers are n * i / 100 + 1 (i = 0..99) and *count 100, else the numbers are 1..100 and *count
// n. kQT_NoVideoTrackErr when a movie has no enabled video track; paramErr for durationPerSample <= 0.
OSStatus QT_SelectMovieSamples(Movie movie, Movie movie2, SInt32 greatestCount, SInt32 sampleNums[100],
                               TimeValue durationPerSample, SInt32 *count);
// Time per sample and per megabyte between the two records; equal counts leave their part of the rate
// untouched; a negative result gives paramErr.
OSStatus QT_GetMovieProcessRate(const QT_MovieProcessDurationInfo *info1, const QT_MovieProcessDurationInfo *info2,
                                QT_MovieProcessRate *rate);
// A movie progress procedure that reports on standard output; refcon is a QT_ProgressInfo (may be null).
// Always lets the operation go on.
OSErr QT_MovieProgressProcPtr_1(Movie movie, SInt16 message, SInt16 whatOperation, Fixed percentDone, SRefCon refcon);
