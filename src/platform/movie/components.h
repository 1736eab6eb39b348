// Component Manager stand-in: one process-wide registry of the components this platform offers (movie
// exporters, and whatever other platform modules register), found by type, subtype, manufacturer and
// flags, opened into instances, asked whether they implement a selector, for their properties and for
// their public resources.
//
// Components are registered by the platform modules that implement them; the built-in ones are registered
// on the first call of any function here. A component family's own calls (MovieExport..., ...) reach an
// instance's private storage through PL_GetComponentInstanceStorage. Instances belong to the thread that
// opened them; the registry itself may be searched from any thread.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/movie_toolbox.h"

struct ComponentRecord;
typedef ComponentRecord *Component;
struct ComponentInstanceRecord;
typedef ComponentInstanceRecord *ComponentInstance;

typedef UInt32 ComponentPropertyFlags;
// Results of component calls: OSStatus-wide, since the Component Manager's own errors need 32 bits.
typedef OSStatus ComponentResult;

struct ComponentDescription {
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;  // when searching: the flag bits that must match componentFlags
};

enum : OSType { kAnyComponentType = 0, kAnyComponentSubType = 0, kAnyComponentManufacturer = 0 };
// A component whose implementation is missing; searches normally exclude it with this mask bit.
enum : UInt32 { cmpIsMissing = 1u << 29 };

// The next component after aComponent (null starts) that matches: type, subtype and manufacturer when not
// 0, and the flags under the mask. Null after the last.
Component FindNextComponent(Component aComponent, const ComponentDescription *looking);
// How many components match.
SInt32 CountComponents(const ComponentDescription *looking);
// The component's description; its name and information string as Pascal strings into the handles (each
// may be null; they are resized). componentIcon is never filled (null is expected).
OSErr GetComponentInfo(Component aComponent, ComponentDescription *cd, Handle componentName, Handle componentInfo,
                       Handle componentIcon);
// Opens an instance (owned: CloseComponent).
OSErr OpenAComponent(Component aComponent, ComponentInstance *ci);
ComponentInstance OpenComponent(Component aComponent);
// Opens the first component of the type and subtype (any manufacturer, missing ones excluded);
// badComponentType (mac_errors.h) when there is none.
OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType, ComponentInstance *ci);
// Closes the instance; null is ignored.
ComponentResult CloseComponent(ComponentInstance ci);
// The component an instance was opened from (null for a bad instance).
Component PL_GetComponentOfInstance(ComponentInstance ci);
// Non-zero when the instance implements the selector.
SInt32 ComponentFunctionImplemented(ComponentInstance ci, SInt16 ftnNumber);

// A copy of the component's public resource (owned: DisposeHandle); resNotFound when it has none.
OSErr GetComponentPublicResource(Component aComponent, OSType resourceType, SInt16 resourceID, Handle *resource);
// The public resources of one type and identifier of the components matching cd (flags under its mask),
// in registration order, as a new atom container (owned: QTDisposeAtomContainer): one 'comp' child per
// component that has such a resource (identifiers 1, 2, ...), holding a 'cmpd' child (the component's
// description: five big-endian words) and a child of resourceType (identifier resourceID) holding the
// resource's bytes. `flags`, missingProc and refCon are not used (no component is ever missing here).
OSErr GetComponentPublicResourceList(OSType resourceType, SInt16 resourceID, SInt32 flags,
                                     const ComponentDescription *cd, void *missingProc, void *refCon,
                                     QTAtomContainer *atomContainerOut);

// Component properties; kQTPropertyNotSupportedErr for one the component does not know, badComponentInstance
// for a null or closed instance.
ComponentResult QTGetComponentPropertyInfo(ComponentInstance ci, QTPropertyClass inPropClass, QTPropertyID inPropID,
                                 OSType *outPropType, ByteCount *outPropValueSize, ComponentPropertyFlags *outPropertyFlags);
ComponentResult QTGetComponentProperty(ComponentInstance ci, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             ByteCount inPropValueSize, void *outPropValueAddress, ByteCount *outPropValueSizeUsed);
ComponentResult QTSetComponentProperty(ComponentInstance ci, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             ByteCount inPropValueSize, const void *inPropValueAddress);

// ---- Registering components (platform modules) ----

// What a component does. Every function may be null: no storage, no selectors, no properties.
struct PL_ComponentFuncs {
  // Makes the private storage of a new instance; an error opens nothing.
  OSErr (*open)(const void *refCon, void **storage);
  void (*close)(void *storage);
  // The selectors the component implements (for ComponentFunctionImplemented).
  const SInt16 *selectors;
  size_t selectorCount;
  ComponentResult (*getPropertyInfo)(void *storage, QTPropertyClass propClass, QTPropertyID propID, OSType *type,
                           ByteCount *size, ComponentPropertyFlags *flags);
  ComponentResult (*getProperty)(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size, void *value,
                       ByteCount *sizeUsed);
  ComponentResult (*setProperty)(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size,
                       const void *value);
};

struct PL_ComponentDefinition {
  ComponentDescription description;  // the mask is not used
  const char *name;                  // UTF-8, shown in menus
  const char *info;
  const PL_ComponentFuncs *funcs;    // borrowed for the life of the process
  const void *refCon;                // handed to open; the family's calls read it back
};

// Registers a component (kept for the life of the process). *component (may be null) gets it.
OSErr PL_RegisterComponent(const PL_ComponentDefinition *definition, Component *component);
// Gives a registered component a public resource (the bytes are copied).
OSErr PL_AddComponentPublicResource(Component aComponent, OSType resourceType, SInt16 resourceID, const void *data,
                                    Size size);
// The instance's storage when it was opened from a component of `componentType`, else null.
void *PL_GetComponentInstanceStorage(ComponentInstance ci, OSType componentType);
// The refCon of the component's definition.
const void *PL_GetComponentRefCon(Component aComponent);

// Platform modules outside this library (the image importers and exporters) add their components through
// a registrar: a static object of the module whose procedure runs once, on the first use of any call
// here, after the built-in components; it may only register (PL_RegisterComponent, PL_AddComponent...).
struct PL_ComponentRegistrar {
  explicit PL_ComponentRegistrar(void (*registerProc)());
};
