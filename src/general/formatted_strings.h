// The program's common way to build a text from a format: CF_StringCreateWithFormat.
//
// The format follows CoreFoundation's rules: printf directives plus "%@" for a CF value ("%@ %ld" makes an
// indexed file name). Arguments are captured with their types (see platform/core/formatter.h), so "%ld"
// accepts any integer and a wrong argument shows a marker instead of reading garbage.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/formatter.h"

// Owned: a new immutable string (release with CFRelease); NULL for a NULL format. Any task may call it.
template <class... A>
CFStringRef CF_StringCreateWithFormat(CFStringRef format, const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  return CFStringCreateWithFormatAndArguments(kCFAllocatorDefault, nullptr, format,
                                              PL_FormatArgList{list, sizeof...(A)});
}
