// Metadata items of movies, tracks and media over their 'meta' atoms in the movie model.
//
// The atom stays in the model as bytes where it was found ('moov', the movie's user data, 'trak' or
// 'mdia'); each call reads it, and a change writes it back whole, so the movie writer stores it as it is.
#include "platform/movie/movie_metadata.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

enum PL_MetaDataOwner : UInt8 { kPL_MetaMovie, kPL_MetaTrack, kPL_MetaMedia };

struct PL_MetaDataRecord {
  std::atomic<SInt32> refCount{1};
  PL_MetaDataOwner kind;
  void *owner;
};

namespace {

constexpr OSType kMetaHandler = 'mdta';
constexpr UInt32 kMaxKeySize = 0xFFFFFFF0u;

struct Key {
  OSType nameSpace;
  std::vector<UInt8> bytes;
};

struct Item {
  UInt32 keyIndex;  // from 1
  UInt32 dataType;  // type indicator: set byte 0 (well-known types), then the type
  UInt32 locale;
  std::vector<UInt8> value;
};

// A parsed 'meta' atom. Children other than 'hdlr', 'keys' and 'ilst' are kept and written back in front.
struct Meta {
  bool fullAtom = false;  // written with version and flags, as ISO files have it
  std::vector<UInt8> hdlr;
  std::vector<PL_RawAtom> others;
  std::vector<Key> keys;
  std::vector<Item> items;
};

// Where the atom's bytes live: a raw atom of a list, or the movie's user-data item.
struct Place {
  std::vector<UInt8> *payload = nullptr;
  std::vector<PL_RawAtom> *list = nullptr;      // where a new atom goes
};

OSType HandlerType(const std::vector<UInt8> &hdlr) { return hdlr.size() >= 12 ? PL_GetBE32(hdlr.data() + 8) : 0; }

OSStatus ParseKeys(const UInt8 *p, size_t n, Meta *meta) {
  if (n < 8) return kPL_MovieAtomErr;
  UInt32 count = PL_GetBE32(p + 4);
  size_t at = 8;
  for (UInt32 i = 0; i < count; ++i) {
    if (n - at < 8) return kPL_MovieAtomCountErr;
    UInt32 size = PL_GetBE32(p + at);
    if (size < 8 || size > n - at) return kPL_MovieAtomErr;
    meta->keys.push_back(Key{PL_GetBE32(p + at + 4), std::vector<UInt8>(p + at + 8, p + at + size)});
    at += size;
  }
  return noErr;
}

OSStatus ParseIlst(const UInt8 *p, size_t n, Meta *meta) {
  UInt64 offset = 0;
  PL_AtomHeader entry;
  OSStatus err;
  while ((err = PL_NextAtom(p, n, &offset, &entry, kPL_MovieAtomErr)) == noErr) {
    const UInt8 *q = p + entry.offset + entry.headerSize;
    UInt64 m = entry.size - entry.headerSize, inner = 0;
    PL_AtomHeader data;
    while ((err = PL_NextAtom(q, m, &inner, &data, kPL_MovieAtomErr)) == noErr) {
      if (data.type != 'data') continue;  // item information and names are not offered
      const UInt8 *d = q + data.offset + data.headerSize;
      UInt64 k = data.size - data.headerSize;
      if (k < 8) return kPL_MovieAtomErr;
      meta->items.push_back(Item{entry.type, PL_GetBE32(d), PL_GetBE32(d + 4), std::vector<UInt8>(d + 8, d + k)});
    }
    if (err != kPL_AtomListEnd) return err;
  }
  return err == kPL_AtomListEnd ? OSStatus(noErr) : err;
}

// Reads a 'meta' payload; one whose handler is not 'mdta' gives paramErr (not ours to offer).
OSStatus ParseMeta(const std::vector<UInt8> &bytes, Meta *meta) {
  const UInt8 *p = bytes.data();
  size_t n = bytes.size();
  // The QuickTime form starts with its first child; the ISO form has version and flags in front.
  if (n >= 12 && PL_GetBE32(p + 4) != 'hdlr' && PL_GetBE32(p + 8) == 'hdlr') {
    meta->fullAtom = true;
    p += 4;
    n -= 4;
  }
  UInt64 offset = 0;
  PL_AtomHeader h;
  OSStatus err;
  while ((err = PL_NextAtom(p, n, &offset, &h, kPL_MovieAtomErr)) == noErr) {
    const UInt8 *q = p + h.offset + h.headerSize;
    size_t m = size_t(h.size - h.headerSize);
    switch (h.type) {
      case 'hdlr':
        meta->hdlr.assign(q, q + m);
        break;
      case 'keys':
        err = ParseKeys(q, m, meta);
        break;
      case 'ilst':
        err = ParseIlst(q, m, meta);
        break;
      default:
        meta->others.push_back(PL_RawAtom{h.type, std::vector<UInt8>(q, q + m)});
    }
    if (err != noErr) return err;
  }
  if (err != kPL_AtomListEnd) return err;
  if (HandlerType(meta->hdlr) != kMetaHandler) return paramErr;
  for (const Item &item : meta->items)
    if (item.keyIndex < 1 || item.keyIndex > meta->keys.size()) return kPL_MovieSampleTableErr;
  return noErr;
}

OSStatus BuildMeta(const Meta &meta, std::vector<UInt8> *out) {
  PL_AtomWriter w;
  if (meta.fullAtom) w.PutZeros(4);
  w.Begin('hdlr');
  w.PutBytes(meta.hdlr.data(), meta.hdlr.size());
  w.End();
  for (const PL_RawAtom &a : meta.others) {
    w.Begin(a.type);
    w.PutBytes(a.payload.data(), a.payload.size());
    w.End();
  }
  w.BeginFull('keys', 0, 0);
  w.Put32(UInt32(meta.keys.size()));
  for (const Key &k : meta.keys) {
    w.Put32(UInt32(k.bytes.size() + 8));
    w.Put32(k.nameSpace);
    w.PutBytes(k.bytes.data(), k.bytes.size());
  }
  w.End();
  w.Begin('ilst');
  for (size_t i = 0; i < meta.items.size();) {
    // Neighbouring values of one key share its entry.
    w.Begin(meta.items[i].keyIndex);
    UInt32 key = meta.items[i].keyIndex;
    for (; i < meta.items.size() && meta.items[i].keyIndex == key; ++i) {
      w.Begin('data');
      w.Put32(meta.items[i].dataType);
      w.Put32(meta.items[i].locale);
      w.PutBytes(meta.items[i].value.data(), meta.items[i].value.size());
      w.End();
    }
    w.End();
  }
  w.End();
  if (w.tooBig) return paramErr;
  *out = std::move(w.bytes);
  return noErr;
}

Meta FreshMeta() {
  Meta meta;
  // Handler: version and flags, predefined 0, type 'mdta', 12 reserved bytes, an empty name.
  meta.hdlr.assign(25, 0);
  PL_PutBE32(meta.hdlr.data() + 8, kMetaHandler);
  return meta;
}

PL_RawAtom *FindRaw(std::vector<PL_RawAtom> &list, OSType type) {
  for (PL_RawAtom &a : list)
    if (a.type == type) return &a;
  return nullptr;
}

Place FindPlace(PL_MetaDataRecord *ref) {
  Place place;
  switch (ref->kind) {
    case kPL_MetaMovie: {
      auto *movie = static_cast<PL_MovieRecord *>(ref->owner);
      place.list = &movie->extras;
      if (PL_RawAtom *a = FindRaw(movie->extras, 'meta')) {
        place.payload = &a->payload;
        break;
      }
      // Files written by other programs keep the movie's items in its user data.
      for (PL_UserDataItem &item : movie->userData.items) {
        Meta probe;
        if (item.type == 'meta' && ParseMeta(item.data, &probe) != paramErr) {
          place.payload = &item.data;
          break;
        }
      }
      break;
    }
    case kPL_MetaTrack: {
      auto *track = static_cast<PL_TrackRecord *>(ref->owner);
      place.list = &track->extras;
      if (PL_RawAtom *a = FindRaw(track->extras, 'meta')) place.payload = &a->payload;
      break;
    }
    case kPL_MetaMedia: {
      auto *media = static_cast<PL_MediaRecord *>(ref->owner);
      place.list = &media->mdiaExtras;
      if (PL_RawAtom *a = FindRaw(media->mdiaExtras, 'meta')) place.payload = &a->payload;
      break;
    }
  }
  return place;
}

// The items of the reference's owner: none when it has no 'meta' atom or one of another handler.
OSStatus Load(PL_MetaDataRecord *ref, Meta *meta) {
  if (ref == nullptr || ref->owner == nullptr) return kQTMetaDataInvalidMetaDataErr;
  Place place = FindPlace(ref);
  if (place.payload == nullptr) {
    *meta = FreshMeta();
    return noErr;
  }
  try {
    OSStatus err = ParseMeta(*place.payload, meta);
    if (err == paramErr) {
      *meta = Meta{};  // another handler's items: none of ours
      meta->hdlr.clear();
    }
    return err == paramErr ? OSStatus(noErr) : err;
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
}

OSStatus Store(PL_MetaDataRecord *ref, const Meta &meta) {
  if (HandlerType(meta.hdlr) != kMetaHandler) return kQTMetaDataInvalidStorageFormatErr;
  try {
    std::vector<UInt8> bytes;
    OSStatus err = BuildMeta(meta, &bytes);
    if (err != noErr) return err;
    Place place = FindPlace(ref);
    if (place.payload != nullptr)
      *place.payload = std::move(bytes);
    else
      place.list->push_back(PL_RawAtom{'meta', std::move(bytes)});
    return noErr;
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
}

OSStatus NewRef(PL_MetaDataOwner kind, void *owner, QTMetaDataRef *out) {
  if (out == nullptr) return PL_SetMoviesError(paramErr);
  *out = nullptr;
  auto *ref = new (std::nothrow) PL_MetaDataRecord;
  if (ref == nullptr) return PL_SetMoviesError(memFullErr);
  ref->kind = kind;
  ref->owner = owner;
  *out = ref;
  return PL_SetMoviesError(noErr);
}

// The item's index in the list, or kQTMetaDataInvalidItemErr.
OSStatus ItemIndex(const Meta &meta, QTMetaDataItem item, size_t *index) {
  if (item < 1 || item > meta.items.size()) return kQTMetaDataInvalidItemErr;
  *index = size_t(item - 1);
  return noErr;
}

// One property of an item as bytes, with its type.
OSStatus ItemProperty(const Meta &meta, const Item &item, QTPropertyClass propClass, QTPropertyID propID,
                      std::vector<UInt8> *bytes, QTPropertyValueType *type) {
  if (propClass != kPropertyClass_MetaDataItem) return kQTPropertyNotSupportedErr;
  auto word = [bytes](UInt32 v) {
    bytes->resize(4);
    std::memcpy(bytes->data(), &v, 4);  // native order, as the caller's UInt32 or OSType
  };
  switch (propID) {
    case kQTMetaDataItemPropertyID_Value:
      *bytes = item.value;
      *type = kQTPropertyValueType_Binary;
      return noErr;
    case kQTMetaDataItemPropertyID_DataType:
      word(item.dataType & 0x00FFFFFFu);
      *type = kQTPropertyValueType_UInt32;
      return noErr;
    case kQTMetaDataItemPropertyID_StorageFormat:
      word(kQTMetaDataStorageFormatQuickTime);
      *type = kQTPropertyValueType_OSType;
      return noErr;
    case kQTMetaDataItemPropertyID_KeyFormat:
      word(meta.keys[item.keyIndex - 1].nameSpace);
      *type = kQTPropertyValueType_OSType;
      return noErr;
    case kQTMetaDataItemPropertyID_Key:
      *bytes = meta.keys[item.keyIndex - 1].bytes;
      *type = kQTPropertyValueType_Binary;
      return noErr;
    case kQTMetaDataItemPropertyID_Locale:
      word(item.locale);
      *type = kQTPropertyValueType_UInt32;
      return noErr;
    default:
      return kQTPropertyNotSupportedErr;
  }
}

}  // namespace

// ---- References ----

OSStatus QTCopyMovieMetaData(Movie inMovie, QTMetaDataRef *outMetaData) {
  if (inMovie == nullptr) {
    if (outMetaData) *outMetaData = nullptr;
    return PL_SetMoviesError(invalidMovie);
  }
  return NewRef(kPL_MetaMovie, inMovie, outMetaData);
}

OSStatus QTCopyTrackMetaData(Track inTrack, QTMetaDataRef *outMetaData) {
  if (inTrack == nullptr) {
    if (outMetaData) *outMetaData = nullptr;
    return PL_SetMoviesError(invalidTrack);
  }
  return NewRef(kPL_MetaTrack, inTrack, outMetaData);
}

OSStatus QTCopyMediaMetaData(Media inMedia, QTMetaDataRef *outMetaData) {
  if (inMedia == nullptr) {
    if (outMetaData) *outMetaData = nullptr;
    return PL_SetMoviesError(invalidMedia);
  }
  return NewRef(kPL_MetaMedia, inMedia, outMetaData);
}

QTMetaDataRef QTMetaDataRetain(QTMetaDataRef inMetaData) {
  if (inMetaData != nullptr) inMetaData->refCount.fetch_add(1);
  return inMetaData;
}

void QTMetaDataRelease(QTMetaDataRef inMetaData) {
  if (inMetaData != nullptr && inMetaData->refCount.fetch_sub(1) == 1) delete inMetaData;
}

// ---- Items ----

OSStatus QTMetaDataGetNextItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                               QTMetaDataItem inCurrentItem, QTMetaDataKeyFormat inKeyFormat, const UInt8 *inKeyPtr,
                               ByteCount inKeySize, QTMetaDataItem *outNextItem) {
  if (outNextItem == nullptr) return PL_SetMoviesError(paramErr);
  *outNextItem = kQTMetaDataItemUninitialized;
  Meta meta;
  OSStatus err = Load(inMetaData, &meta);
  if (err != noErr) return PL_SetMoviesError(err);
  if (inMetaDataFormat != kQTMetaDataStorageFormatWildcard && inMetaDataFormat != kQTMetaDataStorageFormatQuickTime)
    return PL_SetMoviesError(kQTMetaDataNoMoreItemsErr);
  bool anyKey = inKeyFormat == kQTMetaDataKeyFormatWildcard || inKeyPtr == nullptr;
  for (QTMetaDataItem i = inCurrentItem + 1; i <= meta.items.size(); ++i) {
    const Key &key = meta.keys[meta.items[size_t(i - 1)].keyIndex - 1];
    if (!anyKey && (key.nameSpace != inKeyFormat || key.bytes.size() != inKeySize ||
                    std::memcmp(key.bytes.data(), inKeyPtr, inKeySize) != 0))
      continue;
    *outNextItem = i;
    return PL_SetMoviesError(noErr);
  }
  return PL_SetMoviesError(kQTMetaDataNoMoreItemsErr);
}

OSStatus QTMetaDataGetItemPropertyInfo(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, QTPropertyValueType *outPropType,
                                       ByteCount *outPropValueSize, UInt32 *outPropFlags) {
  Meta meta;
  size_t index = 0;
  OSStatus err = Load(inMetaData, &meta);
  if (err == noErr) err = ItemIndex(meta, inItem, &index);
  std::vector<UInt8> bytes;
  QTPropertyValueType type = 0;
  if (err == noErr) err = ItemProperty(meta, meta.items[index], inPropClass, inPropID, &bytes, &type);
  if (err != noErr) return PL_SetMoviesError(err);
  if (outPropType) *outPropType = type;
  if (outPropValueSize) *outPropValueSize = bytes.size();
  if (outPropFlags) {
    bool settable = inPropID == kQTMetaDataItemPropertyID_Value || inPropID == kQTMetaDataItemPropertyID_DataType ||
                    inPropID == kQTMetaDataItemPropertyID_Locale;
    *outPropFlags = kComponentPropertyFlagCanGetNow | (settable ? UInt32(kComponentPropertyFlagCanSetNow) : 0u);
  }
  return PL_SetMoviesError(noErr);
}

OSStatus QTMetaDataGetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize, QTPropertyValuePtr outPropValueAddress,
                                   ByteCount *outPropValueSizeUsed) {
  Meta meta;
  size_t index = 0;
  OSStatus err = Load(inMetaData, &meta);
  if (err == noErr) err = ItemIndex(meta, inItem, &index);
  std::vector<UInt8> bytes;
  QTPropertyValueType type = 0;
  if (err == noErr) err = ItemProperty(meta, meta.items[index], inPropClass, inPropID, &bytes, &type);
  if (err != noErr) return PL_SetMoviesError(err);
  if (outPropValueSizeUsed) *outPropValueSizeUsed = bytes.size();
  if (bytes.size() > inPropValueSize || (outPropValueAddress == nullptr && !bytes.empty()))
    return PL_SetMoviesError(kQTPropertyBadValueSizeErr);
  if (!bytes.empty()) std::memcpy(outPropValueAddress, bytes.data(), bytes.size());
  return PL_SetMoviesError(noErr);
}

OSStatus QTMetaDataSetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize,
                                   ConstQTPropertyValuePtr inPropValueAddress) {
  Meta meta;
  size_t index = 0;
  OSStatus err = Load(inMetaData, &meta);
  if (err == noErr) err = ItemIndex(meta, inItem, &index);
  if (err != noErr) return PL_SetMoviesError(err);
  if (inPropClass != kPropertyClass_MetaDataItem) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropValueAddress == nullptr && inPropValueSize > 0) return PL_SetMoviesError(paramErr);
  Item &item = meta.items[index];
  auto word = [&](UInt32 *field, UInt32 keep) {
    if (inPropValueSize != 4) return OSStatus(kQTPropertyBadValueSizeErr);
    UInt32 v = 0;
    std::memcpy(&v, inPropValueAddress, 4);
    *field = (*field & keep) | (v & ~keep);
    return OSStatus(noErr);
  };
  switch (inPropID) {
    case kQTMetaDataItemPropertyID_Value: {
      const auto *p = static_cast<const UInt8 *>(inPropValueAddress);
      try {
        item.value.assign(p, p + inPropValueSize);
      } catch (const std::bad_alloc &) {
        return PL_SetMoviesError(memFullErr);
      }
      break;
    }
    case kQTMetaDataItemPropertyID_DataType:
      // The type indicator's first byte (the set of well-known types) stays.
      err = word(&item.dataType, 0xFF000000u);
      break;
    case kQTMetaDataItemPropertyID_Locale:
      err = word(&item.locale, 0);
      break;
    case kQTMetaDataItemPropertyID_StorageFormat:
    case kQTMetaDataItemPropertyID_Key:
    case kQTMetaDataItemPropertyID_KeyFormat:
      err = kQTPropertyReadOnlyErr;
      break;
    default:
      err = kQTPropertyNotSupportedErr;
  }
  if (err == noErr) err = Store(inMetaData, meta);
  return PL_SetMoviesError(err);
}

OSStatus QTMetaDataGetItemValue(QTMetaDataRef inMetaData, QTMetaDataItem inItem, UInt8 *outValuePtr,
                                ByteCount inValueSize, ByteCount *outActualSize) {
  return QTMetaDataGetItemProperty(inMetaData, inItem, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Value,
                                   inValueSize, outValuePtr, outActualSize);
}

OSStatus QTMetaDataAddItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                           QTMetaDataKeyFormat inKeyFormat, const UInt8 *inKeyPtr, ByteCount inKeySize,
                           const UInt8 *inValuePtr, ByteCount inValueSize, UInt32 inDataType, QTMetaDataItem *outItem) {
  if (outItem) *outItem = kQTMetaDataItemUninitialized;
  if (inMetaData == nullptr || inMetaData->owner == nullptr) return PL_SetMoviesError(kQTMetaDataInvalidMetaDataErr);
  if (inMetaDataFormat != kQTMetaDataStorageFormatQuickTime)
    return PL_SetMoviesError(kQTMetaDataInvalidStorageFormatErr);
  if (inKeyFormat != kQTMetaDataKeyFormatQuickTime) return PL_SetMoviesError(kQTMetaDataInvalidKeyFormatErr);
  if (inKeyPtr == nullptr || inKeySize == 0 || inKeySize > kMaxKeySize || (inValuePtr == nullptr && inValueSize > 0) ||
      inDataType > 0x00FFFFFFu)
    return PL_SetMoviesError(paramErr);
  Meta meta;
  OSStatus err = Load(inMetaData, &meta);
  if (err != noErr) return PL_SetMoviesError(err);
  if (HandlerType(meta.hdlr) != kMetaHandler) {
    // The owner's 'meta' atom belongs to another handler: ours would need a second one.
    return PL_SetMoviesError(kQTMetaDataInvalidStorageFormatErr);
  }
  try {
    UInt32 keyIndex = 0;
    for (size_t k = 0; k < meta.keys.size() && keyIndex == 0; ++k)
      if (meta.keys[k].nameSpace == inKeyFormat && meta.keys[k].bytes.size() == inKeySize &&
          std::memcmp(meta.keys[k].bytes.data(), inKeyPtr, inKeySize) == 0)
        keyIndex = UInt32(k + 1);
    if (keyIndex == 0) {
      meta.keys.push_back(Key{inKeyFormat, std::vector<UInt8>(inKeyPtr, inKeyPtr + inKeySize)});
      keyIndex = UInt32(meta.keys.size());
    }
    Item item{keyIndex, inDataType, 0, std::vector<UInt8>(inValuePtr, inValuePtr + inValueSize)};
    // Appended: every item keeps its number, here and when the atom is read again.
    size_t at = meta.items.size();
    meta.items.push_back(std::move(item));
    err = Store(inMetaData, meta);
    if (err == noErr && outItem) *outItem = QTMetaDataItem(at + 1);
  } catch (const std::bad_alloc &) {
    err = memFullErr;
  }
  return PL_SetMoviesError(err);
}

OSStatus QTMetaDataRemoveItem(QTMetaDataRef inMetaData, QTMetaDataItem inItem) {
  Meta meta;
  size_t index = 0;
  OSStatus err = Load(inMetaData, &meta);
  if (err == noErr) err = ItemIndex(meta, inItem, &index);
  if (err == noErr) {
    meta.items.erase(meta.items.begin() + std::ptrdiff_t(index));
    err = Store(inMetaData, meta);
  }
  return PL_SetMoviesError(err);
}
