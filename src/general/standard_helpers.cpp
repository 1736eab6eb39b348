// Standard-library helpers and the toolbox wrappers.
#include "general/standard_helpers.h"

#include "platform/core/clock.h"
#include "platform/core/fonts.h"
#include "platform/core/formatter.h"
#include "platform/core/toolbox_strings.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// "%" + the maximum's digits + the conversion.
void MakeFormat(const char *prefix, int maxSize, char conversion, char *format) {
  if (format == nullptr) return;
  if (maxSize < 0) maxSize = 0;
  std::snprintf(format, 16, "%s%d%c", prefix, maxSize, conversion);
}

}  // namespace

void AC_MakeMaxStringSizeFormatStr(int maxSize, char *format) { MakeFormat("%", maxSize, 's', format); }
void AC_MakeMaxTextSizeFormatStr(int maxSize, char *format) { MakeFormat("%", maxSize, 'c', format); }
void AC_MakeMaxFloatSizeFormatStr(int maxSize, char *format) { MakeFormat("%.", maxSize, 'f', format); }

int AC_fscanf_string(FILE *cFile, int maxSize, char *string) {
  if (cFile == nullptr || string == nullptr || maxSize <= 0) return EOF;
  char format[16];
  AC_MakeMaxStringSizeFormatStr(maxSize, format);
  return std::fscanf(cFile, format, string);
}

int AC_fscanf_text(FILE *cFile, int maxSize, char *textPtr) {
  if (cFile == nullptr || textPtr == nullptr || maxSize <= 0) return EOF;
  char format[16];
  AC_MakeMaxTextSizeFormatStr(maxSize, format);
  return std::fscanf(cFile, format, textPtr);
}

int AC_scanf_string(int numBytes, char *string) { return AC_fscanf_string(stdin, numBytes, string); }
int AC_scanf_text(int numBytes, char *textPtr) { return AC_fscanf_text(stdin, numBytes, textPtr); }

void AC_ReadLine(char *line) {
  if (line == nullptr) return;
  size_t n = 0;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') {
    if (n < kAC_MaxLineLength) line[n++] = char(c);
  }
  line[n] = 0;
}

void AC_Flush() {
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') {
  }
}

char AC_GetCommand() {
  while (true) {
    PL_Printf("Enter command (q=quit, n=new): ");
    char c = 0;
    if (std::scanf("%c", &c) != 1) return 'q';
    if (c == 'q' || c == 'n') return c;
  }
}

void AC_GetsLowerCase(char *answer) {
  if (answer == nullptr) return;
  AC_ReadLine(answer);
  for (char *p = answer; *p != 0; ++p) *p = char(std::tolower(static_cast<unsigned char>(*p)));
}

void AC_PrintByteAsHex(unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  const char text[3] = {kHex[c >> 4], kHex[c & 15], 0};
  PL_Printf("%s", text);
}

char AC_RandomPrintableChar() {
  while (true) {
    const auto c = static_cast<signed char>(random() >> 24);
    if (c >= 0 && std::isprint(static_cast<unsigned char>(c))) return char(c);
  }
}

SInt32 AC_CountWords(const char *line) {
  if (line == nullptr) return 0;
  SInt32 words = 0;
  bool inWord = false;
  for (const char *p = line; *p != 0; ++p) {
    const bool space = std::isspace(static_cast<unsigned char>(*p)) != 0;
    if (!space && !inWord) ++words;
    inWord = !space;
  }
  return words;
}

char *AC_ReplaceSubstr(char *str, const char *old, const char *replace) {
  if (str == nullptr || old == nullptr || replace == nullptr) return nullptr;
  char *hit = std::strstr(str, old);
  if (hit == nullptr) return nullptr;
  const size_t oldLen = std::strlen(old);
  const size_t newLen = std::strlen(replace);
  // Move the tail (with its terminator) by the difference of the lengths, then put the replacement in.
  std::memmove(hit + newLen, hit + oldLen, std::strlen(hit + oldLen) + 1);
  std::memcpy(hit, replace, newLen);
  return hit + newLen;
}

void AC_terminate_str(char *str, SInt32 length) {
  if (str != nullptr && length >= 0) str[length] = 0;
}

void AC_free(void **ptr) {
  if (ptr == nullptr || *ptr == nullptr) return;
  std::free(*ptr);
  *ptr = nullptr;
}

void GLD_NumToString(SInt32 theNum, Str255 theString) { NumToString(theNum, theString); }
void GLD_StringToNum(ConstStr255Param theString, SInt32 *theNum) { StringToNum(theString, theNum); }
StringPtr GLD_PLstrcat(StringPtr str, ConstStr255Param append) { return PLstrcat(str, append); }
StringPtr GLD_PLstrcpy(StringPtr dest, ConstStr255Param source) { return PLstrcpy(dest, source); }
void GLD_SetString(StringHandle theString, ConstStr255Param strNew) { SetString(theString, strNew); }
void GLD_p2cstrcpy(char *dst, ConstStr255Param src) { p2cstrcpy(dst, src); }
void GLD_c2pstrcpy(Str255 dst, const char *src) { c2pstrcpy(dst, src); }
SInt16 GLD_StringWidth(ConstStr255Param s) { return StringWidth(s); }
SInt16 GLD_TruncString(SInt16 width, Str255 theString, TruncCode truncWhere) {
  return TruncString(width, theString, truncWhere);
}
void GLD_DrawString(ConstStr255Param s) { DrawString(s); }
void GLD_TextFont(SInt16 font) { TextFont(font); }
void GLD_TextSize(SInt16 size) { TextSize(size); }
void GLD_TextFace(StyleParameter face) { TextFace(face); }
void GLD_TextMode(SInt16 mode) { TextMode(mode); }
void GLD_GetFontInfo(FontInfo *info) { GetFontInfo(info); }
void GLD_GetFNum(ConstStr255Param name, SInt16 *familyID) { GetFNum(name, familyID); }
void GLD_GetFontName(SInt16 familyID, Str255 name) { GetFontName(familyID, name); }
SInt16 GLD_GetAppFont() { return GetAppFont(); }
void GLD_GetIndString(Str255 theString, SInt16 strListID, SInt16 index) { GetIndString(theString, strListID, index); }
Boolean GLD_EqualString(ConstStr255Param str1, ConstStr255Param str2, Boolean caseSensitive, Boolean diacSensitive) {
  return EqualString(str1, str2, caseSensitive, diacSensitive);
}
SInt32 GLD_ReplaceText(Handle baseText, Handle substitutionText, ConstStr255Param key) {
  return ReplaceText(baseText, substitutionText, key);
}
OSStatus GLD_GetUTCDateTime(UTCDateTime *utcDateTime, OptionBits options) {
  return GetUTCDateTime(utcDateTime, options);
}
void GLD_GetDateTime(UInt32 *secs) { GetDateTime(secs); }
void GLD_LongSecondsToDate(const LongDateTime *lSecs, LongDateRec *lDate) { LongSecondsToDate(lSecs, lDate); }
void GLD_LongDateToSeconds(const LongDateRec *lDate, LongDateTime *lSecs) { LongDateToSeconds(lDate, lSecs); }
void GLD_DateString(UInt32 dateTime, DateForm longFlag, Str255 result, Handle intlHandle) {
  DateString(dateTime, longFlag, result, intlHandle);
}
void GLD_TimeString(UInt32 dateTime, Boolean wantSeconds, Str255 result, Handle intlHandle) {
  TimeString(dateTime, wantSeconds, result, intlHandle);
}
SInt16 GLD_FontScript() { return FontScript(); }
SInt16 GLD_FontToScript(SInt16 fontNumber) { return FontToScript(fontNumber); }
Boolean GLD_FillParseTable(CharByteTable table, ScriptCode script) { return FillParseTable(table, script); }
OSStatus GLD_FMGetFontFromFontFamilyInstance(FMFontFamily iFontFamily, FMFontStyle iStyle, FMFont *oFont,
                                             FMFontStyle *oIntrinsicStyle) {
  return FMGetFontFromFontFamilyInstance(iFontFamily, iStyle, oFont, oIntrinsicStyle);
}
TEHandle GLD_TENew(const Rect *destRect, const Rect *viewRect) { return TENew(destRect, viewRect); }
void GLD_TEDispose(TEHandle hTE) { TEDispose(hTE); }
void GLD_TESetText(const void *text, SInt32 length, TEHandle hTE) { TESetText(text, length, hTE); }
void GLD_TEInsert(const void *text, SInt32 length, TEHandle hTE) { TEInsert(text, length, hTE); }
void GLD_TEUpdate(const Rect *rUpdate, TEHandle hTE) { TEUpdate(rUpdate, hTE); }
void GLD_TEActivate(TEHandle hTE) { TEActivate(hTE); }
void GLD_TEDeactivate(TEHandle hTE) { TEDeactivate(hTE); }
void GLD_TESetSelect(SInt32 selStart, SInt32 selEnd, TEHandle hTE) { TESetSelect(selStart, selEnd, hTE); }
void GLD_TEDelete(TEHandle hTE) { TEDelete(hTE); }
void GLD_TECut(TEHandle hTE) { TECut(hTE); }
Boolean GLD_TEContinuousStyle(SInt16 *mode, TextStyle *aStyle, TEHandle hTE) {
  return TEContinuousStyle(mode, aStyle, hTE);
}
SInt32 GLD_TEGetHeight(SInt32 endLine, SInt32 startLine, TEHandle hTE) { return TEGetHeight(endLine, startLine, hTE); }
TEStyleHandle GLD_TEGetStyleHandle(TEHandle hTE) { return TEGetStyleHandle(hTE); }
OSErr GLD_InitDateCache(DateCachePtr theCache) { return InitDateCache(theCache); }
StringToDateStatus GLD_StringToDate(Ptr textPtr, SInt32 textLen, DateCachePtr theCache, SInt32 *lengthUsed,
                                    LongDateRec *dateTime) {
  return StringToDate(textPtr, textLen, theCache, lengthUsed, dateTime);
}
StringToDateStatus GLD_StringToTime(Ptr textPtr, SInt32 textLen, DateCachePtr theCache, SInt32 *lengthUsed,
                                    LongDateRec *dateTime) {
  return StringToTime(textPtr, textLen, theCache, lengthUsed, dateTime);
}
OSErr GLD_PBHMoveRenameSync(HParmBlkPtr paramBlock) { return PBHMoveRenameSync(paramBlock); }
OSErr GLD_HGetVol(StringPtr volName, FSVolumeRefNum *vRefNum, SInt32 *dirID) { return HGetVol(volName, vRefNum, dirID); }
OSErr GLD_HSetVol(ConstStr63Param volName, FSVolumeRefNum vRefNum, SInt32 dirID) {
  return HSetVol(volName, vRefNum, dirID);
}
