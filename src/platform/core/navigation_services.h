// Navigation Services stand-in, the part below the toolkit: Apple-event descriptors of files, the item
// filter procedures that choosers call for every item they list, and the choose-a-file dialog, which the
// user-interface layer (QFileDialog) or a test answers through PL_SetChooseFileProc.
// Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"

#include <string>
#include <vector>

typedef ResType DescType;
typedef Handle AEDataStorage;

// A descriptor: its type and a handle holding its data (owned: AEDisposeDesc).
struct AEDesc {
  DescType descriptorType;
  AEDataStorage dataHandle;
};
typedef AEDesc AEDescList;
typedef AEDesc AEKeyDesc;

enum : DescType {
  typeNull = 'null',
  typeFSRef = 'fsrf',
  typeFSS = 'fss ',
  typeFileURL = 'furl',
  typeAEList = 'list',
  typeChar = 'TEXT',
};

// A descriptor with a copy of the data. typeNull with no data gives a null handle.
OSErr AECreateDesc(DescType typeCode, const void *dataPtr, Size dataSize, AEDesc *result);
// Disposes the data and makes the descriptor typeNull.
OSErr AEDisposeDesc(AEDesc *theAEDesc);
Size AEGetDescDataSize(const AEDesc *theAEDesc);
OSErr AEGetDescData(const AEDesc *theAEDesc, void *dataPtr, Size maximumSize);
// A new descriptor of toType (the coercions of apple_events.h; installed handlers first).
OSErr AECoerceDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result);
// The file coercions: 'fsrf' from 'fsrf' or 'furl' (a file URL whose file exists), 'furl' from 'fsrf'.
// errAECoercionFail otherwise; fnfErr for a URL of a missing file.
OSErr PL_CoerceFileDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result);

// What a filter is told about an item besides its descriptor.
struct NavFileOrFolderInfo {
  UInt16 version;
  Boolean isFolder;
  Boolean visible;
};
typedef void *NavCallBackUserData;
typedef SInt16 NavFilterModes;
enum : NavFilterModes { kNavFilteringBrowserList = 0, kNavFilteringFavorites = 1, kNavFilteringRecents = 2,
                        kNavFilteringShortCutVolumes = 3, kNavFilteringLocationPopup = 4 };
// True shows the item.
typedef Boolean (*NavObjectFilterProcPtr)(AEDesc *theItem, void *info, NavCallBackUserData callBackUD,
                                          NavFilterModes filterMode);
typedef NavObjectFilterProcPtr NavObjectFilterUPP;

// A dialog's events, as the toolkit's event procedures receive them; this platform sends none.
typedef SInt32 NavEventCallbackMessage;
struct NavCBRec;
typedef NavCBRec *NavCBRecPtr;
typedef void (*NavEventProcPtr)(NavEventCallbackMessage callBackSelector, NavCBRecPtr callBackParms,
                                NavCallBackUserData callBackUD);
typedef NavEventProcPtr NavEventUPP;

// ---- Our own helpers ----
// Asks the filter about a file or folder: builds its 'fsrf' descriptor and information and calls it with
// kNavFilteringBrowserList. No filter shows everything; an item that cannot be described is hidden.
Boolean PL_NavFilterShowsPath(NavObjectFilterUPP filter, NavCallBackUserData userData, const char *path);

// What a choose dialog asks for.
enum : SInt16 { kPL_ChooseFile = 0, kPL_ChooseFiles = 1, kPL_ChooseFolder = 2, kPL_ChooseVolume = 3 };

// One choose dialog: the texts (borrowed, may be null), the filter the chooser applies to what it lists and
// what it asks for (a file unless told). The answer is the chosen item's path (for several files, their
// paths each ended by a line feed; a volume is its mount folder), or userCanceledErr.
struct PL_ChooseFileRequest {
  CFStringRef clientName;
  CFStringRef message;
  NavObjectFilterUPP filter;
  NavCallBackUserData userData;
  SInt16 kind;
};
typedef OSStatus (*PL_ChooseFileProc)(const PL_ChooseFileRequest *request, std::string *chosenPath);
// Installs who answers (null removes it).
void PL_SetChooseFileProc(PL_ChooseFileProc proc);

// One save dialog: the texts and the suggested file name (borrowed, may be null) and the folder it starts in
// (null: the last one). The answer is the chosen folder and name (the name without a folder), whether the user
// confirmed replacing a file of that name, and whether the name's extension is to be hidden; or
// userCanceledErr.
struct PL_PutFileRequest {
  CFStringRef clientName;
  CFStringRef message;
  CFStringRef fileName;
  const FSRef *startFolder;
};
struct PL_PutFileAnswer {
  std::string folderPath;
  std::string name;  // UTF-8
  Boolean replacing;
  Boolean extensionHidden;
};
typedef OSStatus (*PL_PutFileProc)(const PL_PutFileRequest *request, PL_PutFileAnswer *answer);
void PL_SetPutFileProc(PL_PutFileProc proc);
// Runs the save dialog. unimpErr when nobody answers dialogs; a folder that does not exist gives its File
// Manager error, an empty name paramErr.
OSStatus PL_RunPutFileDialog(const PL_PutFileRequest *request, PL_PutFileAnswer *answer);

// Nothing to load or unload here: the choosers are made when they are run. Always noErr.
OSStatus NavLoad();
OSStatus NavUnload();
// Runs the dialog: *file gets the chosen file; it is cleared on any failure. unimpErr when nobody answers
// dialogs; a path that names no file gives its File Manager error.
OSStatus PL_RunChooseFileDialog(const PL_ChooseFileRequest *request, FSRef *file);
// Runs the dialog of any kind: the chosen items in *chosen (at least one on success). A file answered for
// a folder or volume, or a folder for a file, gives notAFileErr / dirNFErr; a folder that is not the top of
// a mounted volume for a volume gives nsvErr.
OSStatus PL_RunChooseDialog(const PL_ChooseFileRequest *request, std::vector<FSRef> *chosen);

// ---- Replies ----
typedef UInt32 NavUserAction;
enum : NavUserAction {
  kNavUserActionNone = 0,
  kNavUserActionCancel = 1,
  kNavUserActionOpen = 2,
  kNavUserActionSaveAs = 3,
  kNavUserActionChoose = 4,
  kNavUserActionSaveChanges = 6,
  kNavUserActionDontSaveChanges = 7,
  kNavUserActionDiscardChanges = 8,
};
// A chooser's answer: its selection is a list of 'fsrf' descriptors (owned: NavDisposeReply).
struct NavReplyRecord {
  UInt16 version;
  Boolean validRecord;
  Boolean replacing;
  Boolean isStationery;
  Boolean translationNeeded;
  AEDescList selection;
  ScriptCode keyScript;
  Handle fileTranslation;  // owned; NULL here
  CFStringRef saveFileName;  // owned; NULL for a choose dialog
  Boolean saveFileExtensionHidden;
};
// Frees the selection, the translation and the name, and clears the record.
OSErr NavDisposeReply(NavReplyRecord *reply);
