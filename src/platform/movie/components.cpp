// Component Manager stand-in.
#include "platform/movie/components.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/exporters.h"
#include "platform/movie/importers.h"
#include "platform/movie/standard_compression.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

struct ComponentRecord {
  PL_ComponentDefinition definition;
  std::string name;
  std::string info;
  struct Resource {
    OSType type;
    SInt16 id;
    std::vector<UInt8> bytes;
  };
  std::vector<Resource> resources;
};

struct ComponentInstanceRecord {
  ComponentRecord *component;
  void *storage;
};

namespace {

// Components live for the life of the process, so the pointers handed out stay valid; instances are
// checked against the set of open ones before use.
std::mutex gMutex;
std::vector<std::unique_ptr<ComponentRecord>> gComponents;
std::unordered_set<ComponentInstanceRecord *> gInstances;
std::once_flag gBuiltInsOnce;

// Registrars may be constructed during static initialisation, so their list is made on first use.
struct Registrars {
  std::mutex mutex;
  std::vector<void (*)()> procs;
  size_t run = 0;
};
Registrars &TheRegistrars() {
  static Registrars registrars;
  return registrars;
}

void EnsureBuiltIns() {
  std::call_once(gBuiltInsOnce, [] {
    PL_RegisterMovieExporters();
    PL_RegisterMovieImporters();
    PL_RegisterStandardCompression();
    PL_RegisterCodecComponents();
  });
  Registrars &r = TheRegistrars();
  std::lock_guard<std::mutex> lock(r.mutex);
  while (r.run < r.procs.size()) r.procs[r.run++]();
}

bool Matches(const ComponentRecord &c, const ComponentDescription *looking) {
  const ComponentDescription &d = c.definition.description;
  if (looking == nullptr) return true;
  if (looking->componentType != 0 && looking->componentType != d.componentType) return false;
  if (looking->componentSubType != 0 && looking->componentSubType != d.componentSubType) return false;
  if (looking->componentManufacturer != 0 && looking->componentManufacturer != d.componentManufacturer) return false;
  UInt32 mask = looking->componentFlagsMask;
  return (d.componentFlags & mask) == (looking->componentFlags & mask);
}

// The instance when it is open, else null. Caller holds gMutex.
ComponentInstanceRecord *Live(ComponentInstance ci) {
  if (ci == nullptr || gInstances.count(ci) == 0) return nullptr;
  return ci;
}

// Only registered components are accepted. Caller holds gMutex.
ComponentRecord *Known(Component c) {
  for (auto &each : gComponents)
    if (each.get() == c) return c;
  return nullptr;
}

OSErr SetPascalString(Handle h, const std::string &text) {
  if (h == nullptr) return noErr;
  size_t n = std::min<size_t>(text.size(), 255);
  SetHandleSize(h, Size(n + 1));
  if (OSErr err = MemError(); err != noErr) return err;
  (*h)[0] = char(n);
  std::memcpy(*h + 1, text.data(), n);
  return noErr;
}

}  // namespace

Component FindNextComponent(Component aComponent, const ComponentDescription *looking) {
  EnsureBuiltIns();
  std::lock_guard<std::mutex> lock(gMutex);
  size_t i = 0;
  if (aComponent != nullptr) {
    while (i < gComponents.size() && gComponents[i].get() != aComponent) ++i;
    if (i == gComponents.size()) return nullptr;
    ++i;
  }
  for (; i < gComponents.size(); ++i)
    if (Matches(*gComponents[i], looking)) return gComponents[i].get();
  return nullptr;
}

SInt32 CountComponents(const ComponentDescription *looking) {
  EnsureBuiltIns();
  std::lock_guard<std::mutex> lock(gMutex);
  return SInt32(std::count_if(gComponents.begin(), gComponents.end(),
                              [&](const std::unique_ptr<ComponentRecord> &c) { return Matches(*c, looking); }));
}

OSErr GetComponentInfo(Component aComponent, ComponentDescription *cd, Handle componentName, Handle componentInfo,
                       Handle componentIcon) {
  (void)componentIcon;
  EnsureBuiltIns();
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentRecord *c = Known(aComponent);
  if (c == nullptr) return invalidComponentID;
  if (cd != nullptr) {
    *cd = c->definition.description;
    cd->componentFlagsMask = 0;
  }
  OSErr err = SetPascalString(componentName, c->name);
  if (err == noErr) err = SetPascalString(componentInfo, c->info);
  return err;
}

OSErr OpenAComponent(Component aComponent, ComponentInstance *ci) {
  if (ci == nullptr) return paramErr;
  *ci = nullptr;
  EnsureBuiltIns();
  const PL_ComponentFuncs *funcs = nullptr;
  const void *refCon = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    ComponentRecord *c = Known(aComponent);
    if (c == nullptr) return invalidComponentID;
    funcs = c->definition.funcs;
    refCon = c->definition.refCon;
  }
  void *storage = nullptr;
  if (funcs != nullptr && funcs->open != nullptr) {
    OSErr err = funcs->open(refCon, &storage);
    if (err != noErr) return err;
  }
  auto *instance = new ComponentInstanceRecord{aComponent, storage};
  std::lock_guard<std::mutex> lock(gMutex);
  gInstances.insert(instance);
  *ci = instance;
  return noErr;
}

ComponentInstance OpenComponent(Component aComponent) {
  ComponentInstance ci = nullptr;
  OpenAComponent(aComponent, &ci);
  return ci;
}

OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType, ComponentInstance *ci) {
  if (ci == nullptr) return paramErr;
  *ci = nullptr;
  ComponentDescription looking{componentType, componentSubType, 0, 0, cmpIsMissing};
  Component c = FindNextComponent(nullptr, &looking);
  if (c == nullptr) return badComponentType;
  return OpenAComponent(c, ci);
}

ComponentResult CloseComponent(ComponentInstance ci) {
  if (ci == nullptr) return noErr;
  ComponentInstanceRecord *instance = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    instance = Live(ci);
    if (instance == nullptr) return badComponentInstance;
    gInstances.erase(instance);
  }
  const PL_ComponentFuncs *funcs = instance->component->definition.funcs;
  if (funcs != nullptr && funcs->close != nullptr) funcs->close(instance->storage);
  delete instance;
  return noErr;
}

Component PL_GetComponentOfInstance(ComponentInstance ci) {
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentInstanceRecord *instance = Live(ci);
  return instance != nullptr ? instance->component : nullptr;
}

SInt32 ComponentFunctionImplemented(ComponentInstance ci, SInt16 ftnNumber) {
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentInstanceRecord *instance = Live(ci);
  if (instance == nullptr) return 0;
  const PL_ComponentFuncs *funcs = instance->component->definition.funcs;
  if (funcs == nullptr || funcs->selectors == nullptr) return 0;
  return std::count(funcs->selectors, funcs->selectors + funcs->selectorCount, ftnNumber) > 0 ? 1 : 0;
}

OSErr GetComponentPublicResource(Component aComponent, OSType resourceType, SInt16 resourceID, Handle *resource) {
  if (resource == nullptr) return paramErr;
  *resource = nullptr;
  EnsureBuiltIns();
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentRecord *c = Known(aComponent);
  if (c == nullptr) return invalidComponentID;
  for (const auto &r : c->resources)
    if (r.type == resourceType && r.id == resourceID) return PtrToHand(r.bytes.data(), resource, Size(r.bytes.size()));
  return resNotFound;
}

OSErr GetComponentPublicResourceList(OSType resourceType, SInt16 resourceID, SInt32 flags,
                                     const ComponentDescription *cd, void *missingProc, void *refCon,
                                     QTAtomContainer *atomContainerOut) {
  (void)flags;
  (void)missingProc;
  (void)refCon;
  if (atomContainerOut == nullptr) return paramErr;
  *atomContainerOut = nullptr;
  EnsureBuiltIns();
  QTAtomContainer list = nullptr;
  OSErr err = QTNewAtomContainer(&list);
  if (err != noErr) return err;
  std::lock_guard<std::mutex> lock(gMutex);
  QTAtomID next = 1;
  for (const auto &c : gComponents) {
    if (!Matches(*c, cd)) continue;
    for (const auto &r : c->resources) {
      if (r.type != resourceType || r.id != resourceID) continue;
      QTAtom comp = 0;
      err = QTInsertChild(list, kParentAtomIsContainer, 'comp', next++, 0, 0, nullptr, &comp);
      const ComponentDescription &d = c->definition.description;
      UInt8 desc[20];
      PL_PutBE32(desc, d.componentType);
      PL_PutBE32(desc + 4, d.componentSubType);
      PL_PutBE32(desc + 8, d.componentManufacturer);
      PL_PutBE32(desc + 12, d.componentFlags);
      PL_PutBE32(desc + 16, 0);
      if (err == noErr) err = QTInsertChild(list, comp, 'cmpd', 1, 0, sizeof(desc), desc, nullptr);
      if (err == noErr) {
        // The 'comp' atom moved when its first child went in: find it again by its identifier.
        comp = QTFindChildByID(list, kParentAtomIsContainer, 'comp', next - 1, nullptr);
        err = QTInsertChild(list, comp, resourceType, resourceID, 0, SInt32(r.bytes.size()), r.bytes.data(), nullptr);
      }
      if (err != noErr) {
        QTDisposeAtomContainer(list);
        return err;
      }
      break;
    }
  }
  *atomContainerOut = list;
  return noErr;
}

ComponentResult QTGetComponentPropertyInfo(ComponentInstance ci, QTPropertyClass inPropClass, QTPropertyID inPropID,
                                 OSType *outPropType, ByteCount *outPropValueSize,
                                 ComponentPropertyFlags *outPropertyFlags) {
  const PL_ComponentFuncs *funcs = nullptr;
  void *storage = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    ComponentInstanceRecord *instance = Live(ci);
    if (instance == nullptr) return badComponentInstance;
    funcs = instance->component->definition.funcs;
    storage = instance->storage;
  }
  if (funcs == nullptr || funcs->getPropertyInfo == nullptr) return kQTPropertyNotSupportedErr;
  return funcs->getPropertyInfo(storage, inPropClass, inPropID, outPropType, outPropValueSize, outPropertyFlags);
}

ComponentResult QTGetComponentProperty(ComponentInstance ci, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             ByteCount inPropValueSize, void *outPropValueAddress, ByteCount *outPropValueSizeUsed) {
  const PL_ComponentFuncs *funcs = nullptr;
  void *storage = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    ComponentInstanceRecord *instance = Live(ci);
    if (instance == nullptr) return badComponentInstance;
    funcs = instance->component->definition.funcs;
    storage = instance->storage;
  }
  if (funcs == nullptr || funcs->getProperty == nullptr) return kQTPropertyNotSupportedErr;
  return funcs->getProperty(storage, inPropClass, inPropID, inPropValueSize, outPropValueAddress, outPropValueSizeUsed);
}

ComponentResult QTSetComponentProperty(ComponentInstance ci, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             ByteCount inPropValueSize, const void *inPropValueAddress) {
  const PL_ComponentFuncs *funcs = nullptr;
  void *storage = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    ComponentInstanceRecord *instance = Live(ci);
    if (instance == nullptr) return badComponentInstance;
    funcs = instance->component->definition.funcs;
    storage = instance->storage;
  }
  if (funcs == nullptr || funcs->setProperty == nullptr) return kQTPropertyNotSupportedErr;
  return funcs->setProperty(storage, inPropClass, inPropID, inPropValueSize, inPropValueAddress);
}

OSErr PL_RegisterComponent(const PL_ComponentDefinition *definition, Component *component) {
  if (definition == nullptr) return paramErr;
  auto record = std::make_unique<ComponentRecord>();
  record->definition = *definition;
  record->name = definition->name != nullptr ? definition->name : "";
  record->info = definition->info != nullptr ? definition->info : "";
  record->definition.name = nullptr;
  record->definition.info = nullptr;
  std::lock_guard<std::mutex> lock(gMutex);
  gComponents.push_back(std::move(record));
  if (component != nullptr) *component = gComponents.back().get();
  return noErr;
}

OSErr PL_AddComponentPublicResource(Component aComponent, OSType resourceType, SInt16 resourceID, const void *data,
                                    Size size) {
  if (size < 0 || (data == nullptr && size > 0)) return paramErr;
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentRecord *c = Known(aComponent);
  if (c == nullptr) return invalidComponentID;
  const UInt8 *bytes = static_cast<const UInt8 *>(data);
  c->resources.push_back({resourceType, resourceID, std::vector<UInt8>(bytes, bytes + size)});
  return noErr;
}

void *PL_GetComponentInstanceStorage(ComponentInstance ci, OSType componentType) {
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentInstanceRecord *instance = Live(ci);
  if (instance == nullptr || instance->component->definition.description.componentType != componentType)
    return nullptr;
  return instance->storage;
}

const void *PL_GetComponentRefCon(Component aComponent) {
  std::lock_guard<std::mutex> lock(gMutex);
  ComponentRecord *c = Known(aComponent);
  return c != nullptr ? c->definition.refCon : nullptr;
}

PL_ComponentRegistrar::PL_ComponentRegistrar(void (*registerProc)()) {
  if (registerProc == nullptr) return;
  Registrars &r = TheRegistrars();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.procs.push_back(registerProc);
}
