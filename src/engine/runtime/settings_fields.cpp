// Generic walkers over the field tables of settings records: defaults, equality, validation, dictionaries and
// log text.
#include "engine/runtime/settings_fields.h"

#include "engine/runtime/method_settings.h"
#include "general/cf_encodings.h"
#include "general/strings_text.h"
#include "platform/core/cf_array.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_string.h"

#include <cassert>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <class T>
T &At(void *record, const BZ_SettField &f) {
  return *reinterpret_cast<T *>(static_cast<char *>(record) + f.offset);
}

template <class T>
const T &At(const void *record, const BZ_SettField &f) {
  return *reinterpret_cast<const T *>(static_cast<const char *>(record) + f.offset);
}

CFStringRef Key(const BZ_SettField &f) { return PL_CFStringMakeConstant(f.key); }

bool IsReal(BZ_SettKind kind) { return kind == kBZ_SettFloat32 || kind == kBZ_SettFloat64; }

double RealOf(const void *record, const BZ_SettField &f) {
  return f.kind == kBZ_SettFloat32 ? double(At<float>(record, f)) : At<double>(record, f);
}

void SetReal(void *record, const BZ_SettField &f, double value) {
  if (f.kind == kBZ_SettFloat32)
    At<float>(record, f) = float(value);
  else
    At<double>(record, f) = value;
}

bool RectsEqual(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// A NaN has no nearer bound, nor has an infinity beyond an infinite one: both become the default.
bool CheckReal(void *record, const BZ_SettField &f, Boolean correcting) {
  const double v = RealOf(record, f);
  if (std::isfinite(v) && v >= f.lo && v <= f.hi) return true;
  if (correcting) {
    double c = std::isnan(v) ? f.def : v < f.lo ? f.lo : v > f.hi ? f.hi : v;
    if (!std::isfinite(c)) c = f.def;
    SetReal(record, f, c);
  }
  return false;
}

// The stored value of a field when it can be used.
bool ReadField(CFDictionaryRef dict, const BZ_SettField &f, void *record) {
  switch (f.kind) {
    case kBZ_SettBoolean: {
      Boolean v = false;
      if (!CF_GetBooleanFromDict(dict, Key(f), &v)) return false;
      At<Boolean>(record, f) = v != 0;
      return true;
    }
    case kBZ_SettSInt32:
    case kBZ_SettUInt32:
    case kBZ_SettCodecType: {
      SInt32 v = 0;
      if (!CF_GetSInt32FromDict(dict, Key(f), &v) || v < f.lo || v > f.hi) return false;
      if (f.kind == kBZ_SettCodecType && v == 0) return false;
      if (f.kind == kBZ_SettSInt32)
        At<SInt32>(record, f) = v;
      else
        At<UInt32>(record, f) = UInt32(v);
      return true;
    }
    case kBZ_SettOSType: {
      const OSType v = CF_GetOSTypeFromDict(dict, Key(f));
      if (v == 0) return false;
      At<OSType>(record, f) = v;
      return true;
    }
    case kBZ_SettFloat32: {
      Float32 v = 0;
      if (!CF_GetFloat32FromDict(dict, Key(f), &v) || !std::isfinite(v) || v < f.lo || v > f.hi) return false;
      At<float>(record, f) = v;
      return true;
    }
    case kBZ_SettFloat64: {
      Float64 v = 0;
      if (!CF_GetFloat64FromDict(dict, Key(f), &v) || !std::isfinite(v) || v < f.lo || v > f.hi) return false;
      At<double>(record, f) = v;
      return true;
    }
    case kBZ_SettRect:
    case kBZ_SettMargins: {
      Rect r{-1, -1, -1, -1};
      if (!CF_GetRectFromDict(dict, Key(f), &r)) return false;
      if (r.top < 0 || r.left < 0 || r.bottom < 0 || r.right < 0) return false;
      if (f.kind == kBZ_SettRect && (r.bottom < r.top || r.right < r.left)) return false;
      At<Rect>(record, f) = r;
      return true;
    }
  }
  return false;
}

void CopyField(const BZ_SettField &f, const void *from, void *to) {
  const size_t sizes[] = {0, sizeof(Boolean), sizeof(SInt32), sizeof(UInt32), sizeof(UInt32), sizeof(OSType),
                          sizeof(float), sizeof(double), sizeof(Rect), sizeof(Rect)};
  std::memcpy(static_cast<char *>(to) + f.offset, static_cast<const char *>(from) + f.offset, sizes[f.kind]);
}

void AddFieldLine(const BZ_SettRecordDescr &descr, const BZ_SettField &f, const void *record, Ptr textPtr,
                  SInt32 *textSize) {
  const std::string line = std::string(descr.logIndent) + f.logTitle;
  CFStringRef title = PL_CFStringMakeConstant(line.c_str());
  if (f.logIsZero) {
    GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, title, At<SInt32>(record, f) == 0);
    return;
  }
  switch (f.kind) {
    case kBZ_SettBoolean: GL_AddBooleanFieldDescrToTextPtr(textPtr, textSize, title, At<Boolean>(record, f)); break;
    case kBZ_SettSInt32: GL_AddLongFieldDescrToTextPtr(textPtr, textSize, title, At<SInt32>(record, f)); break;
    case kBZ_SettUInt32: GL_AddLongFieldDescrToTextPtr(textPtr, textSize, title, At<UInt32>(record, f)); break;
    case kBZ_SettCodecType:
    case kBZ_SettOSType: GL_AddOSTypeFieldDescrToTextPtr(textPtr, textSize, title, At<UInt32>(record, f)); break;
    case kBZ_SettFloat32:
    case kBZ_SettFloat64:
      GL_AddFloatFieldDescrToTextPtr(textPtr, textSize, title, float(RealOf(record, f)), f.decimals);
      break;
    case kBZ_SettRect:
    case kBZ_SettMargins: GL_AddRectFieldDescrToTextPtr(textPtr, textSize, title, &At<Rect>(record, f)); break;
  }
}

// A copy of the record, aligned for any of its fields.
std::vector<std::max_align_t> CopyOf(const BZ_SettRecordDescr &descr, const void *record) {
  std::vector<std::max_align_t> copy((descr.recordSize + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
  std::memcpy(copy.data(), record, descr.recordSize);
  return copy;
}

}  // namespace

bool BZ_CheckSettRange(SInt32 *value, SInt32 lo, SInt32 hi, Boolean correcting) {
  if (*value < lo) {
    if (correcting) *value = lo;
    return false;
  }
  if (*value > hi) {
    if (correcting) *value = hi;
    return false;
  }
  return true;
}

void BZ_MakeDefaultSettRecord(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo, void *record) {
  if (record == nullptr) return;
  for (size_t i = 0; i < descr.numFields; ++i) {
    const BZ_SettField &f = descr.fields[i];
    if (f.kind == kBZ_SettRect || f.kind == kBZ_SettMargins) {
      if (f.defRect != nullptr) At<Rect>(record, f) = *f.defRect;
      continue;
    }
    if (std::isnan(f.def)) continue;
    switch (f.kind) {
      case kBZ_SettBoolean: At<Boolean>(record, f) = f.def != 0; break;
      case kBZ_SettSInt32: At<SInt32>(record, f) = SInt32(f.def); break;
      case kBZ_SettUInt32:
      case kBZ_SettCodecType:
      case kBZ_SettOSType: At<UInt32>(record, f) = UInt32(f.def); break;
      default: SetReal(record, f, f.def); break;
    }
  }
  if (descr.makeDefaults != nullptr) descr.makeDefaults(statMovInfo, record);
}

Boolean BZ_EqualSettRecords(const BZ_SettRecordDescr &descr, const void *record1, const void *record2) {
  if (record1 == nullptr || record2 == nullptr) return false;
  for (size_t i = 0; i < descr.numFields; ++i) {
    const BZ_SettField &f = descr.fields[i];
    if (!f.compared) continue;
    bool equal = true;
    switch (f.kind) {
      case kBZ_SettBoolean: equal = (At<Boolean>(record1, f) != 0) == (At<Boolean>(record2, f) != 0); break;
      case kBZ_SettSInt32:
      case kBZ_SettUInt32:
      case kBZ_SettCodecType:
      case kBZ_SettOSType: equal = At<UInt32>(record1, f) == At<UInt32>(record2, f); break;
      case kBZ_SettFloat32:
      case kBZ_SettFloat64:
        equal = std::fabs(RealOf(record1, f) - RealOf(record2, f)) <= kBZ_SettEqualTolerance;
        break;
      case kBZ_SettRect:
      case kBZ_SettMargins: equal = RectsEqual(At<Rect>(record1, f), At<Rect>(record2, f)); break;
    }
    if (!equal) return false;
  }
  return true;
}

Boolean BZ_SettRecordEqualDefault(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo,
                                  const void *record) {
  if (record == nullptr) return false;
  std::vector<std::max_align_t> defaults = CopyOf(descr, record);
  BZ_MakeDefaultSettRecord(descr, statMovInfo, defaults.data());
  return BZ_EqualSettRecords(descr, record, defaults.data());
}

Boolean BZ_ValidateSettRecord(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo, void *record,
                              Boolean correcting) {
  if (record == nullptr) return false;
  bool valid = true;
  for (size_t i = 0; i < descr.numFields; ++i) {
    const BZ_SettField &f = descr.fields[i];
    if (!f.checked) continue;
    if (IsReal(f.kind)) {
      valid &= CheckReal(record, f, correcting);
    } else {
      assert(f.kind == kBZ_SettSInt32);
      valid &= BZ_CheckSettRange(&At<SInt32>(record, f), SInt32(f.lo), SInt32(f.hi), correcting);
    }
  }
  if (descr.validate != nullptr) valid &= descr.validate(statMovInfo, record, correcting);
  return valid;
}

CFDictionaryRef BZ_CreateSettRecordDict(const BZ_SettRecordDescr &descr, const void *record) {
  if (record == nullptr) return nullptr;
  CFMutableDictionaryRef d = CF_DictCreateMut();
  for (size_t i = 0; i < descr.numFields; ++i) {
    const BZ_SettField &f = descr.fields[i];
    switch (f.kind) {
      case kBZ_SettBoolean: CF_AddBooleanToDict(d, Key(f), At<Boolean>(record, f)); break;
      case kBZ_SettSInt32: CF_AddSInt32ToDict(d, Key(f), At<SInt32>(record, f)); break;
      case kBZ_SettUInt32:
      case kBZ_SettCodecType: CF_AddSInt32ToDict(d, Key(f), SInt32(At<UInt32>(record, f))); break;
      case kBZ_SettOSType: CF_AddOSTypeToDict(d, Key(f), At<OSType>(record, f)); break;
      case kBZ_SettFloat32: CF_AddFloat32ToDict(d, Key(f), At<float>(record, f)); break;
      case kBZ_SettFloat64: CF_AddFloat64ToDict(d, Key(f), At<double>(record, f)); break;
      case kBZ_SettRect:
      case kBZ_SettMargins:
        if (CFArrayRef array = CF_CopyRectToCFArray(&At<Rect>(record, f))) {
          CFDictionarySetValue(d, Key(f), array);
          CFRelease(array);
        }
        break;
    }
  }
  return d;
}

void BZ_GetSettRecordFromDict(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo,
                              CFDictionaryRef dict, void *record) {
  if (record == nullptr) return;
  std::vector<std::max_align_t> defaults = CopyOf(descr, record);
  BZ_MakeDefaultSettRecord(descr, statMovInfo, defaults.data());
  for (size_t i = 0; i < descr.numFields; ++i) {
    const BZ_SettField &f = descr.fields[i];
    if (ReadField(dict, f, record)) continue;
    if (f.missing == kBZ_SettMissingDefault)
      CopyField(f, defaults.data(), record);
    else if (f.missing == kBZ_SettMissingFalse)
      At<Boolean>(record, f) = false;
  }
  if (descr.afterReading != nullptr) descr.afterReading(dict, defaults.data(), record);
}

void BZ_AddSettRecordToTextPtr(const BZ_SettRecordDescr &descr, const void *record, Ptr textPtr, SInt32 *textSize) {
  if (record == nullptr || descr.logHeading == nullptr) return;
  GL_AddCStringToTextPtr(textPtr, textSize, descr.logHeading);
  if (descr.logLead != nullptr) descr.logLead(record, textPtr, textSize);
  for (size_t i = 0; i < descr.numFields; ++i) {
    const BZ_SettField &f = descr.fields[i];
    if (f.logTitle != nullptr && (f.logged == nullptr || f.logged(record)))
      AddFieldLine(descr, f, record, textPtr, textSize);
  }
}
