// Settings records described by tables: one row per field (dictionary key, log title, place in the record,
// kind, range, default) and generic walkers that make a record's defaults, compare it, validate it, write and
// read its dictionary and write its log text from its table. The records of engine/runtime/method_settings.h
// and engine/runtime/project_settings.h are described here; their BZ_ functions are thin wrappers.
//
// What a table cannot say (defaults that depend on the sources, checks across fields, old stored forms, lines
// of their own in the log) each record adds through the hooks of its description, which run after the
// table's work.
//
// The walkers keep no state; callers own the records and the dictionaries they create.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>
#include <utility>

struct BZ_StatMovInfo;  // engine/runtime/project_types.h; an array, source 0 first, then source 1

// How a field is held in its record and stored in its dictionary.
enum BZ_SettKind : UInt8 {
  kBZ_SettBoolean = 1,  // Boolean; a CFBoolean
  kBZ_SettSInt32,       // SInt32; a 32-bit number
  kBZ_SettUInt32,       // UInt32; a 32-bit number
  kBZ_SettCodecType,    // CodecType; a 32-bit number, never 0; logged as four characters
  kBZ_SettOSType,       // OSType; a four-character string, never empty
  kBZ_SettFloat32,      // float; a float number
  kBZ_SettFloat64,      // double; a 64-bit float number
  kBZ_SettRect,         // Rect; four SInt16 numbers (top, left, bottom, right), edges in order, none negative
  kBZ_SettMargins,      // Rect of margins; four SInt16 numbers, none negative
};

// What reading gives a field whose key is missing or whose value is of the wrong type or out of range.
enum BZ_SettMissing : UInt8 {
  kBZ_SettMissingDefault = 1,  // the default the record's maker gives
  kBZ_SettMissingKeep,         // the value the record has
  kBZ_SettMissingFalse,        // false
};

// A field without a default of its own: its maker leaves it (apply), or the record's hook makes it.
constexpr double kBZ_SettNoDefault = std::numeric_limits<double>::quiet_NaN();

struct BZ_SettField {
  const char *key = nullptr;       // its key in the record's dictionary
  const char *logTitle = nullptr;  // its line in the log (after the record's indent); NULL: not logged
  size_t offset = 0;               // of the field in the record (BZ_SETT_AT)
  BZ_SettKind kind = kBZ_SettBoolean;
  double lo = -HUGE_VAL;           // range of a number: reading takes only finite values inside it, and a
  double hi = HUGE_VAL;            // checked field is validated against it
  double def = kBZ_SettNoDefault;  // default of a number or Boolean; also what a corrected NaN becomes
  const Rect *defRect = nullptr;   // default of a rectangle
  BZ_SettMissing missing = kBZ_SettMissingDefault;
  bool compared = true;   // counts in the equality with the defaults
  bool checked = false;   // validated against lo .. hi (corrected to the nearer bound)
  int decimals = 2;       // of a real in the log
  bool logIsZero = false;  // logged as a Boolean that is true when the value is 0
  bool (*logged)(const void *record) = nullptr;  // the line is written only when this answers true; NULL: always
};

// A record: its table and what the table cannot say. Hooks may be NULL.
struct BZ_SettRecordDescr {
  const BZ_SettField *fields = nullptr;
  size_t numFields = 0;
  size_t recordSize = 0;
  const char *logHeading = nullptr;  // first line of its log text; NULL: the record has none
  const char *logIndent = "";        // put before each field's title
  // Defaults that depend on the sources or the analysis, after the table's.
  void (*makeDefaults)(const BZ_StatMovInfo *statMovInfo, void *record) = nullptr;
  // Checks of fields that depend on other fields or the sources, after the table's; true when all passed.
  bool (*validate)(const BZ_StatMovInfo *statMovInfo, void *record, Boolean correcting) = nullptr;
  // Repairs after reading (old stored forms, ranges that depend on other fields), given the defaults as the
  // maker makes them.
  void (*afterReading)(CFDictionaryRef dict, const void *defaults, void *record) = nullptr;
  // Lines of its own between the heading and the fields' lines.
  void (*logLead)(const void *record, Ptr textPtr, SInt32 *textSize) = nullptr;
};

// The place and kind of a field; fails to compile when the member's type does not hold that kind.
#define BZ_SETT_AT(Record, member, settKind) \
  .offset = offsetof(Record, member),        \
  .kind = BZ_SettKindOf<std::remove_cvref_t<decltype(std::declval<Record &>().member)>>(settKind)

template <class T>
consteval BZ_SettKind BZ_SettKindOf(BZ_SettKind kind) {
  const bool fits = kind == kBZ_SettBoolean ? std::is_same_v<T, Boolean>
                    : kind == kBZ_SettSInt32 ? std::is_same_v<T, SInt32>
                    : kind == kBZ_SettUInt32 || kind == kBZ_SettCodecType || kind == kBZ_SettOSType
                        ? std::is_same_v<T, UInt32>
                    : kind == kBZ_SettFloat32 ? std::is_same_v<T, float>
                    : kind == kBZ_SettFloat64 ? std::is_same_v<T, double>
                                              : std::is_same_v<T, Rect>;
  if (!fits) throw "the member's type does not hold this kind of setting";
  return kind;
}

// Every field with a default gets it, then the record's hook runs; the others keep their values.
void BZ_MakeDefaultSettRecord(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo, void *record);
// The compared fields equal: Booleans by truth, reals within kBZ_SettEqualTolerance, the rest exactly.
Boolean BZ_EqualSettRecords(const BZ_SettRecordDescr &descr, const void *record1, const void *record2);
// The record equals its defaults (made from a copy, so fields without defaults compare with themselves).
Boolean BZ_SettRecordEqualDefault(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo,
                                  const void *record);
// Checks every checked field, then the hook; every check runs even after a failure. With correcting, an
// invalid field goes to the nearer bound of its range, a NaN (or an infinity without a finite bound) to its
// default.
Boolean BZ_ValidateSettRecord(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo, void *record,
                              Boolean correcting);
// Owned dictionary (CFRelease) with every field under its key.
CFDictionaryRef BZ_CreateSettRecordDict(const BZ_SettRecordDescr &descr, const void *record);
// Reads every field from dict (NULL reads like an empty dictionary); what cannot be read follows its rule,
// with the defaults of statMovInfo. Then the hook.
void BZ_GetSettRecordFromDict(const BZ_SettRecordDescr &descr, const BZ_StatMovInfo *statMovInfo,
                              CFDictionaryRef dict, void *record);
// The heading, the hook's lines and a line per logged field; nothing for a record without a heading.
void BZ_AddSettRecordToTextPtr(const BZ_SettRecordDescr &descr, const void *record, Ptr textPtr, SInt32 *textSize);

// The checks the tables use, for the hooks: true when *value lies in lo .. hi; with correcting an outside
// value goes to the nearer bound.
bool BZ_CheckSettRange(SInt32 *value, SInt32 lo, SInt32 hi, Boolean correcting);
