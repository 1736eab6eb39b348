// Movie exporters.
#include "platform/movie/exporters.h"

#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_export_jobs.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cstring>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct ExporterSpec;

// An open exporter.
struct ExporterInstance {
  const ExporterSpec *spec;
  QTAtomContainer settings;
  MovieProgressUPP progress;
  SRefCon progressRefCon;
  Boolean highResolutionAudio;
  std::vector<PL_ExportDataSource> sources;  // of the export from procedures
};

struct ExporterSpec {
  OSType subType;
  const char *name;
  OSType extension;
  OSErr (*makeDefaults)(QTAtomContainer settings);
  OSErr (*exportMovie)(const PL_ExportRequest &request);
  OSErr (*exportFromProcedures)(const PL_ExportRequest &request);  // null: not implemented
  OSType manufacturer = kAppleManufacturer;
  bool takesVideo = true;  // its source list names video (and sound) or sound only
};

std::atomic<PL_MovieExportDialogProc> gDialogProc{nullptr};

// ---- Default settings ----

OSErr Leaf(QTAtomContainer c, QTAtom parent, OSType type, const void *data, SInt32 size) {
  return QTInsertChild(c, parent, type, 1, 0, size, data, nullptr);
}
OSErr Leaf8(QTAtomContainer c, QTAtom parent, OSType type, UInt8 value) { return Leaf(c, parent, type, &value, 1); }
OSErr Leaf16(QTAtomContainer c, QTAtom parent, OSType type, UInt16 value) {
  UInt8 b[2];
  PL_PutBE16(b, value);
  return Leaf(c, parent, type, b, 2);
}
OSErr Leaf32(QTAtomContainer c, QTAtom parent, OSType type, UInt32 value) {
  UInt8 b[4];
  PL_PutBE32(b, value);
  return Leaf(c, parent, type, b, 4);
}
// A container atom at the root; found again by type after each insertion, since atoms move.
QTAtom Parent(QTAtomContainer c, OSType type) { return QTFindChildByIndex(c, kParentAtomIsContainer, type, 1, nullptr); }

OSErr VideoDefaults(QTAtomContainer c, OSType codecType, UInt32 keyFrameRate) {
  OSErr err = QTInsertChild(c, kParentAtomIsContainer, 'vide', 1, 0, 0, nullptr, nullptr);
  UInt8 spatial[14];
  PL_PutBE32(spatial, codecType);
  PL_PutBE32(spatial + 4, 0);                // any codec of the type
  PL_PutBE16(spatial + 8, 24);               // depth
  PL_PutBE32(spatial + 10, 0x200);           // normal quality
  if (err == noErr) err = Leaf(c, Parent(c, 'vide'), 'sptl', spatial, sizeof(spatial));
  UInt8 temporal[12];
  PL_PutBE32(temporal, 0x200);
  PL_PutBE32(temporal + 4, 0);               // frame rate 0: the movie's own
  PL_PutBE32(temporal + 8, keyFrameRate);
  if (err == noErr) err = Leaf(c, Parent(c, 'vide'), 'tprl', temporal, sizeof(temporal));
  UInt8 dataRate[16] = {};
  if (err == noErr) err = Leaf(c, Parent(c, 'vide'), 'drat', dataRate, sizeof(dataRate));
  if (err == noErr) err = Leaf32(c, Parent(c, 'vide'), 'tdrt', 0);  // 0: the encoder's choice
  return err;
}

OSErr SoundDefaults(QTAtomContainer c, UInt32 sampleRate, OSType compression) {
  OSErr err = QTInsertChild(c, kParentAtomIsContainer, 'soun', 1, 0, 0, nullptr, nullptr);
  if (err == noErr) err = Leaf32(c, Parent(c, 'soun'), 'ssrt', sampleRate << 16);
  if (err == noErr) err = Leaf16(c, Parent(c, 'soun'), 'ssss', 16);
  if (err == noErr) err = Leaf16(c, Parent(c, 'soun'), 'sscc', 2);
  if (err == noErr) err = Leaf32(c, Parent(c, 'soun'), 'ssct', compression);
  return err;
}

OSErr SizeDefaults(QTAtomContainer c) {
  OSErr err = QTInsertChild(c, kParentAtomIsContainer, 'isiz', 1, 0, 0, nullptr, nullptr);
  if (err == noErr) err = Leaf32(c, Parent(c, 'isiz'), 'iwdt', 0);  // 0: the movie's own size
  if (err == noErr) err = Leaf32(c, Parent(c, 'isiz'), 'ihgt', 0);
  if (err == noErr) err = Leaf32(c, Parent(c, 'isiz'), 'scam', 0);  // pixels to pixels
  if (err == noErr) err = Leaf8(c, Parent(c, 'isiz'), 'dint', 0);
  if (err == noErr) err = Leaf8(c, Parent(c, 'isiz'), 'uenf', 0);
  return err;
}

OSErr SaveDefaults(QTAtomContainer c, UInt8 fastStart) {
  OSErr err = QTInsertChild(c, kParentAtomIsContainer, 'save', 1, 0, 0, nullptr, nullptr);
  if (err == noErr) err = Leaf8(c, Parent(c, 'save'), 'fast', fastStart);
  if (err == noErr) err = Leaf8(c, Parent(c, 'save'), 'cmpm', 0);
  return err;
}

// The movie is copied as it is: no recompression of video or sound.
OSErr MovieDefaults(QTAtomContainer c) {
  OSErr err = Leaf8(c, kParentAtomIsContainer, 'envi', 0);
  if (err == noErr) err = Leaf8(c, kParentAtomIsContainer, 'enso', 0);
  if (err == noErr) err = VideoDefaults(c, 0, 0);
  if (err == noErr) err = SoundDefaults(c, 0, 0);
  if (err == noErr) err = SaveDefaults(c, 0);
  return err;
}

OSErr NoDefaults(QTAtomContainer) { return noErr; }

// PAL, 4:3, interlaced, locked audio at 48 kHz, plain DV.
OSErr DVDefaults(QTAtomContainer c) {
  OSErr err = Leaf8(c, kParentAtomIsContainer, 'dvcv', 0);
  if (err == noErr) err = Leaf8(c, kParentAtomIsContainer, '16x9', 0);
  if (err == noErr) err = Leaf8(c, kParentAtomIsContainer, 'prog', 0);
  if (err == noErr) err = Leaf8(c, kParentAtomIsContainer, 'lock', 1);
  if (err == noErr) err = Leaf32(c, kParentAtomIsContainer, 'dvcf', 'dv  ');
  if (err == noErr) err = Leaf32(c, kParentAtomIsContainer, 'scam', 0);
  if (err == noErr) err = Leaf32(c, kParentAtomIsContainer, 'ssrt', 48000u << 16);
  return err;
}

// H.264 (when its encoder is there) at the movie's size and rate, AAC stereo at 48 kHz.
OSErr MPEG4Defaults(QTAtomContainer c) {
  OSErr err = Leaf8(c, kParentAtomIsContainer, 'envi', 1);
  if (err == noErr) err = Leaf8(c, kParentAtomIsContainer, 'enso', 1);
  if (err == noErr) err = VideoDefaults(c, PL_ExportH264Available() ? 'avc1' : 'mp4v', 24);
  if (err == noErr) err = SoundDefaults(c, 48000, 'aac ');
  if (err == noErr) err = SizeDefaults(c);
  if (err == noErr) err = SaveDefaults(c, 1);
  return err;
}

const ExporterSpec kExporters[] = {
    {'MooV', "QuickTime Movie", 'mov ', MovieDefaults, PL_ExportQuickTimeMovie, nullptr},
    {kQTFileTypeDVC, "DV Stream", 'dv  ', DVDefaults, PL_ExportDVStream, nullptr},
    {kQTFileTypeMP4, "MPEG-4", 'mp4 ', MPEG4Defaults, PL_ExportMPEG4, nullptr},
    // Sound only: its source list names no video, so the video export menu leaves it out.
    {kQTFileTypeAIFF, "AIFF", 'AIFF', NoDefaults, PL_ExportAIFF, PL_ExportAIFFFromProcedures, kSoundManufacturer,
     false},
};

// ---- Component functions ----

OSErr Open(const void *refCon, void **storage) {
  const auto *spec = static_cast<const ExporterSpec *>(refCon);
  QTAtomContainer settings = nullptr;
  OSErr err = QTNewAtomContainer(&settings);
  if (err == noErr) err = spec->makeDefaults(settings);
  if (err != noErr) {
    QTDisposeAtomContainer(settings);
    return err;
  }
  *storage = new ExporterInstance{spec, settings, nullptr, nullptr, false, {}};
  return noErr;
}

void Close(void *storage) {
  auto *exporter = static_cast<ExporterInstance *>(storage);
  QTDisposeAtomContainer(exporter->settings);
  delete exporter;
}

bool IsHighResolutionAudio(QTPropertyClass propClass, QTPropertyID propID) {
  return propClass == kQTPropertyClass_MovieExporter &&
         propID == kQTMovieExporterPropertyID_EnableHighResolutionAudioFeatures;
}

ComponentResult GetPropertyInfo(void *, QTPropertyClass propClass, QTPropertyID propID, OSType *type, ByteCount *size,
                      ComponentPropertyFlags *flags) {
  if (!IsHighResolutionAudio(propClass, propID)) return kQTPropertyNotSupportedErr;
  if (type != nullptr) *type = 'bool';
  if (size != nullptr) *size = 1;
  if (flags != nullptr) *flags = 3;  // can get and set
  return noErr;
}

ComponentResult GetProperty(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size, void *value,
                  ByteCount *sizeUsed) {
  if (!IsHighResolutionAudio(propClass, propID)) return kQTPropertyNotSupportedErr;
  if (size < 1 || value == nullptr) return kQTPropertyBadValueSizeErr;
  *static_cast<Boolean *>(value) = static_cast<ExporterInstance *>(storage)->highResolutionAudio;
  if (sizeUsed != nullptr) *sizeUsed = 1;
  return noErr;
}

ComponentResult SetProperty(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size, const void *value) {
  if (!IsHighResolutionAudio(propClass, propID)) return kQTPropertyNotSupportedErr;
  if (size != 1 || value == nullptr) return kQTPropertyBadValueSizeErr;
  static_cast<ExporterInstance *>(storage)->highResolutionAudio = *static_cast<const Boolean *>(value) != 0;
  return noErr;
}

const SInt16 kSelectors[] = {kMovieExportSetSettingsFromAtomContainerSelect, kMovieExportGetFileNameExtensionSelect};
const PL_ComponentFuncs kFuncs = {Open,        Close,      kSelectors, sizeof(kSelectors) / sizeof(kSelectors[0]),
                                  GetPropertyInfo, GetProperty, SetProperty};

// Only instances of the exporters defined here carry an ExporterInstance: another module may register
// 'spit' components of its own, whose storage must not be read as ours.
ExporterInstance *InstanceOf(MovieExportComponent ci) {
  const void *refCon = PL_GetComponentRefCon(PL_GetComponentOfInstance(ci));
  bool ours = false;
  for (const ExporterSpec &spec : kExporters) ours = ours || refCon == &spec;
  if (!ours) return nullptr;
  return static_cast<ExporterInstance *>(PL_GetComponentInstanceStorage(ci, MovieExportType));
}

// The source list: video and sound, or sound only, each taken when present.
std::vector<UInt8> SourceList(bool video) {
  const OSType types[] = {'vide', 'soun'};
  const size_t first = video ? 0 : 1, count = 2 - first;
  std::vector<UInt8> bytes(8 + 12 * count, 0);
  PL_PutBE32(bytes.data(), UInt32(count));
  for (size_t i = 0; i < count; ++i) {
    UInt8 *entry = bytes.data() + 8 + 12 * i;
    PL_PutBE32(entry, types[first + i]);
    PL_PutBE16(entry + 4, 0);
    PL_PutBE16(entry + 6, 1);
    PL_PutBE32(entry + 8, kPL_SourceIsRequiredFlag);
  }
  return bytes;
}

}  // namespace

void PL_RegisterMovieExporters() {
  for (const ExporterSpec &spec : kExporters) {
    const std::vector<UInt8> sources = SourceList(spec.takesVideo);
    PL_ComponentDefinition definition{
        {MovieExportType, spec.subType, spec.manufacturer, canMovieExportFiles | canMovieExportFromProcedures, 0},
        spec.name,
        spec.name,
        &kFuncs,
        &spec};
    Component component = nullptr;
    if (PL_RegisterComponent(&definition, &component) == noErr)
      PL_AddComponentPublicResource(component, 'src#', 1, sources.data(), Size(sources.size()));
  }
}

void PL_SetMovieExportDialogProc(PL_MovieExportDialogProc proc) { gDialogProc.store(proc); }

ComponentResult MovieExportGetSettingsAsAtomContainer(MovieExportComponent ci, QTAtomContainer *settings) {
  if (settings == nullptr) return paramErr;
  *settings = nullptr;
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  Handle copy = exporter->settings;
  OSErr err = HandToHand(&copy);
  if (err != noErr) return err;
  *settings = copy;
  return noErr;
}

ComponentResult MovieExportSetSettingsFromAtomContainer(MovieExportComponent ci, QTAtomContainer settings) {
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  OSErr err = PL_CheckAtomContainer(settings);
  if (err != noErr) return err;
  Handle copy = settings;
  err = HandToHand(&copy);
  if (err != noErr) return err;
  // A container saved while locked must not refuse the exporter's own changes.
  (*copy)[10] = 0;
  (*copy)[11] = 0;
  QTDisposeAtomContainer(exporter->settings);
  exporter->settings = copy;
  return noErr;
}

ComponentResult MovieExportGetFileNameExtension(MovieExportComponent ci, OSType *extension) {
  if (extension == nullptr) return paramErr;
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  *extension = exporter->spec->extension;
  return noErr;
}

ComponentResult MovieExportDoUserDialog(MovieExportComponent ci, Movie theMovie, Track onlyThisTrack, TimeValue startTime,
                              TimeValue duration, Boolean *canceledPtr) {
  (void)onlyThisTrack;
  (void)startTime;
  (void)duration;
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  PL_MovieExportDialogProc dialog = gDialogProc.load();
  if (dialog == nullptr) return badComponentSelector;
  // The dialog works on a copy, so a cancel leaves the settings untouched.
  Handle copy = exporter->settings;
  OSErr err = HandToHand(&copy);
  if (err != noErr) return err;
  Boolean canceled = false;
  err = dialog(exporter->spec->subType, exporter->spec->name, theMovie, copy, &canceled);
  if (err == noErr && !canceled) err = PL_CheckAtomContainer(copy);
  if (err == noErr && !canceled) {
    std::swap(copy, exporter->settings);
  }
  QTDisposeAtomContainer(copy);
  if (canceledPtr != nullptr) *canceledPtr = canceled;
  return err;
}

ComponentResult MovieExportSetProgressProc(MovieExportComponent ci, MovieProgressUPP proc, SRefCon refcon) {
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  if (reinterpret_cast<intptr_t>(proc) == kPL_DefaultMovieProgressProc) proc = nullptr;
  exporter->progress = proc;
  exporter->progressRefCon = refcon;
  return noErr;
}

ComponentResult MovieExportToDataRef(MovieExportComponent ci, Handle dataRef, OSType dataRefType, Movie theMovie,
                           Track onlyThisTrack, TimeValue startTime, TimeValue duration) {
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  if (theMovie == nullptr) return invalidMovie;
  if (startTime < 0 || duration < 0) return paramErr;
  PL_ExportRequest request{};
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &request.path);
  if (err != noErr) return err;
  request.dataRef = dataRef;
  request.dataRefType = dataRefType;
  request.movie = theMovie;
  request.onlyThisTrack = onlyThisTrack;
  request.startTime = startTime;
  request.duration = duration;
  request.settings = exporter->settings;
  request.progress = exporter->progress;
  request.progressRefCon = exporter->progressRefCon;
  return exporter->spec->exportMovie(request);
}

ComponentResult MovieExportAddDataSource(MovieExportComponent ci, OSType trackType, TimeScale scale, SInt32 *trackID,
                                         MovieExportGetPropertyProcPtr getPropertyProc,
                                         MovieExportGetDataProcPtr getDataProc, void *refCon) {
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  if (getDataProc == nullptr || scale < 1) return paramErr;
  const SInt32 id = SInt32(exporter->sources.size()) + 1;
  exporter->sources.push_back({trackType, scale, id, getPropertyProc, getDataProc, refCon});
  if (trackID != nullptr) *trackID = id;
  return noErr;
}

ComponentResult MovieExportFromProceduresToDataRef(MovieExportComponent ci, Handle dataRef, OSType dataRefType) {
  ExporterInstance *exporter = InstanceOf(ci);
  if (exporter == nullptr) return badComponentInstance;
  if (exporter->spec->exportFromProcedures == nullptr) return badComponentSelector;
  PL_ExportRequest request{};
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &request.path);
  if (err != noErr) return err;
  request.dataRef = dataRef;
  request.dataRefType = dataRefType;
  request.settings = exporter->settings;
  request.progress = exporter->progress;
  request.progressRefCon = exporter->progressRefCon;
  request.sources = exporter->sources.data();
  request.sourceCount = exporter->sources.size();
  return exporter->spec->exportFromProcedures(request);
}

// ---- Shared pieces of the exports ----

namespace {

bool Setting(QTAtomContainer settings, OSType parentType, OSType type, void *value, SInt32 size) {
  QTAtom parent = kParentAtomIsContainer;
  if (parentType != 0) {
    parent = QTFindChildByIndex(settings, kParentAtomIsContainer, parentType, 1, nullptr);
    if (parent == 0) return false;
  }
  QTAtom atom = QTFindChildByIndex(settings, parent, type, 1, nullptr);
  SInt32 dataSize = 0;
  Ptr data = nullptr;
  if (atom == 0 || QTGetAtomDataPtr(settings, atom, &dataSize, &data) != noErr || dataSize < size) return false;
  std::memcpy(value, data, size_t(size));
  return true;
}

}  // namespace

bool PL_ExportSetting8(QTAtomContainer settings, OSType parentType, OSType type, UInt8 *value) {
  return Setting(settings, parentType, type, value, 1);
}

bool PL_ExportSetting16(QTAtomContainer settings, OSType parentType, OSType type, UInt16 *value) {
  UInt8 bytes[2];
  if (!Setting(settings, parentType, type, bytes, 2)) return false;
  *value = PL_GetBE16(bytes);
  return true;
}

bool PL_ExportSetting32(QTAtomContainer settings, OSType parentType, OSType type, UInt32 *value) {
  UInt8 bytes[4];
  if (!Setting(settings, parentType, type, bytes, 4)) return false;
  *value = PL_GetBE32(bytes);
  return true;
}

OSErr PL_ExportProgress::Open() {
  if (request->progress == nullptr || opened) return stop;
  opened = true;
  OSErr answer = request->progress(request->movie, movieProgressOpen, progressOpExportMovie, 0, request->progressRefCon);
  if (stop == noErr) stop = answer;
  return stop;
}

OSErr PL_ExportProgress::Update(double fraction) {
  if (request->progress == nullptr || stop != noErr) return stop;
  Fixed percent = Fixed(std::lround(std::clamp(fraction, 0.0, 1.0) * 65536.0));
  if (last >= 0 && percent - last < 66 && percent != fixed1) return stop;
  if (percent == last) return stop;
  last = percent;
  stop = request->progress(request->movie, movieProgressUpdatePercent, progressOpExportMovie, percent,
                           request->progressRefCon);
  return stop;
}

void PL_ExportProgress::Close() {
  if (request->progress == nullptr || !opened) return;
  opened = false;
  request->progress(request->movie, movieProgressClose, progressOpExportMovie, fixed1, request->progressRefCon);
}
