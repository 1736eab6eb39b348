// Standard image compression.
#include "platform/movie/standard_compression.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/standard_audio_compression.h"

#include <cstdint>
#include <cstring>

namespace {

struct Settings {
  SCSpatialSettings spatial{0, anyCodec, 0, codecNormalQuality};
  SCTemporalSettings temporal{codecNormalQuality, 0, 0};
  SCDataRateSettings dataRate{0, 0, 0, 0};
  Handle codecSettings = nullptr;
};

// The image component's settings; NULL for the audio component, which shares the component type.
Settings *SettingsOf(ComponentInstance ci) {
  if (PL_IsStandardAudioCompression(ci)) return nullptr;
  return static_cast<Settings *>(PL_GetComponentInstanceStorage(ci, StandardCompressionType));
}

OSErr Open(const void *, void **storage) {
  *storage = new Settings;
  return noErr;
}

void Close(void *storage) {
  auto *s = static_cast<Settings *>(storage);
  if (s->codecSettings != nullptr) DisposeHandle(s->codecSettings);
  delete s;
}

const PL_ComponentFuncs kFuncs = {Open, Close, nullptr, 0, nullptr, nullptr, nullptr};

CodecComponent CodecFromWord(UInt32 word) { return reinterpret_cast<CodecComponent>(static_cast<intptr_t>(SInt32(word))); }
UInt32 CodecToWord(CodecComponent codec) { return UInt32(reinterpret_cast<intptr_t>(codec)); }

// A copy of a handle's bytes (null for null).
OSErr CopyHandle(Handle source, Handle *copy) {
  *copy = nullptr;
  if (source == nullptr) return noErr;
  Handle h = source;
  OSErr err = HandToHand(&h);
  if (err == noErr) *copy = h;
  return err;
}

// The data of the first child of `type` under `parent`; false when there is none.
bool Leaf(QTAtomContainer c, QTAtom parent, OSType type, const UInt8 **data, SInt32 *size) {
  QTAtom atom = QTFindChildByIndex(c, parent, type, 1, nullptr);
  Ptr p = nullptr;
  if (atom == 0 || QTGetAtomDataPtr(c, atom, size, &p) != noErr) return false;
  *data = reinterpret_cast<const UInt8 *>(p);
  return true;
}

}  // namespace

void PL_RegisterStandardCompression() {
  PL_ComponentDefinition definition{
      {StandardCompressionType, StandardCompressionSubType, 'appl', 0, 0}, "Standard Image Compression", "", &kFuncs,
      nullptr};
  PL_RegisterComponent(&definition, nullptr);
}

ComponentResult SCGetInfo(ComponentInstance ci, OSType infoType, void *info) {
  Settings *s = SettingsOf(ci);
  if (s == nullptr) return badComponentInstance;
  if (info == nullptr) return paramErr;
  switch (infoType) {
    case scSpatialSettingsType: *static_cast<SCSpatialSettings *>(info) = s->spatial; return noErr;
    case scTemporalSettingsType: *static_cast<SCTemporalSettings *>(info) = s->temporal; return noErr;
    case scDataRateSettingsType: *static_cast<SCDataRateSettings *>(info) = s->dataRate; return noErr;
    case scCodecSettingsType: {
      Handle *out = static_cast<Handle *>(info);
      *out = nullptr;
      if (s->codecSettings == nullptr) return scTypeNotFoundErr;
      return CopyHandle(s->codecSettings, out);
    }
    default: return scTypeNotFoundErr;
  }
}

ComponentResult SCSetInfo(ComponentInstance ci, OSType infoType, void *info) {
  Settings *s = SettingsOf(ci);
  if (s == nullptr) return badComponentInstance;
  if (info == nullptr) return paramErr;
  switch (infoType) {
    case scSpatialSettingsType: s->spatial = *static_cast<const SCSpatialSettings *>(info); return noErr;
    case scTemporalSettingsType: s->temporal = *static_cast<const SCTemporalSettings *>(info); return noErr;
    case scDataRateSettingsType: s->dataRate = *static_cast<const SCDataRateSettings *>(info); return noErr;
    case scCodecSettingsType: {
      Handle copy = nullptr;
      OSErr err = CopyHandle(*static_cast<Handle *>(info), &copy);
      if (err != noErr) return err;
      if (s->codecSettings != nullptr) DisposeHandle(s->codecSettings);
      s->codecSettings = copy;
      return noErr;
    }
    default: return scTypeNotFoundErr;
  }
}

ComponentResult SCSetSettingsFromAtomContainer(ComponentInstance ci, QTAtomContainer settings) {
  if (PL_IsStandardAudioCompression(ci)) return PL_SCAudioSetSettingsFromAtomContainer(ci, settings);
  Settings *s = SettingsOf(ci);
  if (s == nullptr) return badComponentInstance;
  OSErr err = PL_CheckAtomContainer(settings);
  if (err != noErr) return err;
  // The records sit at the root, or under 'vide' in a movie exporter's settings.
  QTAtom parent = kParentAtomIsContainer;
  if (QTCountChildrenOfType(settings, parent, scSpatialSettingsType) == 0) {
    QTAtom video = QTFindChildByIndex(settings, parent, 'vide', 1, nullptr);
    if (video != 0) parent = video;
  }
  Settings next = *s;
  next.codecSettings = nullptr;
  const UInt8 *d = nullptr;
  SInt32 size = 0;
  if (Leaf(settings, parent, scSpatialSettingsType, &d, &size)) {
    if (size < 14) return paramErr;
    next.spatial = {PL_GetBE32(d), CodecFromWord(PL_GetBE32(d + 4)), SInt16(PL_GetBE16(d + 8)), PL_GetBE32(d + 10)};
  }
  if (Leaf(settings, parent, scTemporalSettingsType, &d, &size)) {
    if (size < 12) return paramErr;
    next.temporal = {PL_GetBE32(d), Fixed(PL_GetBE32(d + 4)), SInt32(PL_GetBE32(d + 8))};
  }
  if (Leaf(settings, parent, scDataRateSettingsType, &d, &size)) {
    if (size < 16) return paramErr;
    next.dataRate = {SInt32(PL_GetBE32(d)), SInt32(PL_GetBE32(d + 4)), PL_GetBE32(d + 8), PL_GetBE32(d + 12)};
  }
  bool haveCodecSettings = Leaf(settings, parent, scCodecSettingsType, &d, &size);
  if (haveCodecSettings) {
    err = PtrToHand(d, &next.codecSettings, size);
    if (err != noErr) return err;
  }
  Handle old = s->codecSettings;
  *s = next;
  if (haveCodecSettings) {
    if (old != nullptr) DisposeHandle(old);
  } else {
    s->codecSettings = old;
  }
  return noErr;
}

ComponentResult SCGetSettingsAsAtomContainer(ComponentInstance ci, QTAtomContainer *settings) {
  if (PL_IsStandardAudioCompression(ci)) return PL_SCAudioGetSettingsAsAtomContainer(ci, settings);
  if (settings == nullptr) return paramErr;
  *settings = nullptr;
  Settings *s = SettingsOf(ci);
  if (s == nullptr) return badComponentInstance;
  QTAtomContainer c = nullptr;
  OSErr err = QTNewAtomContainer(&c);
  if (err != noErr) return err;
  UInt8 spatial[14], temporal[12], dataRate[16];
  PL_PutBE32(spatial, s->spatial.codecType);
  PL_PutBE32(spatial + 4, CodecToWord(s->spatial.codec));
  PL_PutBE16(spatial + 8, UInt16(s->spatial.depth));
  PL_PutBE32(spatial + 10, s->spatial.spatialQuality);
  PL_PutBE32(temporal, s->temporal.temporalQuality);
  PL_PutBE32(temporal + 4, UInt32(s->temporal.frameRate));
  PL_PutBE32(temporal + 8, UInt32(s->temporal.keyFrameRate));
  PL_PutBE32(dataRate, UInt32(s->dataRate.dataRate));
  PL_PutBE32(dataRate + 4, UInt32(s->dataRate.frameDuration));
  PL_PutBE32(dataRate + 8, s->dataRate.minSpatialQuality);
  PL_PutBE32(dataRate + 12, s->dataRate.minTemporalQuality);
  err = QTInsertChild(c, kParentAtomIsContainer, scSpatialSettingsType, 1, 0, sizeof(spatial), spatial, nullptr);
  if (err == noErr)
    err = QTInsertChild(c, kParentAtomIsContainer, scTemporalSettingsType, 1, 0, sizeof(temporal), temporal, nullptr);
  if (err == noErr)
    err = QTInsertChild(c, kParentAtomIsContainer, scDataRateSettingsType, 1, 0, sizeof(dataRate), dataRate, nullptr);
  if (err == noErr && s->codecSettings != nullptr)
    err = QTInsertChild(c, kParentAtomIsContainer, scCodecSettingsType, 1, 0, SInt32(GetHandleSize(s->codecSettings)),
                        *s->codecSettings, nullptr);
  if (err != noErr) {
    QTDisposeAtomContainer(c);
    return err;
  }
  *settings = c;
  return noErr;
}

// There is no settings dialog below the toolkit, for either component.
ComponentResult SCRequestImageSettings(ComponentInstance ci) {
  return SettingsOf(ci) != nullptr || PL_IsStandardAudioCompression(ci) ? ComponentResult(badComponentSelector)
                                                                         : ComponentResult(badComponentInstance);
}
