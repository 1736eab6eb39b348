// Movie Toolbox stand-in, metadata: the items (key, value, data type, locale) that a movie, a track or a
// media carries in its 'meta' atom, read and changed through a metadata reference.
//
// Items of the QuickTime storage format are offered: a 'meta' atom with a handler of type 'mdta', its
// 'keys' atom (the keys, each with its namespace) and its 'ilst' atom (per key index the 'data' atoms:
// type indicator, locale indicator, value). A movie's atom is the one in 'moov' or, where a file keeps
// it there, the one in the movie's user data; a track's lies in 'trak', a media's in 'mdia'. New items go
// into the atom that is there, or into a new 'meta' atom in 'moov', 'trak' or 'mdia'. Every item is one
// 'data' atom; item numbers count them from 1 in file order and stay valid while items are only added.
// Items of the iTunes and user-data storage formats are not offered: asking for them finds none, adding
// one gives kQTMetaDataInvalidStorageFormatErr.
//
// Threads: as movie_toolbox.h; a metadata reference changes its movie and runs where the movie is changed.
#pragma once

#include "platform/movie/image_descriptions.h"  // kQTPropertyReadOnlyErr
#include "platform/movie/movie_toolbox.h"

struct PL_MetaDataRecord;
typedef PL_MetaDataRecord *QTMetaDataRef;
typedef UInt64 QTMetaDataItem;
typedef OSType QTMetaDataStorageFormat;
typedef OSType QTMetaDataKeyFormat;
typedef OSType QTPropertyValueType;
typedef const void *ConstQTPropertyValuePtr;

enum : QTMetaDataItem { kQTMetaDataItemUninitialized = 0 };

enum : OSType {
  kQTMetaDataStorageFormatWildcard = 0,
  kQTMetaDataStorageFormatQuickTime = 'mdta',
  kQTMetaDataStorageFormatiTunes = 'itms',
  kQTMetaDataStorageFormatUserData = 'udta',

  kQTMetaDataKeyFormatWildcard = 0,
  kQTMetaDataKeyFormatQuickTime = 'mdta',
  kQTMetaDataKeyFormatiTunesShortForm = 'itsk',
  kQTMetaDataKeyFormatiTunesLongForm = 'itlk',
  kQTMetaDataKeyFormatUserData = 'udta',

  // The properties of one item.
  kPropertyClass_MetaDataItem = 'mdit',
  kQTMetaDataItemPropertyID_Value = 'valu',        // the value's bytes
  kQTMetaDataItemPropertyID_DataType = 'dtyp',     // UInt32, kQTMetaDataType...
  kQTMetaDataItemPropertyID_StorageFormat = 'sfmt',
  kQTMetaDataItemPropertyID_Key = 'key ',          // the key's bytes
  kQTMetaDataItemPropertyID_KeyFormat = 'keyf',
  kQTMetaDataItemPropertyID_Locale = 'loca',       // UInt32: country code (high 16 bits), language (low 16 bits)

  kQTPropertyValueType_Binary = 'bin ',
  kQTPropertyValueType_UInt32 = 'ui32',
  kQTPropertyValueType_OSType = 'ostp',
};

// Well-known data types of item values.
enum : UInt32 {
  kQTMetaDataTypeBinary = 0,
  kQTMetaDataTypeUTF8 = 1,
  kQTMetaDataTypeUTF16BE = 2,
  kQTMetaDataTypeMacEncodedText = 3,
  kQTMetaDataTypeJPEGImage = 13,
  kQTMetaDataTypePNGImage = 14,
  kQTMetaDataTypeSignedIntegerBE = 21,
  kQTMetaDataTypeUnsignedIntegerBE = 22,
  kQTMetaDataTypeFloat32BE = 23,
  kQTMetaDataTypeFloat64BE = 24,
};

enum : OSStatus {
  kQTMetaDataInvalidMetaDataErr = -2248,       // a null reference, or one whose movie is gone
  kQTMetaDataInvalidItemErr = -2249,           // no item of that number
  kQTMetaDataInvalidStorageFormatErr = -2250,  // a storage format not offered here
  kQTMetaDataInvalidKeyFormatErr = -2251,      // a key format that does not go with the storage format
  kQTMetaDataNoMoreItemsErr = -2252,           // no item after the current one
};

// The metadata of a movie, a track or a media. Retained: QTMetaDataRelease. Valid while the movie lives.
OSStatus QTCopyMovieMetaData(Movie inMovie, QTMetaDataRef *outMetaData);
OSStatus QTCopyTrackMetaData(Track inTrack, QTMetaDataRef *outMetaData);
OSStatus QTCopyMediaMetaData(Media inMedia, QTMetaDataRef *outMetaData);
QTMetaDataRef QTMetaDataRetain(QTMetaDataRef inMetaData);
void QTMetaDataRelease(QTMetaDataRef inMetaData);

// The item after inCurrentItem (kQTMetaDataItemUninitialized: the first) of the storage format (wildcard:
// any) whose key has the key format and equals the key (key format wildcard or no key: any key).
// kQTMetaDataNoMoreItemsErr after the last; the atom's damage (kPL_MovieAtomErr) when it cannot be read.
OSStatus QTMetaDataGetNextItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                               QTMetaDataItem inCurrentItem, QTMetaDataKeyFormat inKeyFormat, const UInt8 *inKeyPtr,
                               ByteCount inKeySize, QTMetaDataItem *outNextItem);
// Type, size and flags of one item property (class kPropertyClass_MetaDataItem). Any out argument may be
// NULL. kQTPropertyNotSupportedErr for another class or an unknown property.
OSStatus QTMetaDataGetItemPropertyInfo(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, QTPropertyValueType *outPropType,
                                       ByteCount *outPropValueSize, UInt32 *outPropFlags);
// Copies one item property into the caller's buffer; kQTPropertyBadValueSizeErr when it does not fit
// (outPropValueSizeUsed, which may be NULL, still gets the size needed).
OSStatus QTMetaDataGetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize, QTPropertyValuePtr outPropValueAddress,
                                   ByteCount *outPropValueSizeUsed);
// Sets the value, the data type (4 bytes) or the locale (4 bytes) of an item; the storage format and key
// cannot be set (kQTPropertyReadOnlyErr).
OSStatus QTMetaDataSetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize,
                                   ConstQTPropertyValuePtr inPropValueAddress);
// The value of an item: as QTMetaDataGetItemProperty of kQTMetaDataItemPropertyID_Value.
OSStatus QTMetaDataGetItemValue(QTMetaDataRef inMetaData, QTMetaDataItem inItem, UInt8 *outValuePtr,
                                ByteCount inValueSize, ByteCount *outActualSize);
// Adds an item with its key (format kQTMetaDataKeyFormatQuickTime, a key of 1 to 0xFFFFFFF0 bytes), value
// and data type; the locale is 0 (any). *outItem (may be NULL) gets its number.
OSStatus QTMetaDataAddItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                           QTMetaDataKeyFormat inKeyFormat, const UInt8 *inKeyPtr, ByteCount inKeySize,
                           const UInt8 *inValuePtr, ByteCount inValueSize, UInt32 inDataType, QTMetaDataItem *outItem);
// Removes an item; the numbers of the items after it go down by one.
OSStatus QTMetaDataRemoveItem(QTMetaDataRef inMetaData, QTMetaDataItem inItem);
