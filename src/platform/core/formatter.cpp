// The type-safe formatter. Directives are parsed here; numbers are rendered by the C library's snprintf from
// a rebuilt directive with a value of the right C type, so their output is exactly printf's.
#include "platform/core/formatter.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct Directive {
  std::string flags;
  int width = -1;
  int precision = -1;
  std::string length;  // "hh", "h", "l", "ll", "q", "L", "j", "z", "t"
  char16_t conversion = 0;
};

const char *KindName(PL_FormatArgKind k) {
  switch (k) {
    case PL_FormatArgKind::kMissing: return "missing";
    case PL_FormatArgKind::kSigned:
    case PL_FormatArgKind::kUnsigned: return "int";
    case PL_FormatArgKind::kFloat: return "double";
    case PL_FormatArgKind::kCString:
    case PL_FormatArgKind::kText: return "string";
    case PL_FormatArgKind::kUniChars: return "unichars";
    case PL_FormatArgKind::kPointer: return "pointer";
    case PL_FormatArgKind::kCFObject: return "object";
  }
  return "?";
}

class Formatter {
 public:
  Formatter(std::u16string_view format, PL_FormatArgList args) : fmt_(format), args_(args) {}

  std::u16string Run() {
    size_t i = 0;
    while (i < fmt_.size()) {
      const char16_t c = fmt_[i];
      if (c != u'%') {
        out_ += c;
        ++i;
        continue;
      }
      i = Directive(i + 1);
    }
    return std::move(out_);
  }

 private:
  const PL_FormatArg &Arg(size_t index) {
    static const PL_FormatArg kMissingArg;
    return index < args_.count ? args_.args[index] : kMissingArg;
  }

  // The argument for a directive: positional (1-based) when `position` > 0, else the next in order.
  const PL_FormatArg &Take(int position) {
    if (position > 0) return Arg(size_t(position - 1));
    return Arg(next_++);
  }

  // Reads digits at fmt_[*i]; -1 when there are none.
  int Number(size_t *i) {
    if (*i >= fmt_.size() || fmt_[*i] < u'0' || fmt_[*i] > u'9') return -1;
    long long v = 0;
    while (*i < fmt_.size() && fmt_[*i] >= u'0' && fmt_[*i] <= u'9') {
      v = v * 10 + (fmt_[*i] - u'0');
      if (v > 100000) v = 100000;  // absurd widths are capped, not obeyed
      ++*i;
    }
    return int(v);
  }

  // "*" or "*n$": an int argument for a width or precision.
  bool StarValue(size_t *i, long long *value) {
    size_t j = *i;
    int pos = Number(&j);
    int position = 0;
    if (pos > 0 && j < fmt_.size() && fmt_[j] == u'$') {
      position = pos;
      *i = j + 1;
    }
    const PL_FormatArg &a = Take(position);
    if (a.kind == PL_FormatArgKind::kSigned) {
      *value = a.i;
    } else if (a.kind == PL_FormatArgKind::kUnsigned) {
      *value = a.u > 100000 ? 100000 : (long long)a.u;
    } else {
      return false;
    }
    if (*value > 100000) *value = 100000;
    if (*value < -100000) *value = -100000;
    return true;
  }

  // Parses and renders one directive starting after its '%'; returns the index after it.
  size_t Directive(size_t i) {
    const size_t begin = i - 1;
    struct Directive d;
    int position = 0;
    {
      size_t j = i;
      int n = Number(&j);
      if (n > 0 && j < fmt_.size() && fmt_[j] == u'$') {
        position = n;
        i = j + 1;
      }
    }
    while (i < fmt_.size() && std::u16string_view(u"-+ #0'").find(fmt_[i]) != std::u16string_view::npos) {
      if (d.flags.find(char(fmt_[i])) == std::string::npos) d.flags += char(fmt_[i]);
      ++i;
    }
    if (i < fmt_.size() && fmt_[i] == u'*') {
      ++i;
      long long w = 0;
      if (StarValue(&i, &w)) {
        if (w < 0) {
          if (d.flags.find('-') == std::string::npos) d.flags += '-';
          w = -w;
        }
        d.width = int(w);
      }
    } else {
      d.width = Number(&i);
    }
    if (i < fmt_.size() && fmt_[i] == u'.') {
      ++i;
      if (i < fmt_.size() && fmt_[i] == u'*') {
        ++i;
        long long p = 0;
        if (StarValue(&i, &p)) d.precision = p < 0 ? -1 : int(p);
      } else {
        int p = Number(&i);
        d.precision = p < 0 ? 0 : p;
      }
    }
    for (const char *len : {"hh", "ll", "h", "l", "q", "L", "j", "z", "t"}) {
      const size_t n = std::strlen(len);
      bool match = i + n <= fmt_.size();
      for (size_t k = 0; match && k < n; ++k) match = fmt_[i + k] == char16_t(len[k]);
      if (match) {
        d.length = len;
        i += n;
        break;
      }
    }
    if (i >= fmt_.size()) {
      out_.append(fmt_.substr(begin));  // an unfinished directive stays as it was written
      return i;
    }
    d.conversion = fmt_[i++];
    Render(d, position, fmt_.substr(begin, i - begin));
    return i;
  }

  void Marker(char16_t conversion, const char *what) {
    out_ += u"%!";
    out_ += conversion;
    out_ += u'(';
    out_ += PL_ASCIIToUTF16(what);
    out_ += u')';
  }

  void Pad(const struct Directive &d, std::u16string text) {
    if (d.precision >= 0 && size_t(d.precision) < text.size()) {
      size_t cut = size_t(d.precision);
      // Never split a surrogate pair.
      if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
      text.resize(cut);
    }
    const size_t width = d.width > 0 ? size_t(d.width) : 0;
    if (text.size() < width) {
      const std::u16string fill(width - text.size(), u' ');
      text = d.flags.find('-') != std::string::npos ? text + fill : fill + text;
    }
    out_ += text;
  }

  // Renders through snprintf: `directive` is the rebuilt directive without its leading '%'.
  template <class V>
  void Snprintf(const std::string &directive, V value) {
    const std::string f = "%" + directive;
    char small[128];
    int n = std::snprintf(small, sizeof small, f.c_str(), value);
    if (n < 0) return;
    if (size_t(n) < sizeof small) {
      out_ += PL_ASCIIToUTF16(std::string_view(small, size_t(n)));
      return;
    }
    std::vector<char> big(size_t(n) + 1);
    std::snprintf(big.data(), big.size(), f.c_str(), value);
    out_ += PL_ASCIIToUTF16(std::string_view(big.data(), size_t(n)));
  }

  std::string NumberSpec(const struct Directive &d, const char *length, char conversion) {
    std::string s = d.flags;
    if (d.width >= 0) s += std::to_string(d.width);
    if (d.precision >= 0) s += "." + std::to_string(d.precision);
    s += length;
    s += conversion;
    return s;
  }

  void Integer(const struct Directive &d, const PL_FormatArg &a) {
    const char conv = char(d.conversion == u'D' ? u'd' : d.conversion == u'U' ? u'u' : d.conversion == u'O' ? u'o'
                                                                                                              : d.conversion);
    const bool isSigned = conv == 'd' || conv == 'i';
    if (a.kind != PL_FormatArgKind::kSigned && a.kind != PL_FormatArgKind::kUnsigned) {
      Marker(d.conversion, KindName(a.kind));
      return;
    }
    const UInt64 raw = a.kind == PL_FormatArgKind::kSigned ? UInt64(a.i) : a.u;
    // Width of the value as printf would see it: hh and h cut; otherwise the argument's own width, promoted to int.
    int bits = a.bits < 32 ? 32 : a.bits;
    if (d.length == "hh") bits = 8;
    if (d.length == "h") bits = 16;
    UInt64 value = raw;
    if (bits < 64) value &= (UInt64(1) << bits) - 1;
    if (isSigned) {
      SInt64 v;
      if (a.kind == PL_FormatArgKind::kSigned && d.length != "h" && d.length != "hh") {
        v = a.i;  // a signed argument keeps its whole value
      } else if (bits < 64 && ((value >> (bits - 1)) & 1) != 0) {
        v = SInt64(value | ~((UInt64(1) << bits) - 1));
      } else {
        v = SInt64(value);
      }
      Snprintf(NumberSpec(d, "ll", conv), (long long)v);
    } else {
      Snprintf(NumberSpec(d, "ll", conv), (unsigned long long)value);
    }
  }

  void Float(const struct Directive &d, const PL_FormatArg &a) {
    double v;
    if (a.kind == PL_FormatArgKind::kFloat) {
      v = a.d;
    } else if (a.kind == PL_FormatArgKind::kSigned) {
      v = double(a.i);
    } else if (a.kind == PL_FormatArgKind::kUnsigned) {
      v = double(a.u);
    } else {
      Marker(d.conversion, KindName(a.kind));
      return;
    }
    Snprintf(NumberSpec(d, "", char(d.conversion)), v);
  }

  void Text(const struct Directive &d, const PL_FormatArg &a) {
    switch (a.kind) {
      case PL_FormatArgKind::kCString:
        Pad(d, a.s == nullptr ? std::u16string(u"(null)") : PL_DecodeUTF8Lenient(a.s));
        return;
      case PL_FormatArgKind::kText: Pad(d, PL_DecodeUTF8Lenient(std::string_view(a.s, a.length))); return;
      case PL_FormatArgKind::kUniChars: {
        if (a.us == nullptr) {
          Pad(d, u"(null)");
          return;
        }
        std::u16string t;
        for (const UniChar *p = a.us; *p != 0; ++p) {
          if (d.precision >= 0 && t.size() >= size_t(d.precision)) break;
          t += char16_t(*p);
        }
        Pad(d, std::move(t));
        return;
      }
      case PL_FormatArgKind::kCFObject:
      case PL_FormatArgKind::kPointer: {
        if (a.p == nullptr) {
          Pad(d, u"(null)");
          return;
        }
        if (d.conversion == u's' && CFGetTypeID(a.p) != CFStringGetTypeID()) break;
        if (CFGetTypeID(a.p) == CFStringGetTypeID()) {
          Pad(d, PL_CFStringText(static_cast<CFStringRef>(a.p)));
        } else {
          Pad(d, PL_CFObjectOf(a.p)->Describe());
        }
        return;
      }
      default: break;
    }
    Marker(d.conversion, KindName(a.kind));
  }

  void Render(const struct Directive &d, int position, std::u16string_view whole) {
    switch (d.conversion) {
      case u'%': out_ += u'%'; return;
      case u'd':
      case u'i':
      case u'D':
      case u'u':
      case u'U':
      case u'o':
      case u'O':
      case u'x':
      case u'X': Integer(d, Take(position)); return;
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
      case u'a':
      case u'A': Float(d, Take(position)); return;
      case u'c':
      case u'C': {
        const PL_FormatArg &a = Take(position);
        if (a.kind != PL_FormatArgKind::kSigned && a.kind != PL_FormatArgKind::kUnsigned) {
          Marker(d.conversion, KindName(a.kind));
          return;
        }
        const UInt64 v = a.kind == PL_FormatArgKind::kSigned ? UInt64(a.i) : a.u;
        std::u16string t;
        if (d.conversion == u'c') {
          const auto byte = UInt8(v);
          t += char16_t(byte < 0x80 ? byte : PL_MacRomanToUnicode(byte));
        } else if ((v & 0xFFFFFFFF) < 0x10000) {
          t += char16_t(v & 0xFFFF);
        } else if ((v & 0xFFFFFFFF) <= 0x10FFFF) {
          const UInt32 cp = UInt32(v) - 0x10000;
          t += char16_t(0xD800 + (cp >> 10));
          t += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
          t += u'\uFFFD';
        }
        struct Directive plain = d;
        plain.precision = -1;
        Pad(plain, std::move(t));
        return;
      }
      case u's':
      case u'S':
      case u'@': Text(d, Take(position)); return;
      case u'p': {
        const PL_FormatArg &a = Take(position);
        if (a.kind != PL_FormatArgKind::kPointer && a.kind != PL_FormatArgKind::kCFObject &&
            a.kind != PL_FormatArgKind::kCString && a.kind != PL_FormatArgKind::kUniChars) {
          Marker(d.conversion, KindName(a.kind));
          return;
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%llx", (unsigned long long)reinterpret_cast<uintptr_t>(a.p));
        struct Directive plain = d;
        plain.precision = -1;
        Pad(plain, PL_ASCIIToUTF16(buf));
        return;
      }
      case u'n':
        Take(position);
        Marker(u'n', "unsupported");
        return;
      default: out_.append(whole); return;  // not a directive we know: keep the text
    }
  }

  std::u16string_view fmt_;
  PL_FormatArgList args_;
  size_t next_ = 0;
  std::u16string out_;
};

std::mutex &OutputMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

std::u16string PL_FormatUTF16(std::u16string_view format, PL_FormatArgList args) {
  return Formatter(format, args).Run();
}

std::string PL_FormatUTF8(std::string_view format, PL_FormatArgList args) {
  return PL_EncodeUTF8Lenient(PL_FormatUTF16(PL_DecodeUTF8Lenient(format), args));
}

int PL_VPrintf(const char *format, PL_FormatArgList args) {
  const std::string text = PL_FormatUTF8(format != nullptr ? format : "", args);
  std::lock_guard<std::mutex> lock(OutputMutex());
  const size_t n = std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return int(n);
}

int PL_VSNPrintf(char *buffer, size_t size, const char *format, PL_FormatArgList args) {
  const std::string text = PL_FormatUTF8(format != nullptr ? format : "", args);
  if (buffer != nullptr && size > 0) {
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    // Cut at the start of a UTF-8 character, never inside one.
    if (n < text.size()) {
      while (n > 0 && (UInt8(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
  }
  return int(text.size());
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format,
                                                 PL_FormatArgList arguments) {
  if (format == nullptr) return nullptr;
  return PL_CFStringCreate(PL_FormatUTF16(PL_CFStringText(format), arguments));
}

void CFStringAppendFormatAndArguments(CFMutableStringRef theString, CFDictionaryRef, CFStringRef format,
                                      PL_FormatArgList arguments) {
  if (theString == nullptr || format == nullptr) return;
  const std::u16string text = PL_FormatUTF16(PL_CFStringText(format), arguments);
  CFStringAppendCharacters(theString, reinterpret_cast<const UniChar *>(text.data()), CFIndex(text.size()));
}
