// CoreFoundation stand-in: CFURL for files (POSIX paths, "file://" URLs), plus reading and writing a whole
// file through a URL.
//
// A file URL holds an absolute path (a relative path is taken from the current folder when the URL is made)
// without repeated or trailing slashes, and whether it names a folder. Other schemes are kept as text only:
// they have no file-system representation.
#pragma once

#include "platform/core/cf_base.h"

#include <string>

typedef CFIndex CFURLPathStyle;
enum : CFURLPathStyle { kCFURLPOSIXPathStyle = 0, kCFURLHFSPathStyle = 1, kCFURLWindowsPathStyle = 2 };

// Error codes of the resource calls.
typedef CFIndex CFURLError;
enum : CFURLError {
  kCFURLUnknownError = -10,
  kCFURLUnknownSchemeError = -11,
  kCFURLResourceNotFoundError = -12,
  kCFURLResourceAccessViolationError = -13,
  kCFURLRemoteHostUnavailableError = -14,
  kCFURLImproperArgumentsError = -15,
  kCFURLUnknownPropertyKeyError = -16,
  kCFURLPropertyKeyUnavailableError = -17,
  kCFURLTimeoutError = -18,
};

CFTypeID CFURLGetTypeID();
// Owned results; NULL for an empty path or a path style other than POSIX.
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory);
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator, const UInt8 *buffer, CFIndex bufLen,
                                                 Boolean isDirectory);
// "file://" URLs (percent-encoded) become file URLs; a string without a scheme is a path relative to
// `baseURL`'s folder (or to the current folder).
CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString, CFURLRef baseURL);
CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL);

// Borrowed: the URL as text ("file:///home/user/My%20Movie.mov").
CFStringRef CFURLGetString(CFURLRef anURL);
// Owned: "file" or the other scheme.
CFStringRef CFURLCopyScheme(CFURLRef anURL);
// The path as bytes with a terminator; false when there is none or it does not fit `maxBufLen`.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8 *buffer, CFIndex maxBufLen);
// Owned: the path as a string in POSIX style, or in HFS style ("<startup volume>:folder:name", a ":" in a
// name shown as "/"); NULL for the Windows style.
CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);
Boolean CFURLHasDirectoryPath(CFURLRef anURL);
// Owned: the last component ("/" for the root).
CFStringRef CFURLCopyLastPathComponent(CFURLRef url);
// Owned: the extension of the last component without its dot; NULL when it has none.
CFStringRef CFURLCopyPathExtension(CFURLRef url);
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url, CFStringRef pathComponent,
                                               Boolean isDirectory);
// The parent folder (the root stays the root).
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator, CFURLRef url);
CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef allocator, CFURLRef url, CFStringRef extension);
CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef allocator, CFURLRef url);

// Reads the whole file into a new data object (*resourceData, owned). Properties are not offered: the
// properties argument is set to NULL. On failure *errorCode gets a CFURLError.
Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url, CFDataRef *resourceData,
                                                 CFDictionaryRef *properties, CFArrayRef desiredProperties,
                                                 SInt32 *errorCode);
// Replaces the file with the data, atomically (a temporary file beside it, synced, then renamed over it).
Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite, CFDictionaryRef propertiesToWrite,
                                              SInt32 *errorCode);
// Deletes the file (or an empty folder).
Boolean CFURLDestroyResource(CFURLRef url, SInt32 *errorCode);

// Our own shortcuts for the platform layer: the path bytes of a file URL ("" for other schemes), and a URL
// from path bytes.
std::string PL_CFURLGetPath(CFURLRef url);
CFURLRef PL_CFURLCreateWithPath(const std::string &path, bool isDirectory);
