// Fuzz target: property lists and the preferences file. The bytes are parsed as a property list (and what
// parses is written back and parsed again), then put where the application's preferences file lies and read
// through the preferences calls, which must report damage and fall back, never crash.
#include "platform/core/cf_base.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_plist.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"

#include "fuzz_support.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The preferences of this process live in its scratch folder, never in the user's.
  setenv("XDG_CONFIG_HOME", bz_fuzz::ScratchFolder().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  CFDataRef bytes = CFDataCreate(nullptr, data, CFIndex(size));
  if (bytes == nullptr) return 0;
  CFErrorRef error = nullptr;
  CFPropertyListFormat format = 0;
  CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, bytes, 0, &format, &error);
  if (error != nullptr) CFRelease(error);
  if (plist != nullptr) {
    CFDataRef written = CFPropertyListCreateXMLData(nullptr, plist);
    if (written != nullptr) {
      CFPropertyListRef again = CFPropertyListCreateWithData(nullptr, written, 0, nullptr, nullptr);
      if (again == nullptr) std::abort();  // what we write must read back
      CFRelease(again);
      CFRelease(written);
    }
    CFRelease(plist);
  }
  CFRelease(bytes);

  PL_CFPreferencesForgetAll();
  const std::string path = PL_CFPreferencesFilePath(kCFPreferencesCurrentApplication);
  if (path.empty()) return 0;
  bz_fuzz::WriteFile(path, data, size);
  for (CFStringRef key : {CFSTR("App Prefs"), CFSTR("Project Prefs"), CFSTR("Version")}) {
    CFPropertyListRef value = CFPreferencesCopyAppValue(key, kCFPreferencesCurrentApplication);
    if (value != nullptr) CFRelease(value);
  }
  PL_CFPreferencesForgetAll();
  return 0;
}
