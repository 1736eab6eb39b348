// The exporters' settings dialogs.
#include "dialog/export_settings_dialog.h"

#include "movie/export_settings.h"
#include "platform/core/mac_errors.h"
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"
#include "platform/ui/settings_form.h"

#include <string>
#include <vector>

namespace {

struct Choice {
  OSType code;
  const char *name;
};
const Choice kMovieCodecs[] = {{'2vuy', "Uncompressed 4:2:2"}, {'mjpa', "Motion JPEG A"}, {'jpeg', "Photo JPEG"},
                               {'dvc ', "DV"}};
const Choice kMpeg4Codecs[] = {{'avc1', "H.264"}, {'mp4v', "MPEG-4 Part 2"}};
const Choice kDvTypes[] = {{'dvc ', "DV"}, {'dvcp', "DV (PAL)"}, {'dvpp', "DVCPRO"}, {'dv5n', "DVCPRO50 (NTSC)"},
                           {'dv5p', "DVCPRO50 (PAL)"}};

template <size_t N>
PL_FormField ChoiceField(const char *label, const Choice (&choices)[N], OSType current) {
  PL_FormField field{label, kPL_FormChoice, {}, 1, 0, 0};
  for (size_t i = 0; i < N; ++i) {
    field.choices.push_back(choices[i].name);
    if (choices[i].code == current) field.value = SInt32(i + 1);
  }
  return field;
}

template <size_t N>
OSType ChosenCode(const PL_FormField &field, const Choice (&choices)[N]) {
  return field.value >= 1 && size_t(field.value) <= N ? choices[field.value - 1].code : choices[0].code;
}

PL_FormField CheckField(const char *label, Boolean on) { return PL_FormField{label, kPL_FormCheck, {}, on ? 1 : 0, 0, 1}; }

// The video codec of the settings' 'vide' atom.
OSErr SetVideoCodec(QTAtomContainer settings, CodecType codec) {
  SCSpatialSettings spatial{};
  Boolean video = false, found = false;
  OSErr err = OSErr(QT_GetSpatialSettingsFromExportSettContainer(settings, &spatial, &video, &found));
  if (err != noErr) return err;
  spatial.codecType = codec;
  return OSErr(QT_SetSpatialSettingsInExportSettContainer(settings, &spatial, &video, &found));
}

// The data rate (bytes per second, the first word of 'tdrt' in 'vide'); the atom is made when missing.
OSErr SetDataRate(QTAtomContainer settings, SInt32 bytesPerSecond) {
  const QTAtom video = QTFindChildByID(settings, kParentAtomIsContainer, 'vide', 1, nullptr);
  if (video == 0) return noErr;
  const UInt8 rate[16] = {UInt8(bytesPerSecond >> 24), UInt8(bytesPerSecond >> 16), UInt8(bytesPerSecond >> 8),
                          UInt8(bytesPerSecond)};
  const QTAtom atom = QTFindChildByID(settings, video, 'tdrt', 1, nullptr);
  if (atom == 0) return QTInsertChild(settings, video, 'tdrt', 1, 0, sizeof rate, rate, nullptr);
  SInt32 size = 0;
  Ptr data = nullptr;
  OSErr err = QTGetAtomDataPtr(settings, atom, &size, &data);
  if (err != noErr) return err;
  std::vector<UInt8> bytes(data, data + size);
  if (bytes.size() < 4) bytes.resize(16);
  std::copy(rate, rate + 4, bytes.begin());
  return QTSetAtomData(settings, atom, SInt32(bytes.size()), bytes.data());
}

OSErr MovieDialog(const char *name, QTAtomContainer settings, Boolean *canceled) {
  SCSpatialSettings spatial{};
  Boolean video = false, found = false;
  QT_GetSpatialSettingsFromExportSettContainer(settings, &spatial, &video, &found);
  std::vector<PL_FormField> fields{ChoiceField("Video codec:", kMovieCodecs, spatial.codecType)};
  OSErr err = OSErr(PL_RunSettingsForm(name, &fields, canceled));
  if (err != noErr || *canceled) return err;
  return SetVideoCodec(settings, ChosenCode(fields[0], kMovieCodecs));
}

OSErr DvDialog(const char *name, QTAtomContainer settings, Boolean *canceled) {
  Boolean pal = false, wide = false, progressive = false, locked = false, found = false, typeFound = false;
  QT_GetExportToPAL_FromExportSettContainer(settings, &pal, &found);
  QT_Get16x9_FromExportSettContainer(settings, &wide, &found);
  QT_GetProgressiveFromExportSettContainer(settings, &progressive, &found);
  QT_GetLockedAudioFromExportSettContainer(settings, &locked, &found);
  OSType dvType = 0;
  QT_GetDVTypeFromExportSettContainer(settings, &dvType, &typeFound);
  std::vector<PL_FormField> fields{
      PL_FormField{"Television system:", kPL_FormChoice, {"PAL", "NTSC"}, pal ? 1 : 2, 0, 0},
      PL_FormField{"Picture shape:", kPL_FormChoice, {"4:3", "16:9"}, wide ? 2 : 1, 0, 0},
      CheckField("Progressive frames", progressive), CheckField("Sound locked to the frames", locked)};
  if (typeFound) fields.push_back(ChoiceField("DV type:", kDvTypes, dvType));
  OSErr err = OSErr(PL_RunSettingsForm(name, &fields, canceled));
  if (err != noErr || *canceled) return err;
  if (err == noErr) err = OSErr(QT_SetExportToPAL_InExportSettContainer(settings, fields[0].value == 1, &found));
  if (err == noErr) err = OSErr(QT_Set16x9_InExportSettContainer(settings, fields[1].value == 2, &found));
  if (err == noErr) err = OSErr(QT_SetProgressiveInExportSettContainer(settings, fields[2].value != 0, &found));
  if (err == noErr) err = OSErr(QT_SetLockedAudioInExportSettContainer(settings, fields[3].value != 0, &found));
  if (err == noErr && typeFound)
    err = OSErr(QT_SetDVTypeInExportSettContainer(settings, ChosenCode(fields[4], kDvTypes), &found));
  return err;
}

OSErr Mpeg4Dialog(const char *name, QTAtomContainer settings, Boolean *canceled) {
  SCSpatialSettings spatial{};
  Boolean video = false, found = false;
  QT_GetSpatialSettingsFromExportSettContainer(settings, &spatial, &video, &found);
  SInt32 dataRate = 0;
  QT_GetDataRateFromExportSettContainer(settings, &dataRate, &found);
  std::vector<PL_FormField> fields{ChoiceField("Video codec:", kMpeg4Codecs, spatial.codecType),
                                   PL_FormField{"Bit rate (kbit/s, 0: by quality):", kPL_FormNumber, {},
                                                dataRate * 8 / 1000, 0, 100000}};
  OSErr err = OSErr(PL_RunSettingsForm(name, &fields, canceled));
  if (err != noErr || *canceled) return err;
  err = SetVideoCodec(settings, ChosenCode(fields[0], kMpeg4Codecs));
  if (err == noErr) err = SetDataRate(settings, fields[1].value * 1000 / 8);
  return err;
}

}  // namespace

OSErr BZ_ExportSettingsDialog(OSType subType, const char *name, Movie, QTAtomContainer settings, Boolean *canceled) {
  if (settings == nullptr || canceled == nullptr) return paramErr;
  *canceled = false;
  const char *title = name != nullptr ? name : "";
  switch (subType) {
    case 'MooV': return MovieDialog(title, settings, canceled);
    case kQTFileTypeDVC: return DvDialog(title, settings, canceled);
    case kQTFileTypeMP4: return Mpeg4Dialog(title, settings, canceled);
    default:
      // No dialog for this exporter: as when the user cancels.
      *canceled = true;
      return noErr;
  }
}
