// Compression and export settings.
#include "movie/export_settings.h"

#include "general/error_keys.h"
#include "general/file_layer.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "platform/core/clock.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Flags the caller may pass as null.
struct Flag {
  Boolean local = false;
  Boolean *p;
  explicit Flag(Boolean *out) : p(out != nullptr ? out : &local) {}
  Boolean &operator*() { return *p; }
};

QTAtom FindChild(QTAtomContainer c, QTAtom parent, OSType type) {
  if (c == nullptr) return 0;
  return QTFindChildByIndex(c, parent, type, 1, nullptr);
}

// Copies the first `size` bytes of the first child of `type` under `parent`. *found is true only when
// they were copied: an absent atom, an atom whose data is shorter, or an error leave it false.
OSStatus ReadLeaf(QTAtomContainer c, QTAtom parent, OSType type, void *bytes, SInt32 size, Boolean *found) {
  *found = false;
  QTAtom atom = FindChild(c, parent, type);
  if (atom == 0) return noErr;
  SInt32 dataSize = 0;
  Ptr data = nullptr;
  OSStatus err = QTGetAtomDataPtr(c, atom, &dataSize, &data);
  if (err != noErr || dataSize < size) return err;
  std::memcpy(bytes, data, size_t(size));
  *found = true;
  return noErr;
}

// The same under the first child of `parentType` at the root (0 when it is missing).
OSStatus ReadNested(QTAtomContainer c, OSType parentType, OSType type, void *bytes, SInt32 size, Boolean *parentFound,
                    Boolean *found) {
  *found = false;
  QTAtom parent = FindChild(c, kParentAtomIsContainer, parentType);
  *parentFound = parent != 0;
  if (parent == 0) return noErr;
  return ReadLeaf(c, parent, type, bytes, size, found);
}

// Replaces the data of the first child of `type` under `parent`; a missing one is inserted (with `insertID`,
// 0 for a fresh identifier) when `insert` is set. *found tells whether it was there.
OSStatus WriteLeaf(QTAtomContainer c, QTAtom parent, OSType type, const void *bytes, SInt32 size, Boolean *found,
                   bool insert, QTAtomID insertID) {
  QTAtom atom = FindChild(c, parent, type);
  *found = atom != 0;
  if (atom != 0) return QTSetAtomData(c, atom, size, bytes);
  if (!insert) return noErr;
  return QTInsertChild(c, parent, type, insertID, 0, size, bytes, nullptr);
}

OSStatus WriteNested(QTAtomContainer c, OSType parentType, OSType type, const void *bytes, SInt32 size,
                     Boolean *parentFound, Boolean *found) {
  *found = false;
  QTAtom parent = FindChild(c, kParentAtomIsContainer, parentType);
  *parentFound = parent != 0;
  if (parent == 0) return noErr;
  return WriteLeaf(c, parent, type, bytes, size, found, false, 0);
}

// Writes 4 bytes at `offset` of the present atom's data, leaving the rest of it as it is. An atom too short
// for the word counts as absent.
OSStatus WriteWordInPlace(QTAtomContainer c, QTAtom parent, OSType type, SInt32 offset, UInt32 value, Boolean *found) {
  *found = false;
  QTAtom atom = FindChild(c, parent, type);
  if (atom == 0) return noErr;
  SInt32 dataSize = 0;
  Ptr data = nullptr;
  OSStatus err = QTGetAtomDataPtr(c, atom, &dataSize, &data);
  if (err != noErr || dataSize < offset + 4) return err;
  PL_PutBE32(reinterpret_cast<UInt8 *>(data) + offset, value);
  *found = true;
  return noErr;
}

// A parent at the root, or the root itself when it is missing (the sample rate and scaling mode may sit
// at either place).
QTAtom ParentOrRoot(QTAtomContainer c, OSType parentType, Boolean *parentFound) {
  QTAtom parent = FindChild(c, kParentAtomIsContainer, parentType);
  *parentFound = parent != 0;
  return parent;
}

// ---- One-byte Booleans at the root ----

OSStatus GetRootBoolean(QTAtomContainer c, OSType type, Boolean *value, Boolean *atomFound) {
  Flag found(atomFound);
  UInt8 byte = 0;
  OSStatus err = ReadLeaf(c, kParentAtomIsContainer, type, &byte, 1, &*found);
  if (value != nullptr) *value = *found ? Boolean(byte != 0) : Boolean(false);
  return err;
}

OSStatus SetRootBoolean(QTAtomContainer c, OSType type, Boolean value, Boolean *atomFound) {
  Flag found(atomFound);
  UInt8 byte = value ? 1 : 0;
  return WriteLeaf(c, kParentAtomIsContainer, type, &byte, 1, &*found, true, 1);
}

OSStatus GetSizeBoolean(QTAtomContainer c, OSType type, Boolean *value, Boolean *parentFound, Boolean *atomFound) {
  Flag parent(parentFound), found(atomFound);
  UInt8 byte = 0;
  OSStatus err = ReadNested(c, kQT_ExportSettSizeAtom, type, &byte, 1, &*parent, &*found);
  if (*found && value != nullptr) *value = byte != 0;
  return err;
}

OSStatus SetSizeBoolean(QTAtomContainer c, OSType type, Boolean value, Boolean *parentFound, Boolean *atomFound) {
  Flag parent(parentFound), found(atomFound);
  UInt8 byte = value ? 1 : 0;
  return WriteNested(c, kQT_ExportSettSizeAtom, type, &byte, 1, &*parent, &*found);
}

OSStatus GetNested32(QTAtomContainer c, OSType parentType, OSType type, UInt32 *value, bool clearWhenAbsent,
                     Boolean *parentFound, Boolean *atomFound) {
  Flag parent(parentFound), found(atomFound);
  UInt8 bytes[4];
  OSStatus err = ReadNested(c, parentType, type, bytes, 4, &*parent, &*found);
  if (value != nullptr) {
    if (*found)
      *value = PL_GetBE32(bytes);
    else if (clearWhenAbsent)
      *value = 0;
  }
  return err;
}

OSStatus SetNested32(QTAtomContainer c, OSType parentType, OSType type, UInt32 value, Boolean *parentFound,
                     Boolean *atomFound) {
  Flag parent(parentFound), found(atomFound);
  UInt8 bytes[4];
  PL_PutBE32(bytes, value);
  return WriteNested(c, parentType, type, bytes, 4, &*parent, &*found);
}

OSStatus GetSaveBoolean(QTAtomContainer c, OSType type, Boolean *value, Boolean *parentFound, Boolean *atomFound) {
  Flag parent(parentFound), found(atomFound);
  UInt8 byte = 0;
  OSStatus err = ReadNested(c, kQT_ExportSettSaveAtom, type, &byte, 1, &*parent, &*found);
  if (value != nullptr) *value = *found ? Boolean(byte != 0) : Boolean(false);
  return err;
}

OSStatus GetSound16(QTAtomContainer c, OSType type, UInt16 *value, Boolean *parentFound, Boolean *atomFound) {
  Flag parent(parentFound), found(atomFound);
  UInt8 bytes[2];
  OSStatus err = ReadNested(c, kQT_ExportSettSoundAtom, type, bytes, 2, &*parent, &*found);
  if (value != nullptr && *parent) *value = *found ? PL_GetBE16(bytes) : UInt16(0);
  return err;
}

// Records of 32-bit big-endian words.
void WordsFromBE(const UInt8 *bytes, UInt32 *words, size_t count) {
  for (size_t i = 0; i < count; ++i) words[i] = PL_GetBE32(bytes + 4 * i);
}
void WordsToBE(const UInt32 *words, size_t count, UInt8 *bytes) {
  for (size_t i = 0; i < count; ++i) PL_PutBE32(bytes + 4 * i, words[i]);
}

void ClapToWords(const QT_ClapExt &clap, UInt32 words[8]) {
  const UInt32 w[8] = {clap.cleanApertureWidthN, clap.cleanApertureWidthD, clap.cleanApertureHeightN,
                       clap.cleanApertureHeightD, UInt32(clap.horizOffN),  clap.horizOffD,
                       UInt32(clap.vertOffN),     clap.vertOffD};
  std::memcpy(words, w, sizeof(w));
}
void ClapFromWords(const UInt32 w[8], QT_ClapExt *clap) {
  clap->cleanApertureWidthN = w[0];
  clap->cleanApertureWidthD = w[1];
  clap->cleanApertureHeightN = w[2];
  clap->cleanApertureHeightD = w[3];
  clap->horizOffN = SInt32(w[4]);
  clap->horizOffD = w[5];
  clap->vertOffN = SInt32(w[6]);
  clap->vertOffD = w[7];
}

// A stored codec is a 32-bit number; the selector values are small negative numbers and keep their sign.
CodecComponent CodecFromWord(UInt32 word) {
  return reinterpret_cast<CodecComponent>(static_cast<intptr_t>(SInt32(word)));
}
UInt32 CodecToWord(CodecComponent codec) { return UInt32(reinterpret_cast<intptr_t>(codec)); }

}  // namespace

// ---- DV atoms at the root ----

OSStatus QT_GetExportToPAL_FromExportSettContainer(QTAtomContainer exportSett, Boolean *exportPAL, Boolean *atomFound) {
  Flag found(atomFound);
  UInt8 byte = 0;
  OSStatus err = ReadLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettNTSCAtom, &byte, 1, &*found);
  if (exportPAL != nullptr) *exportPAL = *found ? Boolean(byte == 0) : Boolean(false);
  return err;
}

OSStatus QT_SetExportToPAL_InExportSettContainer(QTAtomContainer exportSett, Boolean exportPAL, Boolean *atomFound) {
  Flag found(atomFound);
  UInt8 ntsc = exportPAL ? 0 : 1;
  return WriteLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettNTSCAtom, &ntsc, 1, &*found, true, 1);
}

OSStatus QT_Get16x9_FromExportSettContainer(QTAtomContainer exportSett, Boolean *is16x9, Boolean *atomFound) {
  return GetRootBoolean(exportSett, kQT_ExportSett16x9Atom, is16x9, atomFound);
}
OSStatus QT_Set16x9_InExportSettContainer(QTAtomContainer exportSett, Boolean is16x9, Boolean *atomFound) {
  return SetRootBoolean(exportSett, kQT_ExportSett16x9Atom, is16x9, atomFound);
}
OSStatus QT_GetProgressiveFromExportSettContainer(QTAtomContainer exportSett, Boolean *progressive, Boolean *atomFound) {
  return GetRootBoolean(exportSett, kQT_ExportSettProgressiveAtom, progressive, atomFound);
}
OSStatus QT_SetProgressiveInExportSettContainer(QTAtomContainer exportSett, Boolean progressive, Boolean *atomFound) {
  return SetRootBoolean(exportSett, kQT_ExportSettProgressiveAtom, progressive, atomFound);
}
OSStatus QT_GetLockedAudioFromExportSettContainer(QTAtomContainer exportSett, Boolean *lockedAudio, Boolean *atomFound) {
  return GetRootBoolean(exportSett, kQT_ExportSettLockedAudioAtom, lockedAudio, atomFound);
}
OSStatus QT_SetLockedAudioInExportSettContainer(QTAtomContainer exportSett, Boolean lockedAudio, Boolean *atomFound) {
  return SetRootBoolean(exportSett, kQT_ExportSettLockedAudioAtom, lockedAudio, atomFound);
}

OSStatus QT_GetDVTypeFromExportSettContainer(QTAtomContainer exportSett, OSType *dvType, Boolean *atomFound) {
  Flag found(atomFound);
  *found = false;
  if (exportSett == nullptr) return kGL_NilPointerErr;
  UInt8 bytes[4];
  OSStatus err = ReadLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettDVTypeAtom, bytes, 4, &*found);
  if (dvType != nullptr) *dvType = *found ? PL_GetBE32(bytes) : 0;
  return err;
}

OSStatus QT_SetDVTypeInExportSettContainer(QTAtomContainer exportSett, OSType dvType, Boolean *atomFound) {
  Flag found(atomFound);
  UInt8 bytes[4];
  PL_PutBE32(bytes, dvType);
  return WriteLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettDVTypeAtom, bytes, 4, &*found, false, 0);
}

// ---- Compression switches ----

OSStatus QT_EnableVideoCompression(QTAtomContainer exportSett, Boolean enable) {
  Boolean found = false;
  UInt8 byte = enable ? 1 : 0;
  return WriteLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettEnableVideoAtom, &byte, 1, &found, true, 0);
}

OSStatus QT_EnableVideoCompression2(QTAtomContainer exportSett, Boolean enable) {
  QTAtom atom = FindChild(exportSett, kParentAtomIsContainer, kQT_ExportSettEnableVideoAtom);
  if (!enable) return atom != 0 ? QTRemoveAtom(exportSett, atom) : OSStatus(noErr);
  if (atom != 0) return noErr;
  UInt8 byte = 1;
  return QTInsertChild(exportSett, kParentAtomIsContainer, kQT_ExportSettEnableVideoAtom, 0, 0, 1, &byte, nullptr);
}

OSStatus QT_IsVideoCompressionEnabled(QTAtomContainer exportSett, Boolean *enabled, Boolean *atomFound) {
  return GetRootBoolean(exportSett, kQT_ExportSettEnableVideoAtom, enabled, atomFound);
}

OSStatus QT_SetVideoPassThroughInExportSettContainer(QTAtomContainer exportSett, Boolean *atomFound) {
  Flag found(atomFound);
  UInt8 bytes[4];
  PL_PutBE32(bytes, kQT_ExportSettVideoPassThrough);
  return WriteLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettEnableVideoAtom, bytes, 4, &*found, true, 0);
}

OSStatus QT_EnableSoundCompression(QTAtomContainer exportSett, Boolean enable) {
  Boolean found = false;
  UInt8 byte = enable ? 1 : 0;
  return WriteLeaf(exportSett, kParentAtomIsContainer, kQT_ExportSettEnableSoundAtom, &byte, 1, &found, true, 0);
}

OSStatus QT_IsSoundCompressionEnabled(QTAtomContainer exportSett, Boolean *enabled, Boolean *atomFound) {
  return GetRootBoolean(exportSett, kQT_ExportSettEnableSoundAtom, enabled, atomFound);
}

// ---- Size settings ----

OSStatus QT_GetModernWidthFromExportSettContainer(QTAtomContainer exportSett, SInt32 *width,
                                                  Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  return GetNested32(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettWidthAtom, reinterpret_cast<UInt32 *>(width),
                     true, videoSettSizeAtomFound, atomFound);
}

OSStatus QT_GetModernHeightFromExportSettContainer(QTAtomContainer exportSett, SInt32 *height,
                                                   Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  return GetNested32(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettHeightAtom, reinterpret_cast<UInt32 *>(height),
                     true, videoSettSizeAtomFound, atomFound);
}

OSStatus QT_GetScalingModeFromExportSettContainer(QTAtomContainer exportSett, OSType *scalingMode,
                                                  Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  Flag parentFound(videoSettSizeAtomFound), found(atomFound);
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettSizeAtom, &*parentFound);
  UInt8 bytes[4];
  OSStatus err = ReadLeaf(exportSett, parent, kQT_ExportSettScalingModeAtom, bytes, 4, &*found);
  if (*found && scalingMode != nullptr) *scalingMode = PL_GetBE32(bytes);
  return err;
}

OSStatus QT_SetScalingModeInExportSettContainer(QTAtomContainer exportSett, OSType scalingMode,
                                                Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  Flag parentFound(videoSettSizeAtomFound), found(atomFound);
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettSizeAtom, &*parentFound);
  UInt8 bytes[4];
  PL_PutBE32(bytes, scalingMode == kQT_ScalingModePixelsToPixels ? 0 : scalingMode);
  return WriteLeaf(exportSett, parent, kQT_ExportSettScalingModeAtom, bytes, 4, &*found, false, 0);
}

OSStatus QT_SetDefaultScalingModeInExportSettContainer(QTAtomContainer exportSett, Boolean *atomFound) {
  Flag found(atomFound);
  *found = false;
  Boolean parentFound = false, present = false;
  OSType mode = 0;
  OSStatus err = QT_GetScalingModeFromExportSettContainer(exportSett, &mode, &parentFound, &present);
  if (err != noErr || !present || mode == 0) return err;
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettSizeAtom, &parentFound);
  UInt8 bytes[4];
  PL_PutBE32(bytes, kQT_ScalingModePixelsToPixels);
  return WriteLeaf(exportSett, parent, kQT_ExportSettScalingModeAtom, bytes, 4, &*found, false, 0);
}

OSStatus QT_GetDeinterlaceFromExportSettContainer(QTAtomContainer exportSett, Boolean *deinterlace,
                                                  Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  return GetSizeBoolean(exportSett, kQT_ExportSettDeinterlaceAtom, deinterlace, videoSettSizeAtomFound, atomFound);
}
OSStatus QT_SetDeinterlaceInExportSettContainer(QTAtomContainer exportSett, Boolean deinterlace,
                                                Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  return SetSizeBoolean(exportSett, kQT_ExportSettDeinterlaceAtom, deinterlace, videoSettSizeAtomFound, atomFound);
}
OSStatus QT_GetUseCodecEnfDimsFromExportSettContainer(QTAtomContainer exportSett, Boolean *useCodecEnfDims,
                                                      Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  return GetSizeBoolean(exportSett, kQT_ExportSettUseCodecEnfDimsAtom, useCodecEnfDims, videoSettSizeAtomFound,
                        atomFound);
}
OSStatus QT_SetUseCodecEnfDimsInExportSettContainer(QTAtomContainer exportSett, Boolean useCodecEnfDims,
                                                    Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  return SetSizeBoolean(exportSett, kQT_ExportSettUseCodecEnfDimsAtom, useCodecEnfDims, videoSettSizeAtomFound,
                        atomFound);
}

OSStatus QT_GetClapFromExportSettContainer(QTAtomContainer exportSett, QT_ClapExt *clap,
                                           Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  Flag parent(videoSettSizeAtomFound), found(atomFound);
  UInt8 bytes[32];
  OSStatus err = ReadNested(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettClapAtom, bytes, 32, &*parent, &*found);
  if (clap != nullptr) {
    UInt32 words[8] = {};
    if (*found) WordsFromBE(bytes, words, 8);
    ClapFromWords(words, clap);
  }
  return err;
}

OSStatus QT_SetClapInExportSettContainer(QTAtomContainer exportSett, const QT_ClapExt *clap,
                                         Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  if (clap == nullptr) return paramErr;
  Flag parent(videoSettSizeAtomFound), found(atomFound);
  UInt32 words[8];
  ClapToWords(*clap, words);
  UInt8 bytes[32];
  WordsToBE(words, 8, bytes);
  return WriteNested(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettClapAtom, bytes, 32, &*parent, &*found);
}

OSStatus QT_GetPaspFromExportSettContainer(QTAtomContainer exportSett, QT_PaspExt *pasp,
                                           Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  Flag parent(videoSettSizeAtomFound), found(atomFound);
  UInt8 bytes[8];
  OSStatus err = ReadNested(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettPaspAtom, bytes, 8, &*parent, &*found);
  if (pasp != nullptr) {
    UInt32 words[2] = {};
    if (*found) WordsFromBE(bytes, words, 2);
    pasp->hSpacing = words[0];
    pasp->vSpacing = words[1];
  }
  return err;
}

OSStatus QT_SetPaspInExportSettContainer(QTAtomContainer exportSett, const QT_PaspExt *pasp,
                                         Boolean *videoSettSizeAtomFound, Boolean *atomFound) {
  if (pasp == nullptr) return paramErr;
  Flag parent(videoSettSizeAtomFound), found(atomFound);
  const UInt32 words[2] = {pasp->hSpacing, pasp->vSpacing};
  UInt8 bytes[8];
  WordsToBE(words, 2, bytes);
  return WriteNested(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettPaspAtom, bytes, 8, &*parent, &*found);
}

// ---- Video settings ----

OSStatus QT_GetSpatialSettingsFromExportSettContainer(QTAtomContainer exportSett, SCSpatialSettings *spatialSett,
                                                      Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  Flag parent(videoSettingsAtomFound), found(atomFound);
  UInt8 bytes[14];
  OSStatus err =
      ReadNested(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettSpatialAtom, bytes, 14, &*parent, &*found);
  if (*found && spatialSett != nullptr) {
    spatialSett->codecType = PL_GetBE32(bytes);
    spatialSett->codec = CodecFromWord(PL_GetBE32(bytes + 4));
    spatialSett->depth = SInt16(PL_GetBE16(bytes + 8));
    spatialSett->spatialQuality = PL_GetBE32(bytes + 10);
  }
  return err;
}

OSStatus QT_SetSpatialSettingsInExportSettContainer(QTAtomContainer exportSett, const SCSpatialSettings *spatialSett,
                                                    Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  if (spatialSett == nullptr) return paramErr;
  Flag parent(videoSettingsAtomFound), found(atomFound);
  UInt8 bytes[14];
  PL_PutBE32(bytes, spatialSett->codecType);
  PL_PutBE32(bytes + 4, CodecToWord(spatialSett->codec));
  PL_PutBE16(bytes + 8, UInt16(spatialSett->depth));
  PL_PutBE32(bytes + 10, spatialSett->spatialQuality);
  return WriteNested(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettSpatialAtom, bytes, 14, &*parent, &*found);
}

OSStatus QT_GetTemporalSettingsFromExportSettContainer(QTAtomContainer exportSett, SCTemporalSettings *temporalSett,
                                                       Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  Flag parent(videoSettingsAtomFound), found(atomFound);
  UInt8 bytes[12];
  OSStatus err =
      ReadNested(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettTemporalAtom, bytes, 12, &*parent, &*found);
  if (*found && temporalSett != nullptr) {
    temporalSett->temporalQuality = PL_GetBE32(bytes);
    temporalSett->frameRate = Fixed(PL_GetBE32(bytes + 4));
    temporalSett->keyFrameRate = SInt32(PL_GetBE32(bytes + 8));
  }
  return err;
}

OSStatus QT_GetDataRateSettingsFromExportSettContainer(QTAtomContainer exportSett, SCDataRateSettings *dataRateSett,
                                                       Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  Flag parent(videoSettingsAtomFound), found(atomFound);
  UInt8 bytes[16];
  OSStatus err =
      ReadNested(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettDataRateSettAtom, bytes, 16, &*parent, &*found);
  if (*found && dataRateSett != nullptr) {
    dataRateSett->dataRate = SInt32(PL_GetBE32(bytes));
    dataRateSett->frameDuration = SInt32(PL_GetBE32(bytes + 4));
    dataRateSett->minSpatialQuality = PL_GetBE32(bytes + 8);
    dataRateSett->minTemporalQuality = PL_GetBE32(bytes + 12);
  }
  return err;
}

OSStatus QT_GetFrameRateInExportSettContainer(QTAtomContainer exportSett, Fixed *frameRate,
                                              Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  Flag parent(videoSettingsAtomFound), found(atomFound);
  UInt8 bytes[8];
  OSStatus err =
      ReadNested(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettTemporalAtom, bytes, 8, &*parent, &*found);
  if (*found && frameRate != nullptr) *frameRate = Fixed(PL_GetBE32(bytes + 4));
  return err;
}

OSStatus QT_SetFrameRateInExportSettContainer(QTAtomContainer exportSett, Fixed frameRate,
                                              Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  Flag parentFound(videoSettingsAtomFound), found(atomFound);
  *found = false;
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettVideoAtom, &*parentFound);
  if (parent == 0) return noErr;
  return WriteWordInPlace(exportSett, parent, kQT_ExportSettTemporalAtom, 4, UInt32(frameRate), &*found);
}

OSStatus QT_GetDataRateFromExportSettContainer(QTAtomContainer exportSett, SInt32 *dataRate,
                                               Boolean *dataRateAtomFound) {
  QTAtom parent = FindChild(exportSett, kParentAtomIsContainer, kQT_ExportSettVideoAtom);
  if (parent == 0) return noErr;
  Flag found(dataRateAtomFound);
  UInt8 bytes[4];
  OSStatus err = ReadLeaf(exportSett, parent, kQT_ExportSettDataRateAtom, bytes, 4, &*found);
  if (*found && dataRate != nullptr) *dataRate = SInt32(PL_GetBE32(bytes));
  return err;
}

OSStatus QT_GetCodecSettingsFromQTMovieExportSettContainer(QTAtomContainer exportSett, CodecType *codecType,
                                                           Handle *codecSett) {
  if (codecSett != nullptr) *codecSett = nullptr;
  QTAtom video = FindChild(exportSett, kParentAtomIsContainer, kQT_ExportSettVideoAtom);
  if (video == 0) return noErr;
  Boolean found = false;
  UInt8 bytes[4];
  OSStatus err = ReadLeaf(exportSett, video, kQT_ExportSettSpatialAtom, bytes, 4, &found);
  if (err != noErr) return err;
  if (found && codecType != nullptr) *codecType = PL_GetBE32(bytes);
  QTAtom settings = FindChild(exportSett, video, kQT_ExportSettCodecSettAtom);
  if (settings == 0 || codecSett == nullptr) return noErr;
  SInt32 size = 0;
  Ptr data = nullptr;
  err = QTGetAtomDataPtr(exportSett, settings, &size, &data);
  if (err != noErr) return err;
  Handle copy = nullptr;
  err = PtrToHand(data, &copy, size);
  if (err != noErr) return err;
  *codecSett = copy;
  return noErr;
}

OSStatus QT_SetTimeScaleInExportSettContainer(QTAtomContainer exportSett, TimeScale timeScale,
                                              Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  Flag parentFound(videoSettingsAtomFound), found(atomFound);
  *found = false;
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettVideoAtom, &*parentFound);
  if (parent == 0) return noErr;
  return WriteWordInPlace(exportSett, parent, kQT_ExportSettTimeScaleAtom, 0, UInt32(timeScale), &*found);
}

OSStatus QT_GetClassicalWidthFromExportSettContainer(QTAtomContainer exportSett, SInt32 *width,
                                                     Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  UInt32 fixed = 0;
  OSStatus err = GetNested32(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettClassicalWidthAtom, &fixed, true,
                             videoSettingsAtomFound, atomFound);
  if (width != nullptr) *width = Fix2Long(Fixed(fixed));
  return err;
}

OSStatus QT_SetClassicalWidthInxportSettContainer(QTAtomContainer exportSett, SInt32 width,
                                                  Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  return SetNested32(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettClassicalWidthAtom, UInt32(Long2Fix(width)),
                     videoSettingsAtomFound, atomFound);
}

OSStatus QT_GetClassicalHeightFromExportSettContainer(QTAtomContainer exportSett, SInt32 *height,
                                                      Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  UInt32 fixed = 0;
  OSStatus err = GetNested32(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettClassicalHeightAtom, &fixed, true,
                             videoSettingsAtomFound, atomFound);
  if (height != nullptr) *height = Fix2Long(Fixed(fixed));
  return err;
}

OSStatus QT_SetClassicalHeightInxportSettContainer(QTAtomContainer exportSett, SInt32 height,
                                                   Boolean *videoSettingsAtomFound, Boolean *atomFound) {
  return SetNested32(exportSett, kQT_ExportSettVideoAtom, kQT_ExportSettClassicalHeightAtom, UInt32(Long2Fix(height)),
                     videoSettingsAtomFound, atomFound);
}

OSStatus QT_GetWidthFromExportSettContainer(QTAtomContainer exportSett, SInt32 *width, Boolean *sizeAtomFound,
                                            Boolean *atomFound) {
  Flag parent(sizeAtomFound), found(atomFound);
  OSStatus err = QT_GetModernWidthFromExportSettContainer(exportSett, width, &*parent, &*found);
  if (err != noErr || *found) return err;
  return QT_GetClassicalWidthFromExportSettContainer(exportSett, width, &*parent, &*found);
}

OSStatus QT_GetHeightFromExportSettContainer(QTAtomContainer exportSett, SInt32 *height, Boolean *sizeAtomFound,
                                             Boolean *atomFound) {
  Flag parent(sizeAtomFound), found(atomFound);
  OSStatus err = QT_GetModernHeightFromExportSettContainer(exportSett, height, &*parent, &*found);
  if (err != noErr || *found) return err;
  return QT_GetClassicalHeightFromExportSettContainer(exportSett, height, &*parent, &*found);
}

OSStatus QT_SetWidthInExportSettContainer(QTAtomContainer exportSett, SInt32 width, Boolean *videoSettingsAtomFound,
                                          Boolean *atomFound) {
  Boolean sizeFound = false, modernFound = false;
  OSStatus err = SetNested32(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettWidthAtom, UInt32(width), &sizeFound,
                             &modernFound);
  if (err != noErr) return err;
  return QT_SetClassicalWidthInxportSettContainer(exportSett, width, videoSettingsAtomFound, atomFound);
}

OSStatus QT_SetHeightInExportSettContainer(QTAtomContainer exportSett, SInt32 height, Boolean *videoSettingsAtomFound,
                                           Boolean *atomFound) {
  Boolean sizeFound = false, modernFound = false;
  OSStatus err = SetNested32(exportSett, kQT_ExportSettSizeAtom, kQT_ExportSettHeightAtom, UInt32(height), &sizeFound,
                             &modernFound);
  if (err != noErr) return err;
  return QT_SetClassicalHeightInxportSettContainer(exportSett, height, videoSettingsAtomFound, atomFound);
}

// ---- Sound settings ----

OSStatus QT_GetSampleRateFromExportSettContainer(QTAtomContainer exportSett, UnsignedFixed *sampleRate,
                                                 Boolean *soundSettingsAtomFound, Boolean *atomFound) {
  Flag parentFound(soundSettingsAtomFound), found(atomFound);
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettSoundAtom, &*parentFound);
  UInt8 bytes[4];
  OSStatus err = ReadLeaf(exportSett, parent, kQT_ExportSettSampleRateAtom, bytes, 4, &*found);
  if (sampleRate != nullptr) *sampleRate = *found ? PL_GetBE32(bytes) : 0;
  return err;
}

OSStatus QT_SetSampleRateInExportSettContainer(QTAtomContainer exportSett, UnsignedFixed sampleRate,
                                               Boolean *soundSettingsAtomFound, Boolean *atomFound) {
  Flag parentFound(soundSettingsAtomFound), found(atomFound);
  QTAtom parent = ParentOrRoot(exportSett, kQT_ExportSettSoundAtom, &*parentFound);
  return WriteWordInPlace(exportSett, parent, kQT_ExportSettSampleRateAtom, 0, sampleRate, &*found);
}

OSStatus QT_GetSampleSizeFromExportSettContainer(QTAtomContainer exportSett, UInt16 *sampleSize,
                                                 Boolean *soundSettingsAtomFound, Boolean *atomFound) {
  return GetSound16(exportSett, kQT_ExportSettSampleSizeAtom, sampleSize, soundSettingsAtomFound, atomFound);
}

OSStatus QT_GetChannelCountFromExportSettContainer(QTAtomContainer exportSett, UInt16 *channelCount,
                                                   Boolean *soundSettingsAtomFound, Boolean *atomFound) {
  return GetSound16(exportSett, kQT_ExportSettChannelCountAtom, channelCount, soundSettingsAtomFound, atomFound);
}

OSStatus QT_GetSoundComprFromExportSettContainer(QTAtomContainer exportSett, OSType *soundCompr,
                                                 Boolean *soundSettingsAtomFound, Boolean *atomFound) {
  Flag parent(soundSettingsAtomFound), found(atomFound);
  UInt8 bytes[4];
  OSStatus err =
      ReadNested(exportSett, kQT_ExportSettSoundAtom, kQT_ExportSettSoundComprAtom, bytes, 4, &*parent, &*found);
  if (soundCompr != nullptr && *parent) *soundCompr = *found ? PL_GetBE32(bytes) : 0;
  return err;
}

// ---- Save options ----

OSStatus QT_GetFastStartFromExportSettContainer(QTAtomContainer exportSett, Boolean *fastStart,
                                                Boolean *saveOptionsAtomFound, Boolean *atomFound) {
  return GetSaveBoolean(exportSett, kQT_ExportSettFastStartAtom, fastStart, saveOptionsAtomFound, atomFound);
}

OSStatus QT_GetComprMovieHeaderFromExportSettContainer(QTAtomContainer exportSett, Boolean *comprMovieHeader,
                                                       Boolean *saveOptionsAtomFound, Boolean *atomFound) {
  return GetSaveBoolean(exportSett, kQT_ExportSettComprMovieHeaderAtom, comprMovieHeader, saveOptionsAtomFound,
                        atomFound);
}

// ---- Image sequences ----

OSStatus QT_GetImageSequenceExportSett(QTAtomContainer settings, OSType *fileType, Fixed *frameRate, Boolean *addSpace) {
  Boolean found = false, parentFound = false;
  UInt8 bytes[4];
  OSStatus err = ReadLeaf(settings, kParentAtomIsContainer, kQT_ExportSettFileTypeAtom, bytes, 4, &found);
  if (found && fileType != nullptr) *fileType = PL_GetBE32(bytes);
  err = ReadNested(settings, kQT_ExportSettTimeAtom, kQT_ExportSettFrameRateAtom, bytes, 4, &parentFound, &found);
  if (found && frameRate != nullptr) *frameRate = Fixed(PL_GetBE32(bytes));
  err = ReadLeaf(settings, kParentAtomIsContainer, kQT_ExportSettAddSpaceAtom, bytes, 1, &found);
  if (found && addSpace != nullptr) *addSpace = bytes[0] != 0;
  return err;
}

// ---- Grouped settings ----

OSStatus QT_GetDV_SettingsFromExportSettContainer(QTAtomContainer exportSett, QT_DV_ExportSettings *dvSett) {
  if (dvSett == nullptr) return paramErr;
  Boolean found = false;
  OSStatus err = QT_GetExportToPAL_FromExportSettContainer(exportSett, &dvSett->exportPAL, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_Get16x9_FromExportSettContainer(exportSett, &dvSett->is16x9, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_GetProgressiveFromExportSettContainer(exportSett, &dvSett->progressive, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_GetDVTypeFromExportSettContainer(exportSett, &dvSett->dvType, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_GetLockedAudioFromExportSettContainer(exportSett, &dvSett->lockedAudio, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err != noErr) return err;
  Boolean sizeFound = false;
  return QT_GetScalingModeFromExportSettContainer(exportSett, &dvSett->scalingMode, &sizeFound, &found);
}

OSStatus QT_SetDV_SettingsInExportSettContainer(QTAtomContainer exportSett, const QT_DV_ExportSettings *dvSett) {
  if (dvSett == nullptr) return paramErr;
  Boolean found = false;
  OSStatus err = QT_SetExportToPAL_InExportSettContainer(exportSett, dvSett->exportPAL, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_Set16x9_InExportSettContainer(exportSett, dvSett->is16x9, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_SetProgressiveInExportSettContainer(exportSett, dvSett->progressive, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_SetDVTypeInExportSettContainer(exportSett, dvSett->dvType, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err == noErr) err = QT_SetLockedAudioInExportSettContainer(exportSett, dvSett->lockedAudio, &found);
  if (err == noErr && !found) err = cannotFindAtomErr;
  if (err != noErr) return err;
  Boolean sizeFound = false;
  return QT_SetScalingModeInExportSettContainer(exportSett, dvSett->scalingMode, &sizeFound, &found);
}

namespace {

constexpr OSType kDVCompressorPropertyClass = 'dvco';
constexpr OSType kDVProgressiveProperty = 'prog';
constexpr OSType kDV16x9Property = '16x9';

}  // namespace

OSStatus QT_GetDV_SettingsAsProps(ComponentInstance ci, QT_DV_ExportSettings *dvSett) {
  if (dvSett == nullptr) return paramErr;
  Boolean value = false;
  ByteCount used = 0;
  OSStatus err = QTGetComponentProperty(ci, kDVCompressorPropertyClass, kDVProgressiveProperty, 1, &value, &used);
  if (err != noErr) return err;
  dvSett->progressive = value;
  err = QTGetComponentProperty(ci, kDVCompressorPropertyClass, kDV16x9Property, 1, &value, &used);
  if (err != noErr) return err;
  dvSett->is16x9 = value;
  return noErr;
}

OSStatus QT_SetDV_SettingsAsProps(ComponentInstance ci, const QT_DV_ExportSettings *dvSett) {
  if (dvSett == nullptr) return paramErr;
  Boolean progressive = dvSett->progressive ? 1 : 0, is16x9 = dvSett->is16x9 ? 1 : 0;
  OSStatus err = QTSetComponentProperty(ci, kDVCompressorPropertyClass, kDVProgressiveProperty, 1, &progressive);
  if (err == noErr) err = QTSetComponentProperty(ci, kDVCompressorPropertyClass, kDV16x9Property, 1, &is16x9);
  return err;
}

OSStatus DE_GetExportSizeSettingsFromExportSettContainer(QTAtomContainer exportSett, QT_ExportSizeSettings *sizeSett,
                                                         Boolean *isDV_Exporter) {
  if (sizeSett == nullptr) return paramErr;
  Boolean pal = false, parentFound = false, found = false;
  OSStatus err = QT_GetExportToPAL_FromExportSettContainer(exportSett, &pal, &found);
  if (isDV_Exporter != nullptr) *isDV_Exporter = found;
  if (err == noErr) err = QT_GetWidthFromExportSettContainer(exportSett, &sizeSett->width, &parentFound, &found);
  if (err == noErr) err = QT_GetHeightFromExportSettContainer(exportSett, &sizeSett->height, &parentFound, &found);
  if (err != noErr) return err;
  OSType mode = 0;
  err = QT_GetScalingModeFromExportSettContainer(exportSett, &mode, &parentFound, &found);
  if (err != noErr) return err;
  sizeSett->scalingMode = mode != 0 ? mode : OSType(kQT_ScalingModePixelsToPixels);
  sizeSett->useCodecEnfDims = false;
  err = QT_GetUseCodecEnfDimsFromExportSettContainer(exportSett, &sizeSett->useCodecEnfDims, &parentFound, &found);
  if (err != noErr) return err;
  sizeSett->deiSrc = false;
  err = QT_GetDeinterlaceFromExportSettContainer(exportSett, &sizeSett->deiSrc, &parentFound, &found);
  if (err == noErr) err = QT_GetClapFromExportSettContainer(exportSett, &sizeSett->clap, &parentFound, &found);
  if (err == noErr) err = QT_GetPaspFromExportSettContainer(exportSett, &sizeSett->pasp, &parentFound, &found);
  return err;
}

OSStatus DE_SetExportSizeSettingsInExportSettContainer(QTAtomContainer exportSett, Boolean *videoSettSizeAtomFound,
                                                       const QT_ExportSizeSettings *sizeSett) {
  if (sizeSett == nullptr) return paramErr;
  Flag sizeFound(videoSettSizeAtomFound);
  Boolean parentFound = false, found = false;
  OSStatus err = QT_SetWidthInExportSettContainer(exportSett, sizeSett->width, &parentFound, &found);
  if (err == noErr) err = QT_SetHeightInExportSettContainer(exportSett, sizeSett->height, &parentFound, &found);
  if (err == noErr)
    err = QT_SetScalingModeInExportSettContainer(exportSett, sizeSett->scalingMode, &*sizeFound, &found);
  if (err == noErr)
    err = QT_SetDeinterlaceInExportSettContainer(exportSett, sizeSett->deiSrc, &parentFound, &found);
  if (err == noErr) err = QT_SetPaspInExportSettContainer(exportSett, &sizeSett->pasp, &parentFound, &found);
  if (err == noErr) err = QT_SetClapInExportSettContainer(exportSett, &sizeSett->clap, &parentFound, &found);
  if (err == noErr)
    err = QT_SetUseCodecEnfDimsInExportSettContainer(exportSett, sizeSett->useCodecEnfDims, &parentFound, &found);
  return err;
}

// ---- Exporters ----

namespace {

// The first 'spit' component of the subtype and manufacturer (0: any), missing ones excluded.
Component FindExporter(OSType subType, OSType manufacturer) {
  ComponentDescription looking{MovieExportType, subType, manufacturer, 0, cmpIsMissing};
  return FindNextComponent(nullptr, &looking);
}

// The first exporter whose name is compName, missing ones excluded; "AIFF" counts only from manufacturer
// 'soun'. Null when there is none.
Component FindExporterByName(const char *compName) {
  ComponentDescription looking{MovieExportType, 0, 0, 0, cmpIsMissing};
  Handle name = NewHandle(0);
  if (name == nullptr) return nullptr;
  Component found = nullptr;
  for (Component c = FindNextComponent(nullptr, &looking); c != nullptr && found == nullptr;
       c = FindNextComponent(c, &looking)) {
    ComponentDescription cd{};
    if (GetComponentInfo(c, &cd, name, nullptr, nullptr) != noErr || GetHandleSize(name) < 1) continue;
    std::string text(*name + 1, std::min<size_t>(UInt8(**name), size_t(GetHandleSize(name) - 1)));
    if (text != compName) continue;
    if (text == "AIFF" && cd.componentManufacturer != 'soun') continue;
    found = c;
  }
  DisposeHandle(name);
  return found;
}

}  // namespace

// A fresh instance's settings are the exporter's defaults.
static OSStatus DefaultSettingsOfExporter(Component component, QTAtomContainer *settings) {
  ComponentInstance ci = nullptr;
  OSStatus err = OpenAComponent(component, &ci);
  if (err != noErr) return err;
  err = MovieExportGetSettingsAsAtomContainer(ci, settings);
  CloseComponent(ci);
  return err;
}

OSStatus QT_GetExportComponentDefaultSettByType(OSType subType, OSType manufacturer, QTAtomContainer *settings) {
  if (settings == nullptr) return paramErr;
  *settings = nullptr;
  Component component = FindExporter(subType, manufacturer);
  if (component == nullptr) return noCodecErr;
  return DefaultSettingsOfExporter(component, settings);
}

OSStatus QT_GetExportComponentDefaultSettByName(const char *compName, QTAtomContainer *settings) {
  if (compName == nullptr || settings == nullptr) return paramErr;
  *settings = nullptr;
  Component component = FindExporterByName(compName);
  if (component == nullptr) return noErr;
  return DefaultSettingsOfExporter(component, settings);
}

OSStatus QT_GetSettFromExportComponent(ComponentInstance ci, SCSpatialSettings *spatialSett,
                                       SCTemporalSettings *temporalSett, SCDataRateSettings *dataRateSett,
                                       Handle *codecSett) {
  if (codecSett != nullptr) *codecSett = nullptr;
  QTAtomContainer settings = nullptr;
  OSStatus err = MovieExportGetSettingsAsAtomContainer(ci, &settings);
  if (err != noErr) return err;
  ComponentInstance sc = nullptr;
  err = OpenADefaultComponent(StandardCompressionType, StandardCompressionSubType, &sc);
  if (err == noErr) err = SCSetSettingsFromAtomContainer(sc, settings);
  if (err == noErr && spatialSett != nullptr) err = SCGetInfo(sc, scSpatialSettingsType, spatialSett);
  if (err == noErr && temporalSett != nullptr) err = SCGetInfo(sc, scTemporalSettingsType, temporalSett);
  if (err == noErr && dataRateSett != nullptr) err = SCGetInfo(sc, scDataRateSettingsType, dataRateSett);
  if (err == noErr && codecSett != nullptr) {
    err = SCGetInfo(sc, scCodecSettingsType, codecSett);
    if (err == scTypeNotFoundErr) err = noErr;  // no codec settings: a null handle
  }
  if (sc != nullptr) CloseComponent(sc);
  QTDisposeAtomContainer(settings);
  return err;
}

Boolean QT_ExpCompCanOmitSound(const char *exportName) {
  if (exportName == nullptr) return false;
  for (OSType subType : {OSType('MooV'), OSType('VfW ')}) {
    Component component = FindExporter(subType, kAppleManufacturer);
    if (component == nullptr) continue;
    Handle name = NewHandle(0);
    if (name == nullptr) return false;
    bool same = GetComponentInfo(component, nullptr, name, nullptr, nullptr) == noErr &&
                std::string(*name + 1, size_t(UInt8(**name))) == exportName;
    DisposeHandle(name);
    if (same) return true;
  }
  return false;
}

OSStatus CA_EnableHighResolutionAudio(ComponentInstance ci) {
  const Boolean enable = 1;
  return QTSetComponentProperty(ci, kQTPropertyClass_MovieExporter,
                                kQTMovieExporterPropertyID_EnableHighResolutionAudioFeatures, sizeof(enable), &enable);
}

OSStatus QT_ExportFirstFiveSecOfSndUsingQTMovieExp(Movie movie) {
  if (movie == nullptr) return invalidMovie;
  Component component = FindExporter('MooV', kAppleManufacturer);
  if (component == nullptr) return kQT_NoComponentFoundErr;
  ComponentInstance ci = nullptr;
  OSStatus err = OpenAComponent(component, &ci);
  if (err != noErr) return err;
  // An exporter without the property, or without property calls at all, exports as it is.
  err = CA_EnableHighResolutionAudio(ci);
  if (err == kQTPropertyNotSupportedErr || err == badComponentSelector) err = noErr;
  QTAtomContainer settings = nullptr;
  if (err == noErr) err = MovieExportGetSettingsAsAtomContainer(ci, &settings);
  if (err == noErr) err = QT_EnableVideoCompression2(settings, false);
  if (err == noErr) err = MovieExportSetSettingsFromAtomContainer(ci, settings);
  if (settings != nullptr) QTDisposeAtomContainer(settings);
  FSRef file;
  bool haveFile = false;
  if (err == noErr) {
    err = GL_CreateTempFileRef(&file);
    haveFile = err == noErr;
  }
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (err == noErr) err = QTNewDataReferenceFromFSRef(&file, 0, &dataRef, &dataRefType);
  if (err == noErr) {
    SInt64 fiveSeconds = 5 * SInt64(GetMovieTimeScale(movie));
    TimeValue duration = TimeValue(std::min<SInt64>(fiveSeconds, GetMovieDuration(movie)));
    err = MovieExportToDataRef(ci, dataRef, dataRefType, movie, nullptr, 0, duration);
  }
  if (dataRef != nullptr) DisposeHandle(dataRef);
  CloseComponent(ci);
  if (haveFile) {
    OSStatus deleteErr = FSDeleteObject(&file);
    if (err == noErr && deleteErr != fnfErr) err = deleteErr;
  }
  return err;
}

// ---- Input movie ----

OSStatus QT_SetInSampleRateForExport(Movie inMovie, QTAtomContainer exportSett) {
  UInt32 hertz = 48000;
  Track sound = QT_GetFirstEnabledSoundTrack(inMovie);
  if (sound != nullptr) {
    Fixed rate = 0;
    OSStatus err = QT_GetSoundTrackSampleRate(sound, &rate);
    if (err != noErr) return err;
    // The rate is unsigned 16.16: 48000 Hz does not fit a signed Fixed.
    UInt32 whole = UInt32(rate) >> 16;
    if (whole == 48000 || whole == 44100 || whole == 32000) hertz = whole;
  }
  Boolean parentFound = false, found = false;
  return QT_SetSampleRateInExportSettContainer(exportSett, hertz << 16, &parentFound, &found);
}

OSStatus QT_CorrectPAL_SettingForDV_Stream(SInt32 height, QTAtomContainer videoExportSett) {
  Boolean pal = false, found = false;
  OSStatus err = QT_GetExportToPAL_FromExportSettContainer(videoExportSett, &pal, &found);
  if (err != noErr || !found) return err;
  if (height == 576 && !pal) return QT_SetExportToPAL_InExportSettContainer(videoExportSett, true, &found);
  if (height == 480 && pal) return QT_SetExportToPAL_InExportSettContainer(videoExportSett, false, &found);
  return noErr;
}

// ---- The 'mdat' size of an MPEG-4 file ----

namespace {

constexpr SInt32 kOpenTries = 11;
constexpr UInt32 kOpenRetryTicks = 10;
constexpr UInt64 kLargeMdat = 0x7FFFFFFF;

OSStatus ReadAt(SInt16 fork, SInt64 offset, void *bytes, ByteCount count) {
  ByteCount got = 0;
  OSStatus err = FSReadFork(fork, fsFromStart, offset, count, bytes, &got);
  if (err == noErr && got != count) err = eofErr;
  return err;
}

OSStatus WriteAt(SInt16 fork, SInt64 offset, const void *bytes, ByteCount count) {
  return FSWriteFork(fork, fsFromStart, offset, count, bytes, nullptr);
}

// Finds the first top-level 'mdat' by walking the atoms in front of it; *placeholder is the offset of an
// 8-byte 'wide', 'free' or 'skip' atom right in front of it (-1 when there is none). kQT_MdatHeaderErr when
// there is no 'mdat' or an atom before it does not hold together.
OSStatus FindFirstMdat(SInt16 fork, SInt64 forkSize, SInt64 *mdat, SInt64 *placeholder) {
  *placeholder = -1;
  SInt64 previous = -1;
  UInt64 previousSize = 0;
  OSType previousType = 0;
  for (SInt64 offset = 0; forkSize - offset >= 8;) {
    UInt8 header[16];
    OSStatus err = ReadAt(fork, offset, header, 8);
    if (err != noErr) return err;
    UInt64 size = PL_GetBE32(header);
    OSType type = PL_GetBE32(header + 4);
    if (type == 'mdat') {
      *mdat = offset;
      if (previous >= 0 && previousSize == 8 &&
          (previousType == 'wide' || previousType == 'free' || previousType == 'skip'))
        *placeholder = previous;
      return noErr;
    }
    UInt64 headerSize = 8;
    if (size == 1) {
      if (forkSize - offset < 16) return kQT_MdatHeaderErr;
      err = ReadAt(fork, offset + 8, header + 8, 8);
      if (err != noErr) return err;
      size = PL_GetBE64(header + 8);
      headerSize = 16;
    }
    // An atom that runs to the end (size 0) or does not fit leaves no 'mdat' to find behind it.
    if (size < headerSize || size > UInt64(forkSize - offset)) return kQT_MdatHeaderErr;
    previous = offset;
    previousSize = size;
    previousType = type;
    offset += SInt64(size);
  }
  return kQT_MdatHeaderErr;
}

OSStatus FixMdat(SInt16 fork) {
  SInt64 forkSize = 0;
  OSStatus err = FSGetForkSize(fork, &forkSize);
  if (err != noErr) return err;
  SInt64 start = 0, placeholder = -1;
  err = FindFirstMdat(fork, forkSize, &start, &placeholder);
  if (err != noErr) return err;
  UInt64 tail = UInt64(forkSize - start);
  UInt8 header[16];
  err = ReadAt(fork, start, header, 8);
  if (err != noErr) return err;
  UInt64 size32 = PL_GetBE32(header);
  if (size32 == 0) return noErr;  // runs to the end of the file by definition
  if (size32 == 1) {
    // Already the 64-bit form: only its 64-bit size field can be wrong.
    if (tail < 16) return kQT_MdatHeaderErr;
    err = ReadAt(fork, start + 8, header + 8, 8);
    if (err != noErr) return err;
    UInt64 size64 = PL_GetBE64(header + 8);
    if (size64 == tail) return noErr;
    PL_PutBE64(header + 8, tail);
    err = WriteAt(fork, start + 8, header + 8, 8);
    if (err != noErr) return err;
    std::printf("Orl Weftline: correcting mpg4 file: changed size in second mdat from %lld to %lld\n",
                (long long)size64, (long long)tail);
    return kQT_MdatHeaderErr;
  }
  if (size32 == tail) return noErr;
  if (tail < kLargeMdat) {
    PL_PutBE32(header, UInt32(tail));
    err = WriteAt(fork, start, header, 4);
    if (err != noErr) return err;
    std::printf("Orl Weftline: correcting mpg4 file: changed size in first mdat from %ld to %lld\n", (long)size32,
                (long long)tail);
    return kQT_MdatHeaderErr;
  }
  // Too large for 32 bits: the 64-bit form needs the 8 bytes of a placeholder atom in front; without one
  // the header cannot grow without moving media data, so the file is left as it is.
  if (placeholder < 0) return kQT_MdatHeaderErr;
  err = QT_SetFileSizeInMdatHeaderAtMark(fork, placeholder);
  if (err != noErr) return err;
  std::printf("Orl Weftline: correcting mpg4 file: changed size in second mdat from %lld to %lld\n",
              (long long)size32, (long long)(tail + 8));
  return kQT_MdatHeaderErr;
}

}  // namespace

OSStatus QT_FixMpg4Mdat(const FSRef *targetFile) {
  if (targetFile == nullptr) return paramErr;
  SInt16 fork = 0;
  OSStatus err = noErr;
  for (SInt32 attempt = 1; attempt <= kOpenTries; ++attempt) {
    err = FSOpenFork(targetFile, 0, nullptr, fsRdWrPerm, &fork);
    if (err != fBsyErr && err != opWrErr && err != wrPermErr) break;
    UInt32 finalTicks = 0;
    if (attempt < kOpenTries) Delay(kOpenRetryTicks, &finalTicks);
  }
  if (err != noErr) return err;
  err = FixMdat(fork);
  OSStatus closeErr = FSCloseFork(fork);
  return err != noErr ? err : closeErr;
}
