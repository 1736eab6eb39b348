// CoreFoundation stand-in: XML property lists (dictionaries, arrays, strings, integers, reals, Booleans,
// data in base64 and dates), written and read with pugixml.
//
// Integers and reals keep their kind: integers are written as <integer> (negative ones too) and read back as
// SInt64 numbers, reals as <real> with enough digits to read back the same double (a Float32 value reads
// back exactly when asked for as Float32). Dates keep whole seconds in UTC. Damaged or foreign input (broken
// XML, unknown elements, a key without a value, numbers that do not parse, nesting deeper than 512 levels,
// the binary format) gives NULL and an error, never a crash.
#pragma once

#include "platform/core/cf_base.h"

typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum : CFPropertyListMutabilityOptions {
  kCFPropertyListImmutable = 0,
  kCFPropertyListMutableContainers = 1,
  kCFPropertyListMutableContainersAndLeaves = 2
};

typedef CFIndex CFPropertyListFormat;
enum : CFPropertyListFormat {
  kCFPropertyListOpenStepFormat = 1,
  kCFPropertyListXMLFormat_v1_0 = 100,
  kCFPropertyListBinaryFormat_v1_0 = 200
};

// Owned: the XML text (UTF-8) of a property list; NULL when it holds something that is not a property-list
// value (or a dictionary key that is not a string).
CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList);
// The same with an error (owned, may be NULL) on failure; only the XML format is written.
CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                   CFPropertyListFormat format, CFOptionFlags options, CFErrorRef *error);
// Owned: the property list of XML data, with the containers (and leaves) mutable as asked; NULL and an owned
// description in *errorString (when given) for damaged data.
CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption, CFStringRef *errorString);
// The same with an owned CFError (domain kCFErrorDomainCocoa, code kCFPropertyListReadCorruptError) and the
// format found.
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat *format, CFErrorRef *error);
// Owned: a deep copy with the mutability asked for; NULL when the value is not a property list.
CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption);
Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);
