// Graphics importers and exporters.
#include "platform/ui/images_graphics.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/exporters.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/ui/images.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Files larger than this are not taken for still images.
constexpr UInt64 kMaxImageFileSize = UInt64(1) << 30;

struct FormatSpec {
  OSType fileType;     // subtype of the importer and exporter
  OSType codecType;    // codec of the description an importer gives
  OSType extension;    // file name extension code
  const char *name;
  bool exporter;
};

const FormatSpec kFormats[] = {
    {kQTFileTypeQuickTimeImage, 0, 'qtif', "QuickTime Image", true},
    {kQTFileTypePNG, 'png ', 'png ', "PNG", true},
    {kQTFileTypeJPEG, 'jpeg', 'jpg ', "JPEG", true},
    {kQTFileTypeTIFF, 'tiff', 'tif ', "TIFF", true},
    {kQTFileTypeBMP, 'bmp ', 'bmp ', "BMP", true},
    {kQTFileTypeGIF, 'gif ', 'gif ', "GIF", false},
};
// Image files get the creator of the platform's picture viewer, as the toolbox gave them.
constexpr OSType kImageFileCreator = 'ogle';

const FormatSpec *FormatOfCodec(OSType codecType) {
  for (const FormatSpec &f : kFormats)
    if (f.codecType != 0 && f.codecType == codecType) return &f;
  return nullptr;
}

struct ImporterState {
  const FormatSpec *format = nullptr;
  std::vector<UInt8> bytes;        // the whole file or handle
  std::vector<UInt8> description;  // native image description
  size_t dataOffset = 0, dataSize = 0;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  Rect natural{}, bounds{}, source{};
  CGrafPtr port = nullptr;
  SInt32 graphicsMode = 0;
  GWorldPtr decoded = nullptr;     // made on first use
};

enum class Input { none, pixMap, picture, compressed };

struct ExporterState {
  const FormatSpec *format = nullptr;
  Input input = Input::none;
  PixMapHandle pixMap = nullptr;
  PicHandle picture = nullptr;
  ImageDescriptionHandle desc = nullptr;
  Handle inDataRef = nullptr;  // borrowed
  OSType inDataRefType = 0;
  const UInt8 *inPtr = nullptr;
  UInt32 inSize = 0;
  Handle inHandle = nullptr;
  Handle outDataRef = nullptr;  // a copy, owned
  OSType outDataRefType = 0;
  Handle outHandle = nullptr;   // borrowed
  Boolean dontRecompress = false;
  CodecQ quality = codecNormalQuality;
};

// ---- Reading data references ----

OSStatus ReadPath(const std::string &path, std::vector<UInt8> *bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PL_OSStatusFromErrno(errno);
  struct stat st {};
  OSStatus err = fstat(fd, &st) == 0 ? noErr : PL_OSStatusFromErrno(errno);
  if (err == noErr && S_ISDIR(st.st_mode)) err = notAFileErr;
  if (err == noErr && UInt64(st.st_size) > kMaxImageFileSize) err = memFullErr;
  if (err == noErr) {
    bytes->resize(size_t(st.st_size));
    err = PL_ReadFully(fd, 0, bytes->data(), bytes->size());
  }
  close(fd);
  return err;
}

// A handle data reference holds the handle itself first.
OSStatus HandleOfDataRef(Handle dataRef, Handle *h) {
  if (dataRef == nullptr || *dataRef == nullptr || GetHandleSize(dataRef) < Size(sizeof(Handle))) return paramErr;
  std::memcpy(h, *dataRef, sizeof(Handle));
  return *h != nullptr ? noErr : paramErr;
}

OSStatus ReadDataRef(Handle dataRef, OSType dataRefType, std::vector<UInt8> *bytes) {
  bytes->clear();
  if (dataRefType == HandleDataHandlerSubType) {
    Handle h = nullptr;
    OSStatus err = HandleOfDataRef(dataRef, &h);
    if (err != noErr) return err;
    Size size = GetHandleSize(h);
    if (size > 0) bytes->assign(reinterpret_cast<const UInt8 *>(*h), reinterpret_cast<const UInt8 *>(*h) + size);
    return noErr;
  }
  std::string path;
  OSStatus err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return err;
  return ReadPath(path, bytes);
}

// ---- QuickTime image files ----

// Finds 'idsc' and 'idat' among the top-level atoms; codecBadDataErr when either is missing or damaged.
OSStatus ParseQuickTimeImage(const std::vector<UInt8> &bytes, std::vector<UInt8> *description, size_t *dataOffset,
                             size_t *dataSize) {
  bool haveDesc = false, haveData = false;
  size_t offset = 0;
  while (offset + 8 <= bytes.size()) {
    UInt64 size = PL_GetBE32(&bytes[offset]);
    OSType type = PL_GetBE32(&bytes[offset + 4]);
    size_t header = 8;
    if (size == 1) {
      if (offset + 16 > bytes.size()) return codecBadDataErr;
      size = PL_GetBE64(&bytes[offset + 8]);
      header = 16;
    } else if (size == 0) {
      size = bytes.size() - offset;
    }
    if (size < header || size > bytes.size() - offset) return codecBadDataErr;
    const UInt8 *payload = &bytes[offset + header];
    size_t payloadSize = size_t(size) - header;
    if (type == 'idsc' && !haveDesc) {
      if (payloadSize < 8) return codecBadDataErr;
      UInt32 idSize = PL_GetBE32(payload);
      if (idSize < 86 || idSize > payloadSize) return codecBadDataErr;
      if (PL_DescriptionFromStored(VideoMediaType, PL_GetBE32(payload + 4), payload + 8, idSize - 8, description) !=
          noErr)
        return codecBadDataErr;
      haveDesc = true;
    } else if (type == 'idat' && !haveData) {
      *dataOffset = offset + header;
      *dataSize = payloadSize;
      haveData = true;
    }
    offset += size_t(size);
  }
  if (!haveDesc || !haveData) return codecBadDataErr;
  ImageDescription d;
  std::memcpy(&d, description->data(), sizeof(d));
  if (d.width <= 0 || d.height <= 0) return codecBadDataErr;
  return noErr;
}

std::vector<UInt8> QuickTimeImageFile(const std::vector<UInt8> &storedDescription, const UInt8 *data, size_t size) {
  PL_AtomWriter w;
  w.Begin('idsc');
  w.PutBytes(storedDescription.data(), storedDescription.size());
  w.End();
  w.Begin('idat');
  w.PutBytes(data, size);
  w.End();
  return w.bytes;
}

// The native description of an image of this codec and size.
std::vector<UInt8> MakeDescription(OSType codecType, SInt32 width, SInt32 height, SInt16 depth, size_t dataSize,
                                   const char *name) {
  ImageDescription d{};
  d.idSize = sizeof(ImageDescription);
  d.cType = codecType;
  d.width = SInt16(width);
  d.height = SInt16(height);
  d.hRes = d.vRes = 72 << 16;
  d.dataSize = SInt32(std::min<size_t>(dataSize, 0x7FFFFFFF));
  d.frameCount = 1;
  size_t n = std::min<size_t>(std::strlen(name), 31);
  d.name[0] = UInt8(n);
  std::memcpy(d.name + 1, name, n);
  d.depth = depth;
  d.clutID = -1;
  std::vector<UInt8> out(sizeof(d));
  std::memcpy(out.data(), &d, sizeof(d));
  return out;
}

// The stored form of a native description: the 'idsc' payload, size and codec first.
OSStatus StoredDescription(const std::vector<UInt8> &native, std::vector<UInt8> *stored) {
  OSType format = 0;
  std::vector<UInt8> entry;
  OSStatus err = PL_DescriptionToStored(VideoMediaType, native, &format, &entry);
  if (err != noErr) return err;
  stored->assign(8, 0);
  PL_PutBE32(stored->data(), UInt32(entry.size() + 8));
  PL_PutBE32(stored->data() + 4, format);
  stored->insert(stored->end(), entry.begin(), entry.end());
  return noErr;
}

// ---- Component glue ----

OSErr OpenImporter(const void *refCon, void **storage) {
  auto *state = new ImporterState;
  state->format = static_cast<const FormatSpec *>(refCon);
  *storage = state;
  return noErr;
}
void CloseImporter(void *storage) {
  auto *state = static_cast<ImporterState *>(storage);
  DisposeGWorld(state->decoded);
  if (state->dataRef != nullptr) DisposeHandle(state->dataRef);
  delete state;
}
OSErr OpenExporter(const void *refCon, void **storage) {
  auto *state = new ExporterState;
  state->format = static_cast<const FormatSpec *>(refCon);
  *storage = state;
  return noErr;
}
void CloseExporter(void *storage) {
  auto *state = static_cast<ExporterState *>(storage);
  if (state->outDataRef != nullptr) DisposeHandle(state->outDataRef);
  delete state;
}
const PL_ComponentFuncs kImporterFuncs = {OpenImporter, CloseImporter, nullptr, 0, nullptr, nullptr, nullptr};
const PL_ComponentFuncs kExporterFuncs = {OpenExporter, CloseExporter, nullptr, 0, nullptr, nullptr, nullptr};

void RegisterGraphicsComponents() {
  for (const FormatSpec &f : kFormats) {
    PL_ComponentDefinition importer{{GraphicsImporterComponentType, f.fileType, kAppleManufacturer, 0, 0},
                                    f.name, f.name, &kImporterFuncs, &f};
    PL_RegisterComponent(&importer, nullptr);
    if (!f.exporter) continue;
    PL_ComponentDefinition exporter{{GraphicsExporterComponentType, f.fileType, kAppleManufacturer, 0, 0},
                                    f.name, f.name, &kExporterFuncs, &f};
    PL_RegisterComponent(&exporter, nullptr);
  }
}
const PL_ComponentRegistrar gRegistrar(RegisterGraphicsComponents);

ImporterState *ImporterOf(ComponentInstance ci) {
  return static_cast<ImporterState *>(PL_GetComponentInstanceStorage(ci, GraphicsImporterComponentType));
}
ExporterState *ExporterOf(ComponentInstance ci) {
  return static_cast<ExporterState *>(PL_GetComponentInstanceStorage(ci, GraphicsExporterComponentType));
}

bool RectInside(const Rect &inner, const Rect &outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom && inner.right > inner.left && inner.bottom > inner.top;
}

OSStatus Decoded(ImporterState *state, GWorldPtr *world) {
  if (state->decoded == nullptr) {
    ImageDescriptionHandle desc = nullptr;
    OSStatus err = PtrToHand(state->description.data(), reinterpret_cast<Handle *>(&desc),
                             Size(state->description.size()));
    if (err != noErr) return err;
    err = PL_DecodeImageData(desc, state->bytes.data() + state->dataOffset, state->dataSize, &state->decoded);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    if (err != noErr) return err;
    // The data must agree with the size its description claims.
    Rect r{};
    GetPortBounds(state->decoded, &r);
    if (r.right - r.left != state->natural.right || r.bottom - r.top != state->natural.bottom) {
      DisposeGWorld(state->decoded);
      state->decoded = nullptr;
      return codecBadDataErr;
    }
  }
  *world = state->decoded;
  return noErr;
}

OSStatus WriteOutput(ExporterState *state, const std::vector<UInt8> &bytes) {
  if (state->outHandle != nullptr) {
    SetHandleSize(state->outHandle, Size(bytes.size()));
    if (MemError() != noErr) return MemError();
    if (!bytes.empty()) std::memcpy(*state->outHandle, bytes.data(), bytes.size());
    return noErr;
  }
  std::string path;
  OSStatus err = PL_DataReferenceToPath(state->outDataRef, state->outDataRefType, &path);
  if (err != noErr) return err;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return PL_OSStatusFromErrno(errno);
  err = PL_WriteFully(fd, 0, bytes.data(), bytes.size());
  if (close(fd) != 0 && err == noErr) err = PL_OSStatusFromErrno(errno);
  if (err != noErr) unlink(path.c_str());
  return err;
}

}  // namespace

OSStatus PL_DecodeImageData(ImageDescriptionHandle desc, const void *data, size_t size, GWorldPtr *argbWorld) {
  if (argbWorld == nullptr) return paramErr;
  *argbWorld = nullptr;
  if (desc == nullptr || *desc == nullptr || GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription)) ||
      (data == nullptr && size > 0))
    return paramErr;
  const ImageDescription d = **desc;
  if (FormatOfCodec(d.cType) != nullptr) return PL_ImageDecodeData(data, size, argbWorld);
  if (d.cType != 'raw ' || (d.depth != 32 && d.depth != 24)) {
    // Any other codec the decompressors know.
    if (d.width <= 0 || d.height <= 0) return codecBadDataErr;
    Rect bounds{0, 0, d.height, d.width};
    GWorldPtr world = nullptr;
    OSStatus err = QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0);
    if (err != noErr) return err;
    err = PL_DecompressImageWithSize(data, size, desc, GetGWorldPixMap(world), nullptr, nullptr);
    if (err != noErr) {
      DisposeGWorld(world);
      return err;
    }
    *argbWorld = world;
    return noErr;
  }
  if (d.width <= 0 || d.height <= 0) return codecBadDataErr;
  const size_t bytesPerPixel = d.depth / 8;
  const size_t rowBytes = size_t(d.width) * bytesPerPixel;
  if (size < rowBytes * size_t(d.height)) return codecBadDataErr;
  // Uncompressed rows may be padded; the padding follows from the data size.
  const size_t stride = size / size_t(d.height) >= rowBytes ? size / size_t(d.height) : rowBytes;
  Rect bounds{0, 0, d.height, d.width};
  GWorldPtr world = nullptr;
  OSStatus err = QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0);
  if (err != noErr) return err;
  PixMapHandle pm = GetGWorldPixMap(world);
  UInt8 *base = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm));
  const SInt32 dstRowBytes = GetPixRowBytes(pm);
  const UInt8 *src = static_cast<const UInt8 *>(data);
  for (SInt32 y = 0; y < d.height; ++y) {
    const UInt8 *s = src + size_t(y) * stride;
    UInt8 *t = base + size_t(y) * size_t(dstRowBytes);
    if (d.depth == 32) {
      std::memcpy(t, s, rowBytes);
    } else {
      for (SInt32 x = 0; x < d.width; ++x) {
        t[4 * x] = 0xFF;
        std::memcpy(t + 4 * x + 1, s + 3 * x, 3);
      }
    }
  }
  *argbWorld = world;
  return noErr;
}

// ---- Importers ----

OSErr GetGraphicsImporterForDataRefWithFlags(Handle dataRef, OSType dataRefType, ComponentInstance *gi, SInt32 flags) {
  (void)flags;
  if (gi == nullptr) return paramErr;
  *gi = nullptr;
  std::vector<UInt8> bytes;
  OSStatus err = ReadDataRef(dataRef, dataRefType, &bytes);
  if (err != noErr) return OSErr(err);
  OSType fileType = PL_ImageFileTypeOfData(bytes.data(), bytes.size());
  if (fileType == 0) return noCodecErr;
  ComponentDescription looking{GraphicsImporterComponentType, fileType, 0, 0, 0};
  Component c = FindNextComponent(nullptr, &looking);
  if (c == nullptr) return noCodecErr;
  ComponentInstance instance = nullptr;
  err = OpenAComponent(c, &instance);
  if (err != noErr) return OSErr(err);
  ImporterState *state = ImporterOf(instance);
  state->bytes = std::move(bytes);
  if (fileType == kQTFileTypeQuickTimeImage) {
    err = ParseQuickTimeImage(state->bytes, &state->description, &state->dataOffset, &state->dataSize);
  } else {
    SInt32 width = 0, height = 0;
    err = PL_ImageDataSize(state->bytes.data(), state->bytes.size(), &width, &height);
    if (err == noErr) {
      state->description = MakeDescription(state->format->codecType, width, height, 32, state->bytes.size(),
                                           state->format->name);
      state->dataOffset = 0;
      state->dataSize = state->bytes.size();
    }
  }
  if (err == noErr) {
    Handle copy = dataRef;
    err = HandToHand(&copy);
    if (err == noErr) {
      state->dataRef = copy;
      state->dataRefType = dataRefType;
    }
  }
  if (err != noErr) {
    CloseComponent(instance);
    return OSErr(err);
  }
  ImageDescription d;
  std::memcpy(&d, state->description.data(), sizeof(d));
  state->natural = Rect{0, 0, d.height, d.width};
  state->bounds = state->natural;
  state->source = state->natural;
  *gi = instance;
  return noErr;
}

OSErr GetGraphicsImporterForDataRef(Handle dataRef, OSType dataRefType, GraphicsImportComponent *gi) {
  return GetGraphicsImporterForDataRefWithFlags(dataRef, dataRefType, gi, 0);
}

ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci, Rect *naturalBounds) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (naturalBounds == nullptr) return paramErr;
  *naturalBounds = state->natural;
  return noErr;
}

ComponentResult GraphicsImportGetBoundsRect(GraphicsImportComponent ci, Rect *bounds) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (bounds == nullptr) return paramErr;
  *bounds = state->bounds;
  return noErr;
}

ComponentResult GraphicsImportSetBoundsRect(GraphicsImportComponent ci, const Rect *bounds) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (bounds == nullptr) return paramErr;
  state->bounds = *bounds;
  return noErr;
}

ComponentResult GraphicsImportGetSourceRect(GraphicsImportComponent ci, Rect *sourceRect) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (sourceRect == nullptr) return paramErr;
  *sourceRect = state->source;
  return noErr;
}

ComponentResult GraphicsImportSetSourceRect(GraphicsImportComponent ci, const Rect *sourceRect) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (sourceRect == nullptr || !RectInside(*sourceRect, state->natural)) return paramErr;
  state->source = *sourceRect;
  return noErr;
}

ComponentResult GraphicsImportGetImageDescription(GraphicsImportComponent ci, ImageDescriptionHandle *desc) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (desc == nullptr) return paramErr;
  *desc = nullptr;
  Handle h = nullptr;
  OSErr err = PtrToHand(state->description.data(), &h, Size(state->description.size()));
  if (err == noErr) *desc = reinterpret_cast<ImageDescriptionHandle>(h);
  return err;
}

ComponentResult GraphicsImportGetDataReference(GraphicsImportComponent ci, Handle *dataRef, OSType *dataRefType) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (dataRef != nullptr) {
    *dataRef = state->dataRef;
    OSErr err = HandToHand(dataRef);
    if (err != noErr) {
      *dataRef = nullptr;
      return err;
    }
  }
  if (dataRefType != nullptr) *dataRefType = state->dataRefType;
  return noErr;
}

ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port, GDHandle gd) {
  (void)gd;
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  state->port = port;
  return noErr;
}

ComponentResult GraphicsImportGetGWorld(GraphicsImportComponent ci, CGrafPtr *port, GDHandle *gd) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (port != nullptr) *port = state->port;
  if (gd != nullptr) *gd = nullptr;
  return noErr;
}

ComponentResult GraphicsImportSetGraphicsMode(GraphicsImportComponent ci, SInt32 graphicsMode, const RGBColor *opColor) {
  (void)opColor;
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  state->graphicsMode = graphicsMode;
  return noErr;
}

ComponentResult GraphicsImportGetAsPicture(GraphicsImportComponent ci, PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  GWorldPtr world = nullptr;
  OSStatus err = Decoded(state, &world);
  if (err != noErr) return err;
  PicHandle pic = nullptr;
  err = PL_NewPictureFromPixMap(GetGWorldPixMap(world), &state->source, &pic);
  if (err != noErr) return err;
  (*pic)->picFrame = state->bounds;
  *picture = pic;
  return noErr;
}

ComponentResult GraphicsImportDraw(GraphicsImportComponent ci) {
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  PicHandle pic = nullptr;
  OSStatus err = GraphicsImportGetAsPicture(ci, &pic);
  if (err != noErr) return err;
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  GetGWorld(&savedPort, &savedDevice);
  if (state->port != nullptr) SetGWorld(state->port, nullptr);
  DrawPicture(pic, &state->bounds);
  err = PL_PictureError();
  SetGWorld(savedPort, savedDevice);
  KillPicture(pic);
  return err;
}

ComponentResult GraphicsImportCreateCGImage(GraphicsImportComponent ci, CGImageRef *imageRefOut, UInt32 flags) {
  if (imageRefOut == nullptr) return paramErr;
  *imageRefOut = nullptr;
  ImporterState *state = ImporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  GWorldPtr world = nullptr;
  OSStatus err = Decoded(state, &world);
  if (err != noErr) return err;
  Rect r = (flags & kGraphicsImportCreateCGImageUsingCurrentSettings) != 0 ? state->source : state->natural;
  PixMapHandle pm = GetGWorldPixMap(world);
  const SInt32 rowBytes = GetPixRowBytes(pm);
  const UInt8 *base = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm)) + size_t(r.top) * size_t(rowBytes) +
                      size_t(r.left) * 4;
  CGImageRef image = PL_CGImageCreateARGB(size_t(r.right - r.left), size_t(r.bottom - r.top), base, size_t(rowBytes));
  if (image == nullptr) return memFullErr;
  *imageRefOut = image;
  return noErr;
}

// ---- Exporters ----

namespace {
ComponentResult SetCompressedInput(GraphicsExportComponent ci, ImageDescriptionHandle desc, Handle dataRef,
                                   OSType dataRefType, Handle h, const UInt8 *p, UInt32 size) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (desc == nullptr || *desc == nullptr || GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription)))
    return paramErr;
  state->input = Input::compressed;
  state->desc = desc;
  state->inDataRef = dataRef;
  state->inDataRefType = dataRefType;
  state->inHandle = h;
  state->inPtr = p;
  state->inSize = size;
  return noErr;
}

// The compressed input's bytes.
OSStatus CompressedBytes(ExporterState *state, std::vector<UInt8> *bytes) {
  if (state->inDataRef != nullptr) {
    OSStatus err = ReadDataRef(state->inDataRef, state->inDataRefType, bytes);
    // A QuickTime image file at the data reference gives the image data it holds.
    if (err != noErr || PL_ImageFileTypeOfData(bytes->data(), bytes->size()) != kQTFileTypeQuickTimeImage) return err;
    std::vector<UInt8> description;
    size_t offset = 0, size = 0;
    err = ParseQuickTimeImage(*bytes, &description, &offset, &size);
    if (err != noErr) return err;
    bytes->erase(bytes->begin() + ptrdiff_t(offset + size), bytes->end());
    bytes->erase(bytes->begin(), bytes->begin() + ptrdiff_t(offset));
    return noErr;
  }
  if (state->inHandle != nullptr) {
    Size size = GetHandleSize(state->inHandle);
    bytes->assign(reinterpret_cast<const UInt8 *>(*state->inHandle),
                  reinterpret_cast<const UInt8 *>(*state->inHandle) + size);
    return noErr;
  }
  if (state->inPtr == nullptr && state->inSize > 0) return paramErr;
  bytes->assign(state->inPtr, state->inPtr + state->inSize);
  return noErr;
}

// The input as pixels: a world to dispose (owned) or the caller's pixel map (borrowed).
OSStatus InputPixels(ExporterState *state, PixMapHandle *pixMap, GWorldPtr *ownWorld) {
  *ownWorld = nullptr;
  *pixMap = nullptr;
  switch (state->input) {
    case Input::pixMap: *pixMap = state->pixMap; return noErr;
    case Input::picture: {
      SInt32 width = 0, height = 0;
      const UInt8 *argb = nullptr;
      OSStatus err = PL_GetPictureImage(state->picture, &width, &height, &argb);
      if (err != noErr) return err;
      if (width > 0x7FFF || height > 0x7FFF) return paramErr;
      Rect bounds{0, 0, SInt16(height), SInt16(width)};
      err = QTNewGWorld(ownWorld, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0);
      if (err != noErr) return err;
      PixMapHandle pm = GetGWorldPixMap(*ownWorld);
      for (SInt32 y = 0; y < height; ++y)
        std::memcpy(GetPixBaseAddr(pm) + size_t(y) * size_t(GetPixRowBytes(pm)), argb + size_t(y) * width * 4,
                    size_t(width) * 4);
      *pixMap = pm;
      return noErr;
    }
    case Input::compressed: {
      std::vector<UInt8> bytes;
      OSStatus err = CompressedBytes(state, &bytes);
      if (err == noErr) err = PL_DecodeImageData(state->desc, bytes.data(), bytes.size(), ownWorld);
      if (err == noErr) *pixMap = GetGWorldPixMap(*ownWorld);
      return err;
    }
    default: return paramErr;
  }
}
}  // namespace

ComponentResult GraphicsExportSetInputGWorld(GraphicsExportComponent ci, GWorldPtr gworld) {
  PixMapHandle pm = GetGWorldPixMap(gworld);
  if (ExporterOf(ci) == nullptr) return badComponentInstance;
  if (pm == nullptr) return paramErr;
  return GraphicsExportSetInputPixmap(ci, pm);
}

ComponentResult GraphicsExportSetInputPixmap(GraphicsExportComponent ci, PixMapHandle pixMap) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (pixMap == nullptr || *pixMap == nullptr) return paramErr;
  state->input = Input::pixMap;
  state->pixMap = pixMap;
  return noErr;
}

ComponentResult GraphicsExportSetInputPicture(GraphicsExportComponent ci, PicHandle picture) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (PL_GetPictureImage(picture, nullptr, nullptr, nullptr) != noErr) return paramErr;
  state->input = Input::picture;
  state->picture = picture;
  return noErr;
}

ComponentResult GraphicsExportSetInputDataReference(GraphicsExportComponent ci, Handle dataRef, OSType dataRefType,
                                                    ImageDescriptionHandle desc) {
  if (dataRef == nullptr) return paramErr;
  return SetCompressedInput(ci, desc, dataRef, dataRefType, nullptr, nullptr, 0);
}

ComponentResult GraphicsExportSetInputHandle(GraphicsExportComponent ci, Handle h, ImageDescriptionHandle desc) {
  if (h == nullptr) return paramErr;
  return SetCompressedInput(ci, desc, nullptr, 0, h, nullptr, 0);
}

ComponentResult GraphicsExportSetInputPtr(GraphicsExportComponent ci, Ptr p, UInt32 size, ImageDescriptionHandle desc) {
  return SetCompressedInput(ci, desc, nullptr, 0, nullptr, reinterpret_cast<const UInt8 *>(p), size);
}

ComponentResult GraphicsExportSetOutputDataReference(GraphicsExportComponent ci, Handle dataRef, OSType dataRefType) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  std::string path;
  OSStatus err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return err;
  Handle copy = dataRef;
  err = HandToHand(&copy);
  if (err != noErr) return err;
  if (state->outDataRef != nullptr) DisposeHandle(state->outDataRef);
  state->outDataRef = copy;
  state->outDataRefType = dataRefType;
  state->outHandle = nullptr;
  return noErr;
}

ComponentResult GraphicsExportSetOutputHandle(GraphicsExportComponent ci, Handle h) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (h == nullptr) return paramErr;
  if (state->outDataRef != nullptr) DisposeHandle(state->outDataRef);
  state->outDataRef = nullptr;
  state->outHandle = h;
  return noErr;
}

ComponentResult GraphicsExportSetDontRecompress(GraphicsExportComponent ci, Boolean dontRecompress) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  state->dontRecompress = dontRecompress != 0;
  return noErr;
}

ComponentResult GraphicsExportGetDontRecompress(GraphicsExportComponent ci, Boolean *dontRecompress) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (dontRecompress == nullptr) return paramErr;
  *dontRecompress = state->dontRecompress;
  return noErr;
}

ComponentResult GraphicsExportSetCompressionQuality(GraphicsExportComponent ci, CodecQ spatialQuality) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  state->quality = std::min<CodecQ>(spatialQuality, codecLosslessQuality);
  return noErr;
}

ComponentResult GraphicsExportGetDefaultFileTypeAndCreator(GraphicsExportComponent ci, OSType *fileType,
                                                           OSType *fileCreator) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (fileType != nullptr) *fileType = state->format->fileType;
  if (fileCreator != nullptr) *fileCreator = kImageFileCreator;
  return noErr;
}

ComponentResult GraphicsExportGetDefaultFileNameExtension(GraphicsExportComponent ci, OSType *fileNameExtension) {
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (fileNameExtension == nullptr) return paramErr;
  *fileNameExtension = state->format->extension;
  return noErr;
}

ComponentResult GraphicsExportDoExport(GraphicsExportComponent ci, UInt32 *actualSizeWritten) {
  if (actualSizeWritten != nullptr) *actualSizeWritten = 0;
  ExporterState *state = ExporterOf(ci);
  if (state == nullptr) return badComponentInstance;
  if (state->input == Input::none || (state->outHandle == nullptr && state->outDataRef == nullptr)) return paramErr;
  std::vector<UInt8> file;
  OSStatus err = noErr;
  const bool quickTimeImage = state->format->fileType == kQTFileTypeQuickTimeImage;
  if (state->input == Input::compressed &&
      (quickTimeImage || (state->dontRecompress && (*state->desc)->cType == state->format->codecType))) {
    // Compressed data goes in as it is.
    std::vector<UInt8> data;
    err = CompressedBytes(state, &data);
    if (err != noErr) return err;
    if (!quickTimeImage) {
      file = std::move(data);
    } else {
      Size descSize = GetHandleSize(reinterpret_cast<Handle>(state->desc));
      std::vector<UInt8> native(reinterpret_cast<const UInt8 *>(*state->desc),
                                reinterpret_cast<const UInt8 *>(*state->desc) + descSize);
      std::vector<UInt8> stored;
      err = StoredDescription(native, &stored);
      if (err != noErr) return err;
      file = QuickTimeImageFile(stored, data.data(), data.size());
    }
  } else {
    PixMapHandle pm = nullptr;
    GWorldPtr own = nullptr;
    err = InputPixels(state, &pm, &own);
    if (err == noErr) {
      // A QuickTime image file keeps pixels losslessly as PNG data.
      OSType encoding = quickTimeImage ? kQTFileTypePNG : state->format->fileType;
      err = PL_ImageEncode(pm, nullptr, encoding, state->quality, &file);
      if (err == noErr && quickTimeImage) {
        const Rect &b = (*pm)->bounds;
        std::vector<UInt8> stored;
        err = StoredDescription(MakeDescription('png ', b.right - b.left, b.bottom - b.top, 32, file.size(), "PNG"),
                                &stored);
        if (err == noErr) file = QuickTimeImageFile(stored, file.data(), file.size());
      }
    }
    DisposeGWorld(own);
    if (err != noErr) return err;
  }
  if (file.size() > 0x7FFFFFFF) return memFullErr;
  err = WriteOutput(state, file);
  if (err == noErr && actualSizeWritten != nullptr) *actualSizeWritten = UInt32(file.size());
  return err;
}
