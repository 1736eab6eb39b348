// Quartz stand-in, drawing contexts.
#include "platform/core/quartz_contexts.h"

#include "platform/core/mac_errors.h"

OSStatus CreateCGContextForPort(CGrafPtr inPort, CGContextRef *outContext) {
  if (outContext != nullptr) *outContext = nullptr;
  if (inPort == nullptr || outContext == nullptr) return paramErr;
  return unimpErr;
}
