// Multilingual Text Engine stand-in.
#include "platform/core/multilingual_text.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/file_urls.h"
#include "platform/core/files.h"
#include "platform/core/fonts.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Attributes {
  SInt16 fontID;
  Fixed size;
  Style style;
  RGBColor color;
  bool operator<(const Attributes &o) const {
    return std::tie(fontID, size, style, color.red, color.green, color.blue) <
           std::tie(o.fontID, o.size, o.style, o.color.red, o.color.green, o.color.blue);
  }
  bool operator==(const Attributes &o) const { return !(*this < o) && !(o < *this); }
};

Attributes gDefaultAttributes{applFont, 12 << 16, 0, RGBColor{0, 0, 0}};
bool gInitialized = false;

}  // namespace

struct OpaqueTXNObject {
  std::u16string text;
  // One palette index per code unit: runs without a run list to split and merge.
  std::vector<UInt16> attrIndex;
  std::vector<Attributes> palette;
  Attributes typing;  // attributes of text inserted at an empty selection with no text before it
  TXNOffset selStart = 0, selEnd = 0;
  TXNFrameOptions frameOptions = 0;
  HIRect frame{};
  UInt32 privileges = kTXNReadWrite;
  TXNMargins margins{0, 0, 0, 0};
  SInt32 justification = kTXNFlushDefault;
  UInt32 carbonEvents = 0;
  void *cgContext = nullptr;
  Boolean hasBackground = false;
  RGBColor background{0xFFFF, 0xFFFF, 0xFFFF};
  std::vector<PL_TXNRun> runs;  // built on demand
  bool runsValid = false;
};

struct OpaqueTXNFontMenuObject {
  MenuRef menu;
  SInt16 menuID;
};

namespace {

// Never destroyed: controls that own text objects may be destroyed after this file's statics at exit.
std::set<TXNObject> &gObjects = *new std::set<TXNObject>;
PL_TXNChangedProc gChangedProc = nullptr;
PL_TXNScrapProcs gScrapProcs{};
PL_TXNPrintProcs gPrintProcs{};
std::u16string gScrap;

bool Alive(TXNObject o) { return o != nullptr && gObjects.count(o) != 0; }

void Changed(TXNObject o) {
  o->runsValid = false;
  if (gChangedProc != nullptr) gChangedProc(o);
}

TXNOffset Length(TXNObject o) { return TXNOffset(o->text.size()); }

// Resolves a range given by the caller: the selection, the end constant, and offsets beyond the text.
void Resolve(TXNObject o, TXNOffset start, TXNOffset end, TXNOffset *outStart, TXNOffset *outEnd) {
  if (start == kTXNUseCurrentSelection) {
    start = o->selStart;
    end = o->selEnd;
  }
  start = std::min(start, Length(o));
  end = std::min(end, Length(o));
  if (start > end) std::swap(start, end);
  *outStart = start;
  *outEnd = end;
}

UInt16 Intern(TXNObject o, const Attributes &a) {
  for (size_t i = 0; i < o->palette.size(); ++i)
    if (o->palette[i] == a) return UInt16(i);
  // A text object sees few distinct attribute sets; should one see more than the index holds, the last
  // entry is reused rather than the index overflowing.
  if (o->palette.size() >= 0xFFFF) {
    o->palette.back() = a;
    return UInt16(o->palette.size() - 1);
  }
  o->palette.push_back(a);
  return UInt16(o->palette.size() - 1);
}

// The attributes that text inserted at `offset` takes: those of the character before it.
Attributes AttributesAt(TXNObject o, TXNOffset offset) {
  if (offset > 0 && offset <= Length(o)) return o->palette[o->attrIndex[offset - 1]];
  if (!o->text.empty()) return o->palette[o->attrIndex[0]];
  return o->typing;
}

void Replace(TXNObject o, TXNOffset start, TXNOffset end, const std::u16string &with) {
  const UInt16 index = Intern(o, AttributesAt(o, start));
  o->text.replace(start, end - start, with);
  o->attrIndex.erase(o->attrIndex.begin() + start, o->attrIndex.begin() + end);
  o->attrIndex.insert(o->attrIndex.begin() + start, with.size(), index);
  o->selStart = o->selEnd = start + TXNOffset(with.size());
}

std::u16string DecodeBytes(const void *bytes, ByteCount size) {
  return PL_DecodeUTF8Lenient(std::string_view(static_cast<const char *>(bytes), size));
}

std::string MacRomanBytes(std::u16string_view text) {
  std::string out(text.size(), '?');
  for (size_t i = 0; i < text.size(); ++i) {
    UInt8 byte = '?';
    if (PL_UnicodeToMacRoman(text[i], &byte)) out[i] = char(byte);
  }
  return out;
}

void BuildRuns(TXNObject o) {
  if (o->runsValid) return;
  o->runs.clear();
  for (TXNOffset i = 0; i < Length(o); ++i) {
    const Attributes &a = o->palette[o->attrIndex[i]];
    if (!o->runs.empty() && o->runs.back().end == i && o->attrIndex[i] == o->attrIndex[i - 1]) {
      o->runs.back().end = i + 1;
      continue;
    }
    o->runs.push_back(PL_TXNRun{i, i + 1, a.fontID, a.size, a.style, a.color});
  }
  o->runsValid = true;
}

// Applies one attribute tag's value to a set.
OSStatus ApplyAttribute(const TXNTypeAttributes &t, Attributes *a) {
  switch (t.tag) {
    case kTXNQDFontFamilyIDAttribute:
      if (t.size != sizeof(SInt16)) return kTXNAttributeTagInvalidForRunErr;
      a->fontID = SInt16(t.data.dataValue);
      return noErr;
    case kTXNQDFontSizeAttribute:
      if (t.size != sizeof(Fixed)) return kTXNAttributeTagInvalidForRunErr;
      if (Fixed(t.data.dataValue) <= 0) return paramErr;
      a->size = Fixed(t.data.dataValue);
      return noErr;
    case kTXNQDFontStyleAttribute:
      if (t.size != sizeof(Style)) return kTXNAttributeTagInvalidForRunErr;
      a->style = Style(t.data.dataValue);
      return noErr;
    case kTXNQDFontColorAttribute:
      if (t.size != sizeof(RGBColor) || t.data.dataPtr == nullptr) return kTXNAttributeTagInvalidForRunErr;
      a->color = *static_cast<const RGBColor *>(t.data.dataPtr);
      return noErr;
    default:
      return kTXNAttributeTagInvalidForRunErr;
  }
}

std::string PathOfURL(CFURLRef url) {
  std::vector<UInt8> path(4096);
  if (url == nullptr || !CFURLGetFileSystemRepresentation(url, true, path.data(), CFIndex(path.size())))
    return std::string();
  return reinterpret_cast<const char *>(path.data());
}

// The folder and leaf name of a path.
void SplitPath(const std::string &path, std::string *folder, std::string *name) {
  const size_t slash = path.find_last_of('/');
  *folder = slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : path.substr(0, slash));
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

OSStatus CreateFileIn(const FSRef *folder, const std::string &name, FSRef *made) {
  HFSUniStr255 uniName;
  OSStatus err = PL_HFSUniStr255FromUTF8(name.c_str(), &uniName);
  if (err != noErr) return err;
  return FSCreateFileUnicode(folder, uniName.length, uniName.unicode, kFSCatInfoNone, nullptr, made, nullptr);
}

OSStatus WriteWholeFork(const FSRef *file, const std::string &bytes) {
  HFSUniStr255 dataFork;
  FSGetDataForkName(&dataFork);
  FSIORefNum fork = 0;
  OSStatus err = FSOpenFork(file, dataFork.length, dataFork.unicode, fsWrPerm, &fork);
  if (err != noErr) return err;
  err = FSSetForkSize(fork, fsFromStart, 0);
  if (err == noErr && !bytes.empty())
    err = FSWriteFork(fork, fsFromStart, 0, ByteCount(bytes.size()), bytes.data(), nullptr);
  if (err == noErr) err = FSFlushFork(fork);
  const OSStatus closeErr = FSCloseFork(fork);
  return err != noErr ? err : closeErr;
}

}  // namespace

// ---- Objects ----

OSStatus TXNInitTextension(const TXNMacOSPreferredFontDescription *iDefaultFonts, ItemCount iCountDefaultFonts,
                           TXNInitOptions) {
  if (gInitialized) return kTXNAlreadyInitializedErr;
  gInitialized = true;
  if (iDefaultFonts != nullptr && iCountDefaultFonts > 0) {
    gDefaultAttributes.fontID = SInt16(iDefaultFonts[0].fontID);
    if (iDefaultFonts[0].pointSize > 0) gDefaultAttributes.size = iDefaultFonts[0].pointSize;
    gDefaultAttributes.style = iDefaultFonts[0].fontStyle;
  }
  return noErr;
}

void PL_ResetTextension() {
  gInitialized = false;
  gDefaultAttributes = Attributes{applFont, 12 << 16, 0, RGBColor{0, 0, 0}};
}

OSStatus TXNCreateObject(const HIRect *iFrameRect, TXNFrameOptions iFrameOptions, TXNObject *oTXNObject) {
  if (oTXNObject == nullptr) return paramErr;
  auto *o = new OpaqueTXNObject;
  if (iFrameRect != nullptr) o->frame = *iFrameRect;
  o->frameOptions = iFrameOptions;
  o->privileges = (iFrameOptions & kTXNReadOnlyMask) ? kTXNReadOnly : kTXNReadWrite;
  o->typing = gDefaultAttributes;
  gObjects.insert(o);
  *oTXNObject = o;
  return noErr;
}

void TXNDeleteObject(TXNObject iTXNObject) {
  if (!Alive(iTXNObject)) return;
  gObjects.erase(iTXNObject);
  // The view lets go of it before it goes.
  if (gChangedProc != nullptr) gChangedProc(iTXNObject);
  delete iTXNObject;
}

TXNFrameOptions PL_TXNGetFrameOptions(TXNObject iTXNObject) {
  return Alive(iTXNObject) ? iTXNObject->frameOptions : 0;
}

// ---- Data ----

OSStatus TXNSetData(TXNObject iTXNObject, TXNDataType iDataType, const void *iDataPtr, ByteCount iDataSize,
                    TXNOffset iStartOffset, TXNOffset iEndOffset) {
  if (!Alive(iTXNObject)) return paramErr;
  if (iDataSize > 0x7FFFFFFF || (iDataPtr == nullptr && iDataSize > 0)) return paramErr;
  if (iDataType != kTXNTextData && iDataType != kTXNUnicodeTextData) return kTXNDataTypeNotAllowedErr;
  if (iDataType == kTXNUnicodeTextData && (iDataSize & 1) != 0) return paramErr;
  if (iTXNObject->privileges == kTXNReadOnly) return wrPermErr;
  std::u16string text;
  if (iDataType == kTXNTextData) {
    text = DecodeBytes(iDataPtr, iDataSize);
  } else {
    text.resize(iDataSize / 2);
    if (iDataSize > 0) std::memcpy(text.data(), iDataPtr, iDataSize);
  }
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartOffset, iEndOffset, &start, &end);
  Replace(iTXNObject, start, end, text);
  Changed(iTXNObject);
  return noErr;
}

OSStatus TXNGetDataEncoded(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset,
                           Handle *oDataHandle, TXNDataType iEncoding) {
  if (oDataHandle == nullptr) return paramErr;
  *oDataHandle = nullptr;
  if (!Alive(iTXNObject)) return paramErr;
  if (iEncoding != kTXNTextData && iEncoding != kTXNUnicodeTextData) return kTXNDataTypeNotAllowedErr;
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartOffset, iEndOffset, &start, &end);
  const std::u16string_view range = std::u16string_view(iTXNObject->text).substr(start, end - start);
  std::string bytes;
  if (iEncoding == kTXNTextData) {
    bytes = MacRomanBytes(range);
  } else {
    bytes.resize(range.size() * 2);
    if (!range.empty()) std::memcpy(bytes.data(), range.data(), bytes.size());
  }
  Handle h = NewHandle(Size(bytes.size()));
  if (h == nullptr) return memFullErr;
  if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
  *oDataHandle = h;
  return noErr;
}

OSStatus TXNGetData(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset, Handle *oDataHandle) {
  return TXNGetDataEncoded(iTXNObject, iStartOffset, iEndOffset, oDataHandle, kTXNUnicodeTextData);
}

ByteCount TXNDataSize(TXNObject iTXNObject) {
  return Alive(iTXNObject) ? ByteCount(iTXNObject->text.size() * 2) : 0;
}

// ---- Selection ----

void TXNGetSelection(TXNObject iTXNObject, TXNOffset *oStartOffset, TXNOffset *oEndOffset) {
  const bool alive = Alive(iTXNObject);
  if (oStartOffset != nullptr) *oStartOffset = alive ? iTXNObject->selStart : 0;
  if (oEndOffset != nullptr) *oEndOffset = alive ? iTXNObject->selEnd : 0;
}

OSStatus TXNSetSelection(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset) {
  if (!Alive(iTXNObject)) return paramErr;
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartOffset, iEndOffset, &start, &end);
  if (start == iTXNObject->selStart && end == iTXNObject->selEnd) return noErr;
  iTXNObject->selStart = start;
  iTXNObject->selEnd = end;
  Changed(iTXNObject);
  return noErr;
}

void TXNSelectAll(TXNObject iTXNObject) { TXNSetSelection(iTXNObject, kTXNStartOffset, kTXNEndOffset); }

Boolean TXNIsSelectionEmpty(TXNObject iTXNObject) {
  return !Alive(iTXNObject) || iTXNObject->selStart == iTXNObject->selEnd;
}

OSStatus TXNClear(TXNObject iTXNObject) {
  if (!Alive(iTXNObject)) return paramErr;
  if (iTXNObject->privileges == kTXNReadOnly) return wrPermErr;
  Replace(iTXNObject, iTXNObject->selStart, iTXNObject->selEnd, std::u16string());
  Changed(iTXNObject);
  return noErr;
}

// ---- Clipboard ----

void PL_SetTXNScrapProcs(const PL_TXNScrapProcs *procs) { gScrapProcs = procs ? *procs : PL_TXNScrapProcs{}; }

OSStatus TXNCopy(TXNObject iTXNObject) {
  if (!Alive(iTXNObject)) return paramErr;
  if (iTXNObject->selStart == iTXNObject->selEnd) return noErr;
  gScrap = iTXNObject->text.substr(iTXNObject->selStart, iTXNObject->selEnd - iTXNObject->selStart);
  if (gScrapProcs.put != nullptr) {
    CFStringRef s = PL_CFStringCreate(gScrap);
    if (s == nullptr) return memFullErr;
    gScrapProcs.put(s);
    CFRelease(s);
  }
  return noErr;
}

OSStatus TXNPaste(TXNObject iTXNObject) {
  if (!Alive(iTXNObject)) return paramErr;
  if (iTXNObject->privileges == kTXNReadOnly) return wrPermErr;
  std::u16string text = gScrap;
  if (gScrapProcs.copy != nullptr) {
    CFStringRef s = gScrapProcs.copy();
    text = s != nullptr ? PL_CFStringText(s) : std::u16string();
    if (s != nullptr) CFRelease(s);
  }
  Replace(iTXNObject, iTXNObject->selStart, iTXNObject->selEnd, text);
  Changed(iTXNObject);
  return noErr;
}

// ---- Controls, attributes and background ----

OSStatus TXNSetTXNObjectControls(TXNObject iTXNObject, Boolean iClearAll, ItemCount iControlCount,
                                 const TXNControlTag iControlTags[], const TXNControlData iControlData[]) {
  if (!Alive(iTXNObject) || (iControlCount > 0 && (iControlTags == nullptr || iControlData == nullptr)))
    return paramErr;
  for (ItemCount i = 0; i < iControlCount; ++i)
    if (iControlTags[i] != kTXNIOPrivilegesTag && iControlTags[i] != kTXNMarginsTag &&
        iControlTags[i] != kTXNJustificationTag && iControlTags[i] != kTXNUseCarbonEvents &&
        iControlTags[i] != kATSUCGContextTag)
      return paramErr;
  for (ItemCount i = 0; i < iControlCount; ++i)
    if (iControlTags[i] == kTXNMarginsTag && iControlData[i].marginsPtr == nullptr) return paramErr;
  if (iClearAll) {
    iTXNObject->privileges = kTXNReadWrite;
    iTXNObject->margins = TXNMargins{0, 0, 0, 0};
    iTXNObject->justification = kTXNFlushDefault;
    iTXNObject->carbonEvents = 0;
    iTXNObject->cgContext = nullptr;
  }
  for (ItemCount i = 0; i < iControlCount; ++i) {
    switch (iControlTags[i]) {
      case kTXNIOPrivilegesTag: iTXNObject->privileges = iControlData[i].uValue ? kTXNReadOnly : kTXNReadWrite; break;
      case kTXNMarginsTag: iTXNObject->margins = *iControlData[i].marginsPtr; break;
      case kTXNJustificationTag: iTXNObject->justification = iControlData[i].sValue; break;
      case kTXNUseCarbonEvents: iTXNObject->carbonEvents = iControlData[i].uValue; break;
      default: iTXNObject->cgContext = iControlData[i].ptr; break;
    }
  }
  Changed(iTXNObject);
  return noErr;
}

OSStatus TXNGetTXNObjectControls(TXNObject iTXNObject, ItemCount iControlCount, const TXNControlTag iControlTags[],
                                 TXNControlData oControlData[]) {
  if (!Alive(iTXNObject) || (iControlCount > 0 && (iControlTags == nullptr || oControlData == nullptr)))
    return paramErr;
  for (ItemCount i = 0; i < iControlCount; ++i) {
    switch (iControlTags[i]) {
      case kTXNIOPrivilegesTag: oControlData[i].uValue = iTXNObject->privileges; break;
      case kTXNMarginsTag:
        if (oControlData[i].marginsPtr == nullptr) return paramErr;
        *oControlData[i].marginsPtr = iTXNObject->margins;
        break;
      case kTXNJustificationTag: oControlData[i].sValue = iTXNObject->justification; break;
      case kTXNUseCarbonEvents: oControlData[i].uValue = iTXNObject->carbonEvents; break;
      case kATSUCGContextTag: oControlData[i].ptr = iTXNObject->cgContext; break;
      default: return paramErr;
    }
  }
  return noErr;
}

OSStatus TXNSetTypeAttributes(TXNObject iTXNObject, ItemCount iAttrCount, const TXNTypeAttributes iAttributes[],
                              TXNOffset iStartOffset, TXNOffset iEndOffset) {
  if (!Alive(iTXNObject) || (iAttrCount > 0 && iAttributes == nullptr)) return paramErr;
  // Every tag is checked before anything changes.
  Attributes probe = gDefaultAttributes;
  for (ItemCount k = 0; k < iAttrCount; ++k) {
    OSStatus err = ApplyAttribute(iAttributes[k], &probe);
    if (err != noErr) return err;
  }
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartOffset, iEndOffset, &start, &end);
  auto apply = [&](Attributes a) {
    for (ItemCount k = 0; k < iAttrCount; ++k) ApplyAttribute(iAttributes[k], &a);
    return a;
  };
  if (start == end) {
    iTXNObject->typing = apply(AttributesAt(iTXNObject, start));
  } else {
    std::map<UInt16, UInt16> mapped;
    for (TXNOffset i = start; i < end; ++i) {
      const UInt16 old = iTXNObject->attrIndex[i];
      auto it = mapped.find(old);
      if (it == mapped.end()) it = mapped.emplace(old, Intern(iTXNObject, apply(iTXNObject->palette[old]))).first;
      iTXNObject->attrIndex[i] = it->second;
    }
  }
  Changed(iTXNObject);
  return noErr;
}

OSStatus TXNGetContinuousTypeAttributes(TXNObject iTxnObject, TXNContinuousFlags *oContinuousFlags,
                                        ItemCount iCount, TXNTypeAttributes ioTypeAttributes[]) {
  if (!Alive(iTxnObject) || oContinuousFlags == nullptr || (iCount > 0 && ioTypeAttributes == nullptr))
    return paramErr;
  TXNObject o = iTxnObject;
  std::vector<Attributes> seen;
  if (o->selStart == o->selEnd) {
    seen.push_back(o->text.empty() ? o->typing : AttributesAt(o, o->selStart));
  } else {
    std::set<UInt16> indices(o->attrIndex.begin() + o->selStart, o->attrIndex.begin() + o->selEnd);
    for (UInt16 i : indices) seen.push_back(o->palette[i]);
  }
  TXNContinuousFlags flags = 0;
  for (ItemCount k = 0; k < iCount; ++k) {
    TXNTypeAttributes &t = ioTypeAttributes[k];
    auto all = [&](auto field) {
      return std::all_of(seen.begin(), seen.end(), [&](const Attributes &a) { return field(a) == field(seen[0]); });
    };
    switch (t.tag) {
      case kTXNQDFontFamilyIDAttribute:
        if (all([](const Attributes &a) { return a.fontID; })) {
          flags |= kTXNFontContinuousMask;
          t.data.dataValue = UInt32(UInt16(seen[0].fontID));
        }
        break;
      case kTXNQDFontSizeAttribute:
        if (all([](const Attributes &a) { return a.size; })) {
          flags |= kTXNSizeContinuousMask;
          t.data.dataValue = UInt32(seen[0].size);
        }
        break;
      case kTXNQDFontStyleAttribute:
        if (all([](const Attributes &a) { return a.style; })) {
          flags |= kTXNStyleContinuousMask;
          t.data.dataValue = seen[0].style;
        }
        break;
      case kTXNQDFontColorAttribute:
        if (t.data.dataPtr == nullptr) return paramErr;
        if (all([](const Attributes &a) { return (UInt64(a.color.red) << 32) | (UInt64(a.color.green) << 16) |
                                                 a.color.blue; })) {
          flags |= kTXNColorContinuousMask;
          *static_cast<RGBColor *>(t.data.dataPtr) = seen[0].color;
        }
        break;
      default:
        return kTXNAttributeTagInvalidForRunErr;
    }
  }
  *oContinuousFlags = flags;
  return noErr;
}

OSStatus TXNSetBackground(TXNObject iTXNObject, const TXNBackground *iBackgroundInfo) {
  if (!Alive(iTXNObject) || iBackgroundInfo == nullptr) return paramErr;
  if (iBackgroundInfo->bgType != kTXNBackgroundTypeRGB) return paramErr;
  iTXNObject->hasBackground = true;
  iTXNObject->background = iBackgroundInfo->color;
  Changed(iTXNObject);
  return noErr;
}

// ---- Find ----

OSStatus TXNFind(TXNObject iTXNObject, const TXNMatchTextRecord *iMatchTextDataPtr, TXNDataType iDataType,
                 TXNMatchOptions iMatchOptions, TXNOffset iStartSearchOffset, TXNOffset iEndSearchOffset,
                 TXNFindUPP iFindProc, SInt32 iRefCon, TXNOffset *oStartMatchOffset, TXNOffset *oEndMatchOffset) {
  if (!Alive(iTXNObject) || iMatchTextDataPtr == nullptr || oStartMatchOffset == nullptr ||
      oEndMatchOffset == nullptr || iMatchTextDataPtr->iTextToMatchLength < 0 ||
      (iMatchTextDataPtr->iTextPtr == nullptr && iMatchTextDataPtr->iTextToMatchLength > 0))
    return paramErr;
  if (iDataType != kTXNTextData && iDataType != kTXNUnicodeTextData) return kTXNDataTypeNotAllowedErr;
  *oStartMatchOffset = *oEndMatchOffset = kTXNUseCurrentSelection;
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartSearchOffset, iEndSearchOffset, &start, &end);
  const std::u16string_view range = std::u16string_view(iTXNObject->text).substr(start, end - start);
  if (iFindProc != nullptr) {
    std::string bytes;
    if (iDataType == kTXNTextData) {
      bytes = MacRomanBytes(range);
    } else {
      bytes.assign(reinterpret_cast<const char *>(range.data()), range.size() * 2);
    }
    Boolean found = false;
    TXNOffset s = 0, e = 0;
    OSStatus err = iFindProc(iMatchTextDataPtr, iDataType, iMatchOptions, bytes.data(),
                             iMatchTextDataPtr->iTextEncoding, start, ByteCount(bytes.size()), &s, &e, &found,
                             UInt32(iRefCon));
    if (err != noErr) return err;
    if (found) {
      *oStartMatchOffset = s;
      *oEndMatchOffset = e;
    }
    return noErr;
  }
  const auto *p = static_cast<const char *>(iMatchTextDataPtr->iTextPtr);
  const size_t n = size_t(iMatchTextDataPtr->iTextToMatchLength);
  std::u16string pattern;
  if (iMatchTextDataPtr->iTextEncoding == kTextEncodingUnicodeDefault) {
    if (n % 2 != 0) return paramErr;
    pattern.resize(n / 2);
    if (n > 0) std::memcpy(pattern.data(), p, n);
  } else {
    for (size_t i = 0; i < n; ++i) pattern.push_back(PL_MacRomanToUnicode(UInt8(p[i])));
  }
  if (pattern.empty()) return noErr;
  auto fold = [&](UniChar c) -> UniChar {
    if (!(iMatchOptions & kTXNIgnoreCaseMask)) return c;
    return (c >= 'A' && c <= 'Z') ? UniChar(c + 32) : c;
  };
  auto isWord = [](UniChar c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  for (size_t i = 0; i + pattern.size() <= range.size(); ++i) {
    size_t k = 0;
    while (k < pattern.size() && fold(range[i + k]) == fold(pattern[k])) ++k;
    if (k != pattern.size()) continue;
    if (iMatchOptions & kTXNEntireWordMask) {
      const size_t at = start + i, after = at + pattern.size();
      if ((at > 0 && isWord(iTXNObject->text[at - 1])) ||
          (after < iTXNObject->text.size() && isWord(iTXNObject->text[after])))
        continue;
    }
    *oStartMatchOffset = start + TXNOffset(i);
    *oEndMatchOffset = *oStartMatchOffset + TXNOffset(pattern.size());
    return noErr;
  }
  return noErr;
}

// ---- Files ----

OSStatus TXNReadFromCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset, CFDictionaryRef,
                          CFURLRef iFileURL, CFArrayRef *oDocumentAttributes) {
  if (oDocumentAttributes != nullptr) *oDocumentAttributes = nullptr;
  if (!Alive(iTXNObject) || iFileURL == nullptr) return paramErr;
  if (iTXNObject->privileges == kTXNReadOnly) return wrPermErr;
  FSRef file;
  if (!CFURLGetFSRef(iFileURL, &file)) return fnfErr;
  HFSUniStr255 dataFork;
  FSGetDataForkName(&dataFork);
  FSIORefNum fork = 0;
  OSStatus err = FSOpenFork(&file, dataFork.length, dataFork.unicode, fsRdPerm, &fork);
  if (err != noErr) return err;
  SInt64 size = 0;
  err = FSGetForkSize(fork, &size);
  std::string bytes;
  if (err == noErr && size > 0x7FFFFFFF) err = memFullErr;
  if (err == noErr) {
    bytes.resize(size_t(size));
    ByteCount got = 0;
    if (size > 0) err = FSReadFork(fork, fsFromStart, 0, ByteCount(size), bytes.data(), &got);
    if (err == eofErr) err = noErr;
    bytes.resize(got);
  }
  const OSStatus closeErr = FSCloseFork(fork);
  if (err == noErr) err = closeErr;
  if (err != noErr) return err;
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartOffset, iEndOffset, &start, &end);
  Replace(iTXNObject, start, end, DecodeBytes(bytes.data(), bytes.size()));
  Changed(iTXNObject);
  return noErr;
}

OSStatus TXNWriteRangeToCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset, CFDictionaryRef,
                              CFDictionaryRef, CFURLRef iFileURL) {
  if (!Alive(iTXNObject) || iFileURL == nullptr) return paramErr;
  const std::string path = PathOfURL(iFileURL);
  if (path.empty()) return paramErr;
  TXNOffset start = 0, end = 0;
  Resolve(iTXNObject, iStartOffset, iEndOffset, &start, &end);
  const std::string bytes =
      PL_EncodeUTF8Lenient(std::u16string_view(iTXNObject->text).substr(start, end - start));
  std::string folderPath, name;
  SplitPath(path, &folderPath, &name);
  FSRef folder;
  OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8 *>(folderPath.c_str()), &folder, nullptr);
  if (err != noErr) return err;
  FSRef target;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &target, nullptr) != noErr) {
    err = CreateFileIn(&folder, name, &target);
    if (err != noErr) return err;
    return WriteWholeFork(&target, bytes);
  }
  // The new text goes into a file beside the old one, which it replaces once it is whole.
  FSRef temporary;
  const std::string temporaryName = "." + name + ".writing";
  FSRef stale;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>((folderPath + "/" + temporaryName).c_str()), &stale,
                    nullptr) == noErr)
    FSDeleteObject(&stale);
  err = CreateFileIn(&folder, temporaryName, &temporary);
  if (err != noErr) return err;
  FSCatalogInfo info;
  if (FSGetCatalogInfo(&target, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr) == noErr)
    FSSetCatalogInfo(&temporary, kFSCatInfoFinderInfo, &info);
  err = WriteWholeFork(&temporary, bytes);
  if (err == noErr) err = PL_FSReplaceObject(&target, &temporary);
  if (err != noErr) FSDeleteObject(&temporary);
  return err;
}

// ---- Printing, focus and idle ----

void PL_SetTXNPrintProcs(const PL_TXNPrintProcs *procs) { gPrintProcs = procs ? *procs : PL_TXNPrintProcs{}; }

OSStatus TXNPrint(TXNObject iTXNObject) {
  if (!Alive(iTXNObject)) return paramErr;
  return gPrintProcs.print != nullptr ? gPrintProcs.print(iTXNObject) : unimpErr;
}

OSStatus TXNPageSetup(TXNObject iTXNObject) {
  if (!Alive(iTXNObject)) return paramErr;
  return gPrintProcs.pageSetup != nullptr ? gPrintProcs.pageSetup(iTXNObject) : unimpErr;
}

void TXNFocus(TXNObject, Boolean) {}
void TXNIdle(TXNObject) {}

// ---- Font menus ----

OSStatus TXNNewFontMenuObject(MenuRef iFontMenuHandle, SInt16 iMenuID, SInt16, TXNFontMenuObject *oTXNFontMenuObject) {
  if (iFontMenuHandle == nullptr || oTXNFontMenuObject == nullptr) return paramErr;
  *oTXNFontMenuObject = new OpaqueTXNFontMenuObject{iFontMenuHandle, iMenuID};
  return noErr;
}

OSStatus TXNDisposeFontMenuObject(TXNFontMenuObject iTXNFontMenuObject) {
  delete iTXNFontMenuObject;
  return noErr;
}

OSStatus TXNDoFontMenuSelection(TXNObject iTXNObject, TXNFontMenuObject iTXNFontMenuObject, SInt16 iMenuID,
                                SInt16 iMenuItem) {
  if (!Alive(iTXNObject) || iTXNFontMenuObject == nullptr) return paramErr;
  if (iMenuID != iTXNFontMenuObject->menuID || iMenuItem < 1 ||
      iMenuItem > SInt16(CountMenuItems(iTXNFontMenuObject->menu)))
    return paramErr;
  CFStringRef name = nullptr;
  OSStatus err = CopyMenuItemTextAsCFString(iTXNFontMenuObject->menu, MenuItemIndex(iMenuItem), &name);
  if (err != noErr) return err;
  Str255 pascalName;
  const Boolean ok = CFStringGetPascalString(name, pascalName, 256, kCFStringEncodingMacRoman);
  CFRelease(name);
  if (!ok) return paramErr;
  SInt16 family = 0;
  GetFNum(pascalName, &family);
  TXNTypeAttributes attr{kTXNQDFontFamilyIDAttribute, sizeof(SInt16), {}};
  attr.data.dataValue = UInt32(UInt16(family));
  return TXNSetTypeAttributes(iTXNObject, 1, &attr, kTXNUseCurrentSelection, kTXNUseCurrentSelection);
}

// ---- What the user-interface layer reads ----

const UniChar *PL_TXNGetCharacters(TXNObject object, TXNOffset *count) {
  if (count != nullptr) *count = Alive(object) ? Length(object) : 0;
  return Alive(object) ? reinterpret_cast<const UniChar *>(object->text.data()) : nullptr;
}

const PL_TXNRun *PL_TXNGetRuns(TXNObject object, ItemCount *count) {
  if (count != nullptr) *count = 0;
  if (!Alive(object)) return nullptr;
  BuildRuns(object);
  if (count != nullptr) *count = object->runs.size();
  return object->runs.data();
}

void PL_TXNGetLayout(TXNObject object, TXNMargins *margins, SInt32 *justification, Boolean *hasBackground,
                     RGBColor *background) {
  if (!Alive(object)) return;
  if (margins != nullptr) *margins = object->margins;
  if (justification != nullptr) *justification = object->justification;
  if (hasBackground != nullptr) *hasBackground = object->hasBackground;
  if (background != nullptr) *background = object->background;
}

void PL_SetTXNChangedProc(PL_TXNChangedProc proc) { gChangedProc = proc; }

Boolean PL_TXNIsObject(TXNObject object) { return Alive(object); }
