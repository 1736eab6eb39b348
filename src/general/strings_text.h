// Strings, text buffers and number texts: zero-terminated byte strings (the system encoding; those that stand
// for length-prefixed strings keep their 255-character limit), four-character codes, hexadecimal, versions,
// numbers, time codes and digit filters, and the text buffer with its "title: value\n" lines through which the
// settings and environment sections of the log are built.
//
// Destinations are the caller's: Str255-like results need 256 bytes, hexadecimal 11, quoted codes 7, unless a
// routine takes a maximum. Numbers are written with the "C" conventions. Everything here is stateless except
// the text-buffer table, and may run on any task (the "MP" routines are the ones meant for worker tasks).
#pragma once

#include "general/error_keys.h"
#include "general/memory_lists.h"
#include "platform/core/cf_base.h"
#include "platform/core/fonts.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_text.h"
#include "platform/core/text_edit.h"
#include "platform/core/windows.h"

// The ellipsis of byte strings: byte 201 of Mac Roman.
enum : UInt8 { kGL_MacRomanEllipsis = 201 };

// ---- Text buffers ----
// A text buffer is a block and a running size (bytes used); the routines append at the running size, advance
// it and write no terminator. Make buffers with GL_NewTextBuffer: such a block reserves
// kGL_TextBufferCapacity bytes of address space and takes memory only as text arrives, and the routines never
// write past it (text beyond the capacity is cut off). A block from elsewhere is written as the caller sized
// it.
enum : SInt32 { kGL_TextBufferCapacity = 16 * 1024 * 1024 };
// *textPtr = a new empty text buffer (owned; GL_DisposeTextBuffer). memFullErr and NULL on failure.
OSStatus GL_NewTextBuffer(Ptr *textPtr);
// Frees a buffer made by GL_NewTextBuffer and sets *textPtr to NULL; NULL is fine.
void GL_DisposeTextBuffer(Ptr *textPtr);

// The bytes of `textPart` without its terminator.
void GL_AddCStringToTextPtr(Ptr textPtr, SInt32 *textSize, const char *textPart);
// The string in the system encoding (the whole text: the buffer grows).
void GL_AddCFStringToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef cfTextPart);
// Title lines: title, ": ", the value, "\n".
void GL_AddBooleanFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, Boolean value);
void GL_AddLongFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt64 value);
// The number followed directly by the comment.
void GL_AddLongFieldDescrToTextPtr2(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt64 value,
                                    CFStringRef comment);
void GL_AddFloatFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, float value, int maxDigits);
// A byte size: below 1024 (or negative) "<n> bytes"; below 2^20 n / 1000 "kB", below 2^30 n / 10^6 "MB", else
// n / 10^9 "GB", with two decimals (powers of two as thresholds, powers of ten as divisors).
void GL_AddByteFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt64 numBytes);
// ": '", the four characters, "'".
void GL_AddOSTypeFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, OSType type);
// "top t, left l, bottom b, right r" and "vert v, horiz h".
void GL_AddRectFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, const Rect *rect);
void GL_AddPointFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, Point pt);
void GL_AddHexFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, UInt32 number);
void GL_AddVersionFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, UInt32 number);
void GL_AddVersionsFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt32 systemVersionMajor,
                                       SInt32 systemVersionMinor, SInt32 systemVersionBugFix);

// ---- Four-character codes ----
// The four bytes, most significant first, and a terminator (5 bytes).
void GL_OSTypeToCString(OSType type, char *cString);
// "'" + the four characters + "'", a character outside printable ASCII shown as a space (7 bytes).
void GL_OSTypeToCStringWithQuo(OSType type, char *cString);
// Prints "<name>: '<code>'\n".
void GL_PrintOSTypeWithName(OSType type, const char *name);
// The first four bytes, missing ones taken as 0 bytes, the first byte most significant.
OSType GL_CStrToOSType(const char *cString);
Boolean GL_IsOSTypeInList(const OSType *list, SInt32 numInList, OSType type);

// ---- Hexadecimal, versions and numbers ----
// "0x" and eight upper-case digits (11 bytes).
void GL_NumToHex(UInt32 number, char *hexStr);
// The value of the upper-case hexadecimal digits after the first two characters ("0x"), up to the first other
// character; 0 for a text shorter than two characters.
UInt32 GL_HexToNum(const char *hexStr);
// A new malloc block (free it with free): "0X", two upper-case digits per byte, a terminator. NULL for a
// negative size, missing data or no memory.
char *GL_DataToHexCStr(const void *data, SInt32 size);
Boolean GL_CStringIsPureHex(const char *str);
Boolean GL_CStringIsPureBinary(const char *str);
// Packed version 0xMMmb (low 16 bits, hexadecimal digits): "M.m.b" or "MM.m.b" (0x1049: "10.4.9").
void GL_NumToVersion(UInt32 number, char *version);
// "major.minor.bugFix".
void GL_NumToVersion2(SInt32 systemVersionMajor, SInt32 systemVersionMinor, SInt32 systemVersionBugFix,
                      char *version);
void GL_NumToCString(SInt64 number, char *str);
// Append the number; " " and the number; "." and the number.
void GL_AddNumToStr(char *s, SInt64 number);
void GL_AppendSpaceNumber(char *s, SInt64 number);
void GL_AppendPeriodNumber(char *s, SInt64 number);
// Cuts `s` at its end so that " " and the number fit `maxLength` characters, then appends them (the number is
// never cut).
void GL_SafeAppendSpaceNumberTruncEnd(char *s, SInt64 number, int maxLength);
// "%.2f"; "%.<maxDigits>f"; the value rounded that way and read back.
void GL_FloatToStr(float number, char *str);
void GL_FloatRoundToStr(float number, char *str, int maxDigits);
float GL_RoundFloat(float number, int maxDigits);
// Integer part, ".", then the fraction's first `numDigitsAfterDecimalPoint` decimal digits (truncated, with
// their leading zeros: 1.05 reads "1.05"); the sign goes before the integer part. 0 digits write the integer
// part alone; more than 16 digits count as 16 (the exact length of a 16-bit fraction).
void GL_FixedToString(Fixed fixed, int numDigitsAfterDecimalPoint, char *fixedStr);
// The value × 100 rounded to a whole number, and "%".
void GL_FixedToPercentageAsText(Fixed fixed, char *str);
// Decimal text of a signed 64-bit number.
void GL_WideNumToString(const wide *number, char *str);
// A signed decimal text (spaces and control characters around it and after its sign are skipped; digits up to
// the first other character).
void GL_StringToWideNum(const char *str, wide *number);
// An unsigned text of at most 20 decimal digits (further characters are ignored); values of 2^64 or more are
// not detected.
void GL_TrueNumberStringToWide(const char *str, wide *number);
// "<n> bytes", "<x.xx> kB", "MB", "GB" as in GL_AddByteFieldDescrToTextPtr.
void GL_NumBytesToStr(SInt64 numBytes, char *str);

// ---- Time codes ----
// "h:m:s:f" without leading zeros; f = the fraction of the second × framesPerSec, truncated.
void GL_TimeInSecToTimeCodeStr1(double timeInSec, char *str, SInt32 framesPerSec);
// The same with framesPerSec = numFrames / timeInSec rounded (0 for a time of 0 or less).
void GL_TimeInSecToTimeCodeStr1_Alt(double timeInSec, char *str, SInt32 numFrames);
// "<h>h,<m>m,<s.ss>s".
void GL_TimeInSecToTimeCodeStr2(double timeInSec, char *str);
// Four numbers joined by ":" to h·3600 + m·60 + s + f / framesPerSec (no frame term when framesPerSec is 0 or
// less). paramErr (and 0) for another text.
OSStatus GL_TimeCodeStrToSec(const char *str, double *sec, SInt32 framesPerSec);

// ---- Comparison, copying and editing ----
Boolean GL_EqualCStr(const char *s1, const char *s2);
// Equal in the characters at indices 0 to maxLen, or up to a common terminator before that.
Boolean GL_EqualCStringMP(const char *sA, const char *sB, SInt32 maxLen);
Boolean GL_IsStringEmpty(const char *s);
// Copies sB into sA with its terminator; no toolbox call.
void GL_CopyStringMP(const char *sB, char *sA);
// Copies `length` bytes and terminates.
void GL_TextToStrCopy(const char *text, SInt32 length, char *str);
// Appends `added` so that the result holds at most maxSize characters: the end of `original` goes first;
// an `added` longer than maxSize is cut as well.
void GL_SafeAppendString(char *original, const char *added, SInt32 maxSize);
// Puts `added` in front, cut so that the result holds at most 255 characters; `original` stays whole.
void GL_PrependString(char *original, const char *added);
// The last `length` characters (all when shorter); dropping them.
void GL_GetStringEnd(const char *s, SInt32 length, char *endStr);
void GL_RemoveStringEnd(char *s, SInt32 length);
// Removes the i-th character (from 1); an index outside the string changes nothing.
void GL_RemoveCharacterFromString(char *s, SInt32 i);
// Encloses the text in double quotes (two more bytes).
void GL_PutInParentheses(char *s);
// Appends `postfix` within `maxLength` (at most 255), shortening the string by the excess first, in its middle
// (truncWhere) or at its end with the ellipsis as last character; nothing when the postfix is longer than
// maxLength - 3.
void GL_AddPostfix(char *s, const char *postfix, SInt32 maxLength, Boolean truncWhere);
void GL_AppendCharacter31(char *s, char c);
// Takes one character out of the middle: next to an ellipsis already there (on its longer side), else the
// middle character becomes the ellipsis. Strings of fewer than 4 characters stay.
void GL_TruncStringMiddleByOneChar(char *s, char ellipsis);
// Shortens by requestedReduction (at most length - minSize) keeping the first half of the remaining length,
// the ellipsis in the cut; minSize of 2 or less does nothing.
void GL_TruncStringMiddle(char *s, SInt32 minSize, SInt32 requestedReduction);
// From the last space to the end (space included), at most 15 characters; "" when there is none or it is
// longer.
void GL_GetNameEndString(const char *name, char *endStr);
// The number after the name's last space: kGL_NoNameEndErr when there is no space after its second character
// (or nothing or more than 15 characters after it), kGL_NonNumericCharacterErr when a character after the
// space is not numeric; outputs (optional, 16 bytes for the digits) cleared on error.
OSStatus GL_GetNameEndIndex(const char *name, char *endNumberStr, SInt32 *endNumber);
// Adds `increment` to that number; kGL_StringTooLongErr when the name would reach 64 characters.
OSStatus GL_ChangeNameEndIndex(char *name, SInt32 increment);
// Drops the number and the space before it.
OSStatus GL_RemoveNameEndIndex(char *name);
// The position after the next carriage return (13), or endOfText.
const char *GL_FindNextLine(const char *curInText, const char *endOfText);
// A file name from a window: its title in the system encoding, cut after the last whole character within
// 63 bytes, with `postFix` appended (as much of it as fits 255 bytes in all); "" when the title cannot be
// read. `suggestedName` holds 256 bytes. Main thread only.
void GL_SuggestName(WindowRef window, char *suggestedName, const char *postFix);

// ---- Words (Str255 limits) ----
// Whole word (after a space or at the start, before a space or at the end); *position from 1, 0 when absent.
// kGL_WordIndexErr for a word of 16 or more characters, kGL_WordNotFoundErr for a word longer than the line.
OSStatus GL_FindWord(const char *line, const char *findWord, SInt32 *position);
// Inserts the word and a space at `position` (from 1, at most length + 1): kGL_StringTooLongErr when the
// result would exceed 255 characters, kGL_WordIndexErr for a word over 31 characters or another position.
OSStatus GL_InsertWord(char *line, const char *insert, SInt32 position);
// Inserts `insertStr` as the word after `behindStr`; kGL_InsertWordBehindErr when that word is absent.
OSStatus GL_InsertWordBehind(char *line, const char *behindStr, const char *insertStr);
// A list element of word insertions.
struct GL_WordSub {
  GL_WordSub *next;
  char behind[16];
  char insert[16];
};
// Appends a new element (owned by the list: LL_DisposeLinkedList); kGL_WordIndexErr for a word of 16 or more
// characters, memFullErr.
OSStatus GL_AddWordSubToList(GL_WordSub **firstSub, const char *behind, const char *insert);
// Applies the list in order; stops at the first error and returns it.
OSStatus GL_WordInsertions(char *line, const GL_WordSub *firstSub);

// ---- Measured text (main thread: these use the current port) ----
// The width in pixels of a string (its first 255 bytes) in the font, size and face given; the port's font,
// size and face are as before afterwards. 0 when it cannot be measured (QDError tells why).
SInt16 GL_GetStringWidth(const char *string, SInt16 fontNumber, SInt16 fontSize, Style fontStyle);
// The width of a string (its first 255 bytes) in the current port's font.
SInt16 GL_CStringWidth(const char *s);
// Draws a string (its first 255 bytes) at the current port's pen, which moves past it.
void GL_DrawCString(const char *s);
// Copies the widest word of the line (words end at invisible characters; the first of equally wide ones)
// into `widestWord` (room for the line) and returns its width in the current port's font; "" and 0 for a
// line without words.
SInt16 GL_GetWidestWordInLine(const char *line, char *widestWord);
// Shortens, in their middle, the words of the line that are wider than maxWidth in the given font, size
// and face, until each fits (a word keeps at least its first and last character around the ellipsis); the
// shortened words replace the old ones in the line. A maxWidth below 80 leaves the line alone. The port's
// font, size and face are as before afterwards. Returns noErr.
OSStatus GL_TruncWordsInLine(char *line, SInt16 maxWidth, SInt16 fontNumber, SInt16 fontSize, Style fontStyle);
// An element of a list of strings (borrowed).
struct GL_CStringLE {
  GL_CStringLE *next;
  const char *str;
};
// Joins the strings of the list into `line` (256 bytes) with numSpaces spaces between neighbours, sets
// fontInfo's font, face and size in the current port, and lowers the size one by one (down to 9, each
// new size set in fontInfo and the port) while the line is wider than the box less 2 pixels.
// kGL_StringsDoNotFitErr when it is still too wide at the smallest size; kGL_StringTooLongErr (line "")
// when the joined text would take 256 bytes or more; paramErr for a missing argument.
OSStatus GL_FitStringsInLineBox(const GL_CStringLE *stringList, const Rect *textBox, int numSpaces,
                                TextStyle *fontInfo, char *line);

// Lists of CF strings are GL_CFStringLE lists (general/memory_lists.h); the strings stay the caller's.
// Owned (CFRelease): numSpaces / 2 spaces when padding, the strings of the list with numSpaces spaces
// between neighbours, and numSpaces / 2 spaces again when padding. A NULL string of the list counts as "".
CFMutableStringRef GL_MakeCompoundStr(const GL_CFStringLE *stringList, int numSpaces, Boolean padWithSpaces);
// The number of spaces (at least minNumSpaces) with which the joined strings fill the box's width less 2
// pixels, measured in the theme font's family (GL_ThemeFontToATSUFontID, whose failure is returned) at 9
// points in the current port (whose text font, size and
// face are as before afterwards); *compoundStr = the joined text with that count (owned). The search grows
// the count one by one, with one step sized by what a space costs, and shrinks again from the first count
// that is too wide. A compound of more than 256 UTF-16 units counts as too wide. When even minNumSpaces
// does not fit, *compoundStr is the text with minNumSpaces and the result kGL_StringsDoNotFitErr.
// A measuring failure of the port (QDError) is returned with *compoundStr NULL; paramErr for a missing
// argument or a negative count.
OSStatus GL_FitCFStringsInLineBox(ThemeFontID themeFont, const GL_CFStringLE *stringList, const Rect *textBox,
                                  int minNumSpaces, Boolean padWithSpaces, CFMutableStringRef *compoundStr);

// ---- Character classes and digit filters ----
Boolean GL_IsNumericCharacter(char c);       // '+', '-', '0'-'9'
Boolean GL_IsNumericCharacterFloat(char c);  // the same and '.'
Boolean GL_IsDigit(char c);
Boolean GL_IsLetter(char c);                 // A-Z, a-z
Boolean GL_IsWordDelimiter(char c);          // anything but 0-9, A-Z, a-z
Boolean GL_IsInvisibleAsciiCharacter(char c);  // codes below 33, and 127
// Some character is not numeric.
Boolean GL_AnyNonDigitInTextString(const char *str);
// Keep the numeric characters (a sign only in front), at most 11 of them; the float version keeps one point
// too and writes a bare point as "0.0", at most 14 characters.
void GL_RemoveAnyNonDigitInString(char *numText);
void GL_RemoveAnyNonDigitInFloatString(char *numText);
// Filter, read, clamp and write back ("%ld"; floats "%.2f").
void GL_EnforceTextValueBounds(char *numStr, SInt32 min, SInt32 max);
void GL_EnforceEvenTextValue(char *numStr);
void GL_EnforceTextFloatValueBounds(char *numStr, float min, float max);
// Clears bit 7 of every byte.
void GL_ReduceTextToLowerASCII(char *text, SInt32 len);
// The characters between two byte offsets: one per byte in single-byte scripts, one per UTF-8 sequence in the
// Unicode (system) script.
SInt32 GL_CountCharParamsInText(const char *text, SInt32 selStart, SInt32 selEnd, ScriptCode script);
