// Outlier edit lists, their flat form and their files beside the source movie.
#include "outliers/outlier_edit_lists.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/project_types.h"
#include "general/cf_encodings.h"
#include "general/file_layer.h"
#include "general/file_system_helpers.h"
#include "general/folders_volumes.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "outliers/outlier_stage.h"
#include "outliers/preview_data.h"
#include "platform/core/cf_base.h"

#include <cstring>
#include <vector>

namespace {

// Indexes of one source's files are tried up to this; a name with five or more digits never belongs.
constexpr SInt32 kMaxOelFileIndex = 9999;
constexpr OSType kOelCreator = 'Orl1';
constexpr OSType kOelFileType = 0x3F3F3F3F;  // '????'

void PutLE32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v);
  p[1] = UInt8(v >> 8);
  p[2] = UInt8(v >> 16);
  p[3] = UInt8(v >> 24);
}
void PutLE16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v);
  p[1] = UInt8(v >> 8);
}
UInt32 GetLE32(const UInt8 *p) { return UInt32(p[0]) | UInt32(p[1]) << 8 | UInt32(p[2]) << 16 | UInt32(p[3]) << 24; }
SInt16 GetLE16(const UInt8 *p) { return SInt16(UInt16(p[0]) | UInt16(p[1]) << 8); }

BZ_OuDlgTaskData *OuDlgTaskData() { return gBZ.dlgTaskData.ouDlgTaskData; }

BZ_OuPreviewData *OuPreviewData() {
  BZ_PreviewData *preview = BZ_GetPreviewDataPtr();
  return preview != nullptr ? preview->ouPreviewData : nullptr;
}

Boolean PreviewWindowOpen() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host->previewWindowExists(host->refCon);
}

const BZ_OuSett *ProjectOuSett() {
  return gBZ.project != nullptr ? &gBZ.project->info.settings.cleaning.ou : nullptr;
}

void DisposeEdits(BZ_OuOeLE **firstOe) { LL_DisposeLinkedList(firstOe); }

// A new copy of an edit list (owned); memFullErr leaves *copy NULL.
OSStatus CopyEdits(BZ_OuOeLE *firstOe, BZ_OuOeLE **copy) {
  *copy = nullptr;
  OSStatus err = LL_CopyLinkedList(firstOe, sizeof(BZ_OuOeLE), copy);
  if (err != noErr) DisposeEdits(copy);
  return err;
}

// The source file's parent folder and name (owned).
OSStatus SourceFolderAndName(const FSRef *srcFile, FSRef *parent, CFStringRef *name) {
  *name = nullptr;
  if (srcFile == nullptr) {
    BZ_ProjInfo *info = BZ_GetProjectInfoPtr();
    if (info == nullptr) return paramErr;
    srcFile = &info->srcFileData[0].fileRef;
  }
  if (!GL_FSRefValid(srcFile)) return fnfErr;
  OSStatus err = MF_FSGetParentRef(srcFile, parent);
  if (err == noErr) err = GL_CopyFileDirNameAsCFString(srcFile, name);
  return err;
}

// The file of that name in the folder: noErr and found, noErr and not found, or the look-up's error.
OSStatus LookUp(const FSRef *folder, CFStringRef name, FSRef *file, Boolean *found, HFSUniStr255 *uniName) {
  *found = false;
  *uniName = HFSUniStr255{};
  OSStatus err = GL_AppendCFStrToHFSUniStr255(uniName, name);
  if (err != noErr) return err;
  err = FSMakeFSRefUnicode(folder, uniName->length, uniName->unicode, kTextEncodingUnknown, file);
  if (err == fnfErr) return noErr;
  if (err == noErr) *found = true;
  return err;
}

// Writes the settings and the list into the file, replacing its content in one step.
OSStatus WriteOelFile(const FSRef *file, const BZ_OuOelList *list, const BZ_OuSett *sett) {
  const SInt32 size = BZ_OuGetOelFlatDataSize(list);
  std::vector<UInt8> buffer(size_t(size), 0);
  BZ_OuSettToFileBytes(sett, buffer.data());
  BZ_OuFlattenOutlierEditList(list, buffer.data() + kBZ_OuOelSettSize);
  return GL_ReplaceDataInFile(0, file, size, buffer.data());
}

// Closes the lists before others are read in their place.
OSStatus CloseCurrentLists() {
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  return ou != nullptr ? BZ_SaveOutlierEditListFinal(ou, nullptr) : OSStatus(noErr);
}

// Writes the lists as closing asks, then disposes them; a failed write keeps them (and is returned).
OSStatus DisposeBothLists(BZ_OuDlgTaskData *ou) {
  BZ_OuDisposeOutlierEditlist(&ou->outlierEditList.firstFrameOel);
  BZ_OuDisposeOutlierEditlist(&ou->savedOutlierEditList.firstFrameOel);
  ou->outlierEditList.changed = false;
  return noErr;
}

}  // namespace

// ---- Flat form ----

SInt32 BZ_OuGetOelFlatDataSize(const BZ_OuOelList *outlierEditList) {
  SInt64 size = kBZ_OuOelHeaderSize;
  if (outlierEditList != nullptr)
    for (const BZ_OuFrameOelLE *f = outlierEditList->firstFrameOel; f != nullptr; f = f->next) {
      size += kBZ_OuOelFrameHeaderSize;
      for (const BZ_OuOeLE *e = f->frameOel.firstOe; e != nullptr; e = e->next) size += kBZ_OuOelEditSize;
    }
  return SInt32(size);
}

void BZ_OuSettToFileBytes(const BZ_OuSett *ouSett, UInt8 *bytes) {
  std::memset(bytes, 0, kBZ_OuOelSettSize);
  if (ouSett == nullptr) return;
  PutLE32(bytes, UInt32(ouSett->numConstPix));
  PutLE32(bytes + 4, UInt32(ouSett->minDiff));
  PutLE32(bytes + 8, UInt32(ouSett->maxAvPixelDiff));
  UInt32 bits = 0;
  std::memcpy(&bits, &ouSett->scratchWidth, 4);
  PutLE32(bytes + 12, bits);
  bytes[16] = ouSett->apply ? 1 : 0;
}

void BZ_OuSettFromFileBytes(const UInt8 *bytes, BZ_OuSett *ouSett) {
  if (bytes == nullptr || ouSett == nullptr) return;
  *ouSett = BZ_OuSett{};
  ouSett->numConstPix = SInt32(GetLE32(bytes));
  ouSett->minDiff = SInt32(GetLE32(bytes + 4));
  ouSett->maxAvPixelDiff = SInt32(GetLE32(bytes + 8));
  const UInt32 bits = GetLE32(bytes + 12);
  std::memcpy(&ouSett->scratchWidth, &bits, 4);
  ouSett->apply = bytes[16];
}

void BZ_OuFlattenOutlierEditList(const BZ_OuOelList *outlierEditList, void *dataPtr) {
  if (dataPtr == nullptr) return;
  auto *p = static_cast<UInt8 *>(dataPtr);
  UInt8 *numFramesPtr = p;
  p += 4;
  SInt32 numFrames = 0;
  if (outlierEditList != nullptr)
    for (const BZ_OuFrameOelLE *f = outlierEditList->firstFrameOel; f != nullptr; f = f->next) {
      ++numFrames;
      PutLE32(p, UInt32(f->frameOel.frameNum));
      UInt8 *numEditsPtr = p + 4;
      p += 8;
      SInt32 numEdits = 0;
      for (const BZ_OuOeLE *e = f->frameOel.firstOe; e != nullptr; e = e->next, ++numEdits, p += 16) {
        const BZ_OuOutlierEdit &oe = e->outlierEdit;
        PutLE32(p, UInt32(oe.speckNum));
        PutLE32(p + 4, UInt32(oe.oeType));
        PutLE16(p + 8, UInt16(oe.rect.top));
        PutLE16(p + 10, UInt16(oe.rect.left));
        PutLE16(p + 12, UInt16(oe.rect.bottom));
        PutLE16(p + 14, UInt16(oe.rect.right));
      }
      PutLE32(numEditsPtr, UInt32(numEdits));
    }
  PutLE32(numFramesPtr, UInt32(numFrames));
}

OSStatus BZ_OuCheckFlatOutlierEditList(const void *dataPtr, SInt64 dataSize) {
  if (dataPtr == nullptr || dataSize < 4) return eofErr;
  const auto *p = static_cast<const UInt8 *>(dataPtr);
  const SInt32 numFrames = SInt32(GetLE32(p));
  if (numFrames < 0) return eofErr;
  SInt64 pos = 4;
  for (SInt32 f = 0; f < numFrames; ++f) {
    if (dataSize - pos < kBZ_OuOelFrameHeaderSize) return eofErr;
    const SInt32 numEdits = SInt32(GetLE32(p + pos + 4));
    pos += kBZ_OuOelFrameHeaderSize;
    if (numEdits < 0 || SInt64(numEdits) * kBZ_OuOelEditSize > dataSize - pos) return eofErr;
    pos += SInt64(numEdits) * kBZ_OuOelEditSize;
  }
  return pos == dataSize ? OSStatus(noErr) : OSStatus(eofErr);
}

OSStatus BZ_OuUnflattenOutlierEditList(const void *dataPtr, SInt64 dataSize, BZ_OuOelList *outlierEditList) {
  if (outlierEditList == nullptr) return paramErr;
  if (OSStatus err = BZ_OuCheckFlatOutlierEditList(dataPtr, dataSize); err != noErr) return err;
  const auto *p = static_cast<const UInt8 *>(dataPtr);
  const SInt32 numFrames = SInt32(GetLE32(p));
  p += 4;
  // Built apart and linked at the end, so that a failure leaves the list as it was.
  BZ_OuFrameOelLE *first = nullptr, *last = nullptr;
  for (SInt32 f = 0; f < numFrames; ++f) {
    BZ_OuFrameOelLE *frame = nullptr;
    if (LL_AddNewPtr(sizeof(BZ_OuFrameOelLE), last, &first, &frame) != noErr) {
      for (BZ_OuFrameOelLE *e = first; e != nullptr; e = e->next) DisposeEdits(&e->frameOel.firstOe);
      LL_DisposeLinkedList(&first);
      return memFullErr;
    }
    last = frame;
    frame->frameOel.frameNum = SInt32(GetLE32(p));
    const SInt32 numEdits = SInt32(GetLE32(p + 4));
    p += 8;
    BZ_OuOeLE *lastOe = nullptr;
    for (SInt32 i = 0; i < numEdits; ++i, p += 16) {
      BZ_OuOeLE *oe = nullptr;
      if (LL_AddNewPtr(sizeof(BZ_OuOeLE), lastOe, &frame->frameOel.firstOe, &oe) != noErr) {
        for (BZ_OuFrameOelLE *e = first; e != nullptr; e = e->next) DisposeEdits(&e->frameOel.firstOe);
        LL_DisposeLinkedList(&first);
        return memFullErr;
      }
      lastOe = oe;
      oe->number = i;
      oe->outlierEdit.speckNum = SInt32(GetLE32(p));
      oe->outlierEdit.oeType = SInt32(GetLE32(p + 4));
      oe->outlierEdit.rect = Rect{GetLE16(p + 8), GetLE16(p + 10), GetLE16(p + 12), GetLE16(p + 14)};
    }
  }
  if (outlierEditList->firstFrameOel == nullptr)
    outlierEditList->firstFrameOel = first;
  else
    static_cast<BZ_OuFrameOelLE *>(LL_GetLastPtr(outlierEditList->firstFrameOel))->next = first;
  return noErr;
}

// ---- File names ----

CFMutableStringRef BZ_OuMakeOelFileNameWithIndex(CFStringRef srcFileName, SInt32 index) {
  if (srcFileName == nullptr) return nullptr;
  CFMutableStringRef base = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, srcFileName);
  if (base == nullptr) return nullptr;
  const CFIndex length = CFStringGetLength(base);
  // An extension is the dot and at most 5 characters after it.
  for (CFIndex i = length - 1; i >= 0 && i >= length - 6; --i) {
    UniChar c = 0;
    CFStringGetCharacters(base, CFRangeMake(i, 1), &c);
    if (c == '.') {
      CFStringDelete(base, CFRangeMake(i, length - i));
      break;
    }
  }
  CFMutableStringRef name = index < 1 ? CF_StringCreateMutableWithFormat(CFSTR("%@ oel.kbzoel"), base)
                                      : CF_StringCreateMutableWithFormat(CFSTR("%@ oel %ld.kbzoel"), base, index);
  CFRelease(base);
  if (name != nullptr) GL_CFStrTruncMiddle(name, 255);
  return name;
}

SInt32 BZ_OuGetOelFileIndex(CFStringRef oelFileName) {
  if (oelFileName == nullptr) return 0;
  const CFIndex length = CFStringGetLength(oelFileName) - 7;  // less ".kbzoel"
  if (length <= 0) return 0;
  std::vector<UniChar> chars(static_cast<size_t>(length));
  CFStringGetCharacters(oelFileName, CFRangeMake(0, length), chars.data());
  CFIndex space = -1;
  for (CFIndex i = length - 1; i >= 0 && i >= length - 5; --i)
    if (chars[size_t(i)] == ' ') {
      space = i;
      break;
    }
  if (space < 0) return 0;
  // The end from the space on, read as an integer: blanks before the digits, then the digits.
  CFIndex i = space;
  while (i < length && chars[size_t(i)] == ' ') ++i;
  SInt32 value = 0;
  for (; i < length && chars[size_t(i)] >= '0' && chars[size_t(i)] <= '9'; ++i) value = value * 10 + (chars[size_t(i)] - '0');
  return value;
}

// ---- Files ----

namespace {

// The whole file (owned by the caller, GL_DisposePtr) once its frame records are whole; eofErr for a damaged
// file, which is then released.
OSStatus ReadCheckedOelFile(const FSRef *oelFile, void **data, ByteCount *size) {
  OSStatus err = GL_ReadAllDataFromDataFork(0, oelFile, data, size);
  if (err != noErr) return err;
  if (*size > 0)
    err = *size < ByteCount(kBZ_OuOelHeaderSize)
              ? OSStatus(eofErr)
              : BZ_OuCheckFlatOutlierEditList(static_cast<UInt8 *>(*data) + kBZ_OuOelSettSize,
                                              SInt64(*size) - kBZ_OuOelSettSize);
  if (err != noErr) GL_DisposePtr(data);
  return err;
}

// The settings of a file the reader may adopt: those the dialog would accept, or eofErr for a damaged file
// (out of range, NaN or infinite), since such values would make the outlier routines overflow or run for hours.
OSStatus ReadAdoptableSettings(const FSRef *oelFile, BZ_OuSett *ouSett) {
  OSStatus err = BZ_OuGetSettingsFromOelfile(oelFile, ouSett);
  if (err != noErr) return err;
  return BZ_OuSettFromFileIsValid(ouSett) ? OSStatus(noErr) : OSStatus(eofErr);
}

// A file the reader is about to adopt: valid settings and whole frame records.
OSStatus CheckAdoptableOelFile(const FSRef *oelFile, BZ_OuSett *ouSett) {
  OSStatus err = ReadAdoptableSettings(oelFile, ouSett);
  void *data = nullptr;
  ByteCount size = 0;
  if (err == noErr) err = ReadCheckedOelFile(oelFile, &data, &size);
  GL_DisposePtr(&data);
  return err;
}

}  // namespace

OSStatus BZ_OuGetSettingsFromOelfile(const FSRef *oelFile, BZ_OuSett *ouSett) {
  if (oelFile == nullptr || ouSett == nullptr) return paramErr;
  UInt8 bytes[kBZ_OuOelSettSize] = {};
  void *buffer = bytes;
  ByteCount count = kBZ_OuOelSettSize;
  OSStatus err = GL_ReadDataFromFork(0, oelFile, 0, nullptr, &buffer, 0, fsFromStart, 0, &count);
  if (err == noErr && count < ByteCount(kBZ_OuOelSettSize)) err = eofErr;
  if (err == noErr) BZ_OuSettFromFileBytes(bytes, ouSett);
  return err;
}

OSStatus BZ_OuSaveOutlierEditList(BZ_OuOelList *outlierEditList, const FSRef *savedSrcFile) {
  // The file and its header are those of the settings the list was made with: after the user changed the
  // settings, the old edits must not land in the new settings' file. A list never tied to settings takes the
  // project's.
  const BZ_OuDlgTaskData *ou = OuDlgTaskData();
  const BZ_OuSett *current =
      ou != nullptr && ou->ouSett.numConstPix != 0 && BZ_OuSettFromFileIsValid(&ou->ouSett) ? &ou->ouSett
                                                                                           : ProjectOuSett();
  if (outlierEditList == nullptr || current == nullptr) return paramErr;
  FSRef parent{};
  CFStringRef srcName = nullptr;
  OSStatus err = SourceFolderAndName(savedSrcFile, &parent, &srcName);
  if (err != noErr) {
    if (srcName != nullptr) CFRelease(srcName);
    return err;
  }
  FSRef file{};
  HFSUniStr255 uniName{};
  Boolean found = false;
  SInt32 index = 0;
  for (; index <= kMaxOelFileIndex; ++index) {
    CFMutableStringRef name = BZ_OuMakeOelFileNameWithIndex(srcName, index);
    if (name == nullptr) {
      err = memFullErr;
      break;
    }
    err = LookUp(&parent, name, &file, &found, &uniName);
    CFRelease(name);
    if (err != noErr || !found) break;
    BZ_OuSett fileSett{};
    err = BZ_OuGetSettingsFromOelfile(&file, &fileSett);
    if (err != noErr || BZ_EqualOuSett(&fileSett, current)) break;
  }
  CFRelease(srcName);
  if (err != noErr) return err;
  if (index > kMaxOelFileIndex) return dupFNErr;

  if (found && outlierEditList->firstFrameOel == nullptr) return FSDeleteObject(&file);
  if (!found) {
    err = GL_CreateFile(&parent, &uniName, kOelCreator, kOelFileType, true, &file);
    if (err != noErr) return err;
  }
  err = WriteOelFile(&file, outlierEditList, current);
  // Only a list that is in its file counts as saved: a failed write is tried again later.
  if (err == noErr) outlierEditList->saved = true;
  return err;
}

Boolean BZ_OuSettFromFileIsValid(const BZ_OuSett *ouSett) {
  if (ouSett == nullptr) return false;
  BZ_OuSett copy = *ouSett;
  return BZ_OuValidateSett(&copy, false);
}

OSStatus BZ_OuReadOelListIntoMemory(const FSRef *oelFile) {
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  if (oelFile == nullptr || ou == nullptr) return paramErr;
  void *data = nullptr;
  ByteCount size = 0;
  // A damaged file is refused before the lists in memory are touched; settings out of range are damage too.
  OSStatus err = ReadCheckedOelFile(oelFile, &data, &size);
  if (err != noErr) return err;
  if (size > 0) {
    BZ_OuSett fileSett{};
    BZ_OuSettFromFileBytes(static_cast<UInt8 *>(data), &fileSett);
    if (!BZ_OuSettFromFileIsValid(&fileSett)) err = eofErr;
  }
  if (err == noErr) err = CloseCurrentLists();
  if (err == noErr && size > 0) {
    const UInt8 *flat = static_cast<UInt8 *>(data) + kBZ_OuOelSettSize;
    const SInt64 flatSize = SInt64(size) - kBZ_OuOelSettSize;
    err = BZ_OuUnflattenOutlierEditList(flat, flatSize, &ou->outlierEditList);
    if (err == noErr) err = BZ_OuUnflattenOutlierEditList(flat, flatSize, &ou->savedOutlierEditList);
    if (err != noErr) DisposeBothLists(ou);
  }
  GL_DisposePtr(&data);
  if (err == noErr && PreviewWindowOpen()) err = BZ_OuCopyFrameOutlierEditListToPreviewData();
  return err;
}

OSStatus BZ_OuOpenOutlierEditListFile(Boolean currentSettingsOnly) {
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  if (ou == nullptr || gBZ.project == nullptr) return paramErr;
  BZ_OuSett &projectSett = gBZ.project->info.settings.cleaning.ou;
  FSRef parent{};
  CFStringRef srcName = nullptr;
  OSStatus err = SourceFolderAndName(nullptr, &parent, &srcName);
  UInt32 count = 0;
  if (err == noErr) err = GL_CountFilesWithExtension(&parent, CFSTR(".kbzoel"), &count);
  std::vector<FSRef> files(count);
  if (err == noErr && count > 0) err = GL_ListFilesWithExtension(&parent, CFSTR(".kbzoel"), files.data(), count, &count);
  files.resize(err == noErr ? count : 0);

  struct Candidate {
    FSRef file;
    SInt32 index;
  };
  std::vector<Candidate> candidates;
  for (const FSRef &file : files) {
    if (err != noErr) break;
    CFStringRef name = nullptr;
    if (GL_CopyFileDirNameAsCFString(&file, &name) != noErr || name == nullptr) continue;
    const SInt32 index = BZ_OuGetOelFileIndex(name);
    CFMutableStringRef own = BZ_OuMakeOelFileNameWithIndex(srcName, index);
    const bool belongs = own != nullptr && CFStringCompare(own, name, 0) == kCFCompareEqualTo;
    if (own != nullptr) CFRelease(own);
    CFRelease(name);
    if (!belongs) continue;
    BZ_OuSett fileSett{};
    err = ReadAdoptableSettings(&file, &fileSett);
    if (err != noErr) break;
    if (BZ_EqualOuSett(&fileSett, &projectSett)) {
      candidates.assign(1, Candidate{file, index});
      break;
    }
    if (!currentSettingsOnly) candidates.push_back(Candidate{file, index});
  }
  if (srcName != nullptr) CFRelease(srcName);
  if (err != noErr) return err;

  const Candidate *chosen = nullptr;
  for (const Candidate &c : candidates)
    if (chosen == nullptr || c.index < chosen->index) chosen = &c;

  // The chosen file is checked whole before the lists are closed or its settings adopted, so that a damaged
  // one changes nothing.
  BZ_OuSett fileSett{};
  if (chosen != nullptr) {
    err = CheckAdoptableOelFile(&chosen->file, &fileSett);
    if (err != noErr) return err;
  }
  err = CloseCurrentLists();
  if (err != noErr) return err;
  if (chosen != nullptr) {
    const BZ_OuSett before = projectSett;
    if (!currentSettingsOnly) projectSett = fileSett;
    err = BZ_OuReadOelListIntoMemory(&chosen->file);
    if (err != noErr) {
      projectSett = before;
      return err;
    }
    if (!currentSettingsOnly) BZ_SetOnlyProcessType(kBZ_OutlierTaskType);
  }
  ou->ouSett = projectSett;
  return noErr;
}

// ---- Lists ----

OSStatus BZ_OuCopyOutlierEdits(const BZ_OuOeLE *firstOe, BZ_OuOeLE **copy) {
  if (copy == nullptr) return paramErr;
  *copy = nullptr;
  return CopyEdits(const_cast<BZ_OuOeLE *>(firstOe), copy);
}

BZ_OuOeLE *BZ_OuFindFrameOutlierEditList(SInt32 frameNum) {
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  if (ou == nullptr) return nullptr;
  for (BZ_OuFrameOelLE *f = ou->outlierEditList.firstFrameOel; f != nullptr; f = f->next)
    if (f->frameOel.frameNum == frameNum) return f->frameOel.firstOe;
  return nullptr;
}

void BZ_OuDisposeOutlierEditlist(BZ_OuFrameOelLE **firstFrameOel) {
  if (firstFrameOel == nullptr) return;
  for (BZ_OuFrameOelLE *f = *firstFrameOel; f != nullptr; f = f->next) DisposeEdits(&f->frameOel.firstOe);
  LL_DisposeLinkedList(firstFrameOel);
}

Boolean BZ_OuFindOutlierEdit(const BZ_OuOeLE *firstOe, SInt32 speckNum, BZ_OuOeType oeType) {
  for (const BZ_OuOeLE *e = firstOe; e != nullptr; e = e->next)
    if (e->outlierEdit.speckNum == speckNum && e->outlierEdit.oeType == oeType) return true;
  return false;
}

void BZ_OuRemoveOutlierEdit(BZ_OuOeLE **firstOe, SInt32 speckNum, BZ_OuOeType oeType) {
  if (firstOe == nullptr) return;
  for (BZ_OuOeLE *e = *firstOe; e != nullptr; e = e->next)
    if (e->outlierEdit.speckNum == speckNum && e->outlierEdit.oeType == oeType) {
      LL_DeletePtr(firstOe, &e);
      return;
    }
}

OSStatus BZ_OuCopyFrameOutlierEditListToPreviewData() {
  BZ_PreviewData *preview = BZ_GetPreviewDataPtr();
  BZ_OuPreviewData *ouPreview = preview != nullptr ? preview->ouPreviewData : nullptr;
  if (ouPreview == nullptr) return paramErr;
  // A preview run may be reading the preview's edits: they are replaced only inside the edit region.
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  OSStatus err = ou != nullptr ? BZ_OuEnterEditRegion(ou->oeCritRgn) : OSStatus(noErr);
  if (err != noErr) return err;
  BZ_OuFrameOeList &frameList = ouPreview->frameOutlierEditList;
  DisposeEdits(&frameList.firstOe);
  frameList.changed = false;
  err = CopyEdits(BZ_OuFindFrameOutlierEditList(preview->frameNum), &frameList.firstOe);
  if (ou != nullptr) MPExitCriticalRegion(ou->oeCritRgn);
  return err;
}

OSStatus BZ_UpdateOutlierEditList() {
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  BZ_OuPreviewData *ouPreview = OuPreviewData();
  if (ou == nullptr || ouPreview == nullptr || !PreviewWindowOpen()) return noErr;
  BZ_OuFrameOeList &frameList = ouPreview->frameOutlierEditList;
  if (!frameList.changed) return noErr;
  // The copy comes first: without memory the project list stays as it was.
  BZ_OuOeLE *copy = nullptr;
  if (OSStatus err = CopyEdits(frameList.firstOe, &copy); err != noErr) return err;
  BZ_OuFrameOelLE *smaller = nullptr, *same = nullptr;
  for (BZ_OuFrameOelLE *f = ou->outlierEditList.firstFrameOel; f != nullptr; f = f->next) {
    if (f->frameOel.frameNum == frameList.frameNum) same = f;
    if (f->frameOel.frameNum >= frameList.frameNum) break;
    smaller = f;
  }
  BZ_OuFrameOelLE *element = nullptr;
  if (OSStatus err = LL_AddNewPtr(sizeof(BZ_OuFrameOelLE), smaller != nullptr ? static_cast<void *>(smaller)
                                                                               : kLL_AddAsFirst,
                                  &ou->outlierEditList.firstFrameOel, &element);
      err != noErr) {
    DisposeEdits(&copy);
    return err;
  }
  if (same != nullptr) {
    DisposeEdits(&same->frameOel.firstOe);
    LL_DeletePtr(&ou->outlierEditList.firstFrameOel, &same);
  }
  element->frameOel.frameNum = frameList.frameNum;
  element->frameOel.firstOe = copy;
  frameList.changed = false;
  ou->outlierEditList.changed = true;
  ou->outlierEditList.saved = false;
  return noErr;
}

void BZ_OutlierEditListSaver(EventLoopTimerRef, void *userData) {
  BZ_OuDlgTaskData *ou = OuDlgTaskData();
  if (ou == nullptr) return;
  BZ_OuPreviewData *ouPreview = OuPreviewData();
  if (userData != nullptr && ouPreview != nullptr && ouPreview->frameOutlierEditList.changed)
    (void)BZ_UpdateOutlierEditList();
  if (ou->outlierEditList.saved) return;
  // A list that cannot be written stays unsaved, so the next firing tries again; the user hears of it once,
  // not every minute, until a write succeeds.
  static bool failureReported = false;
  const OSStatus err = BZ_OuSaveOutlierEditList(&ou->outlierEditList, nullptr);
  if (err == noErr) {
    failureReported = false;
  } else if (!failureReported) {
    failureReported = true;
    const BZ_EngineHost *host = BZ_GetEngineHost();
    host->showError(host->refCon, err);
  }
}

OSStatus BZ_SaveOutlierEditListFinal(BZ_OuDlgTaskData *ouDlgTaskData, const FSRef *srcFile) {
  if (ouDlgTaskData == nullptr) return paramErr;
  OSStatus status = noErr;
  if (ouDlgTaskData->outlierEditList.changed) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    Boolean discard = false;
    status = host->askSaveOutlierEdits(host->refCon, &discard);
    if (status != noErr) return status;  // nothing decided: the lists stay
    OSStatus err = noErr;
    if (discard)
      err = BZ_OuSaveOutlierEditList(&ouDlgTaskData->savedOutlierEditList, srcFile);
    else if (!ouDlgTaskData->outlierEditList.saved)
      err = BZ_OuSaveOutlierEditList(&ouDlgTaskData->outlierEditList, srcFile);
    // The user's edits are not thrown away when they could not be written.
    if (err != noErr) {
      ouDlgTaskData->outlierEditList.saved = false;
      return err;
    }
  }
  DisposeBothLists(ouDlgTaskData);
  ouDlgTaskData->outlierEditList.saved = true;
  return status;
}

OSStatus BZ_SaveOutlierEditListFinalDontAsk(BZ_OuDlgTaskData *ouDlgTaskData) {
  if (ouDlgTaskData == nullptr) return paramErr;
  BZ_OuOelList &list = ouDlgTaskData->outlierEditList;
  if (list.changed && !list.saved) {
    OSStatus err = BZ_OuSaveOutlierEditList(&list, nullptr);
    if (err != noErr) {
      list.saved = false;
      return err;
    }
  }
  // The execution that starts replays each frame's edits: it gets them from this copy, since the lists
  // themselves are closed now.
  if (OSStatus err = BZ_OuCopyOelList(&list, &ouDlgTaskData->runEditList); err != noErr) return err;
  return DisposeBothLists(ouDlgTaskData);
}

OSStatus BZ_OuCopyOelList(const BZ_OuOelList *from, BZ_OuOelList *to) {
  if (from == nullptr || to == nullptr) return paramErr;
  BZ_OuDisposeOutlierEditlist(&to->firstFrameOel);
  to->changed = from->changed;
  to->saved = from->saved;
  BZ_OuFrameOelLE *last = nullptr;
  for (const BZ_OuFrameOelLE *f = from->firstFrameOel; f != nullptr; f = f->next) {
    BZ_OuFrameOelLE *element = nullptr;
    OSStatus err = LL_AddNewPtr(sizeof(BZ_OuFrameOelLE), last != nullptr ? static_cast<void *>(last) : kLL_AddAsFirst,
                                &to->firstFrameOel, &element);
    if (err == noErr) {
      element->frameOel.changed = f->frameOel.changed;
      element->frameOel.frameNum = f->frameOel.frameNum;
      err = CopyEdits(f->frameOel.firstOe, &element->frameOel.firstOe);
    }
    if (err != noErr) {
      BZ_OuDisposeOutlierEditlist(&to->firstFrameOel);
      return err;
    }
    last = element;
  }
  return noErr;
}
