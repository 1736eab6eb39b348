// CoreFoundation stand-in: CFError.
#include "platform/core/cf_error.h"

#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"

#include <string>

const CFStringRef kCFErrorDomainPOSIX = PL_CFStringMakeConstant("NSPOSIXErrorDomain");
const CFStringRef kCFErrorDomainOSStatus = PL_CFStringMakeConstant("NSOSStatusErrorDomain");
const CFStringRef kCFErrorDomainCocoa = PL_CFStringMakeConstant("NSCocoaErrorDomain");
const CFStringRef kCFErrorDescriptionKey = PL_CFStringMakeConstant("NSDescription");

struct PL_CFError : PL_CFObject {
  PL_CFError() : PL_CFObject(kPL_CFTypeIDError) {}
  ~PL_CFError() override {
    CFRelease(domain);
    CFRelease(userInfo);
  }
  bool Equal(const PL_CFObject &other) const override {
    const auto &o = static_cast<const PL_CFError &>(other);
    return code == o.code && CFEqual(domain, o.domain) && CFEqual(userInfo, o.userInfo);
  }
  CFHashCode Hash() const override { return CFHashCode(code); }
  std::u16string Describe() const override {
    PL_CFScoped<CFStringRef> d(CFErrorCopyDescription(const_cast<PL_CFError *>(this)));
    return PL_CFStringText(d);
  }
  CFStringRef domain = nullptr;
  CFIndex code = 0;
  CFDictionaryRef userInfo = nullptr;
};

namespace {
const PL_CFError *Err(CFErrorRef e) { return PL_CFIsType(e, kPL_CFTypeIDError) ? e : nullptr; }
}  // namespace

CFTypeID CFErrorGetTypeID() { return kPL_CFTypeIDError; }

CFErrorRef CFErrorCreate(CFAllocatorRef, CFStringRef domain, CFIndex code, CFDictionaryRef userInfo) {
  if (domain == nullptr) return nullptr;
  auto *e = new PL_CFError();
  e->domain = CFStringCreateCopy(nullptr, domain);
  e->code = code;
  e->userInfo = userInfo != nullptr ? CFDictionaryCreateCopy(nullptr, userInfo)
                                    : CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
  return e;
}

CFStringRef CFErrorGetDomain(CFErrorRef err) {
  const PL_CFError *e = Err(err);
  return e != nullptr ? e->domain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err) {
  const PL_CFError *e = Err(err);
  return e != nullptr ? e->code : 0;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err) {
  const PL_CFError *e = Err(err);
  if (e == nullptr) return nullptr;
  auto text = static_cast<CFStringRef>(CFDictionaryGetValue(e->userInfo, kCFErrorDescriptionKey));
  if (CFGetTypeID(text) == CFStringGetTypeID()) return CFStringCreateCopy(nullptr, text);
  std::u16string out = u"The operation couldn't be completed. (" + PL_CFStringText(e->domain) + u" error " +
                       PL_ASCIIToUTF16(std::to_string(e->code)) + u".)";
  return PL_CFStringCreate(std::move(out));
}

CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err) {
  const PL_CFError *e = Err(err);
  return e != nullptr ? CFDictionaryCreateCopy(nullptr, e->userInfo) : nullptr;
}

CFErrorRef PL_CFErrorCreateWithDescription(CFStringRef domain, CFIndex code, CFStringRef description) {
  const void *keys[] = {kCFErrorDescriptionKey};
  const void *values[] = {description};
  PL_CFScoped<CFDictionaryRef> info(CFDictionaryCreate(nullptr, keys, values, description != nullptr ? 1 : 0,
                                                       &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks));
  return CFErrorCreate(nullptr, domain, code, info);
}
