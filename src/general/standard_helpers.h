// Standard-library helpers (AC_: bounded formats, input and output on the standard streams, string
// replacement, word counts) and the one-line wrappers (GLD_) through which the rest of the code calls the
// toolbox's string, number, font-number and date routines.
//
// The wrappers pass their arguments unchanged to the platform routine of the same name and return its result.
// The text ones measure and draw in the current port (main thread only). TextEdit, font scripts and the
// volume calls of the File Manager have no wrapper here: they belong to the user interface and file layers.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_text.h"
#include "platform/core/toolbox_dates.h"
#include "platform/core/fonts.h"
#include "platform/core/files.h"
#include "platform/core/text_edit.h"

#include <cstdio>

// ---- Format builders ----
// The maximum goes in as its decimal digits ("%" "7" "s"); meant for 0 to 9, larger values give their
// full number ("%12s") and negative ones 0. `format` holds at least 16 bytes (5 are enough for 0 to 9).
void AC_MakeMaxStringSizeFormatStr(int maxSize, char *format);
void AC_MakeMaxTextSizeFormatStr(int maxSize, char *format);
void AC_MakeMaxFloatSizeFormatStr(int maxSize, char *format);

// ---- Input and output ----
// fscanf with "%<maxSize>s" (`string` holds maxSize + 1 bytes); returns fscanf's result.
int AC_fscanf_string(FILE *cFile, int maxSize, char *string);
// fscanf with "%<maxSize>c" (`textPtr` holds maxSize bytes; no terminator is written).
int AC_fscanf_text(FILE *cFile, int maxSize, char *textPtr);
int AC_scanf_string(int numBytes, char *string);
int AC_scanf_text(int numBytes, char *textPtr);
// Reads standard input up to the newline (or the end of input) into `line` and terminates it there. At most
// kAC_MaxLineLength characters are kept (`line` holds kAC_MaxLineLength + 1 bytes); the rest of a longer
// line is read and dropped.
enum { kAC_MaxLineLength = 255 };
void AC_ReadLine(char *line);
// Reads and drops characters up to and including the next newline (or the end of input).
void AC_Flush();
// Asks "Enter command (q=quit, n=new): " until the answer is 'q' or 'n' and returns it; the end of input
// answers 'q'.
char AC_GetCommand();
// Reads a line (as AC_ReadLine) and turns it to lower case.
void AC_GetsLowerCase(char *answer);
// Prints the byte as two upper-case hexadecimal digits.
void AC_PrintByteAsHex(unsigned char c);
// Draws random() >> 24 until it is a printable character and returns it.
char AC_RandomPrintableChar();

// ---- Strings and memory ----
// The number of maximal runs of characters that are not white space; 0 for NULL.
SInt32 AC_CountWords(const char *line);
// Replaces the first occurrence of `old` in `str` by `replace` in place (`str` must have room for the longer
// result) and returns the position just after the replacement; NULL when an argument is NULL or `old` does
// not occur.
char *AC_ReplaceSubstr(char *str, const char *old, const char *replace);
void AC_terminate_str(char *str, SInt32 length);
// Frees *ptr when not NULL and sets it to NULL.
void AC_free(void **ptr);

// ---- Toolbox wrappers ----
void GLD_NumToString(SInt32 theNum, Str255 theString);
void GLD_StringToNum(ConstStr255Param theString, SInt32 *theNum);
StringPtr GLD_PLstrcat(StringPtr str, ConstStr255Param append);
StringPtr GLD_PLstrcpy(StringPtr dest, ConstStr255Param source);
void GLD_SetString(StringHandle theString, ConstStr255Param strNew);
void GLD_p2cstrcpy(char *dst, ConstStr255Param src);
void GLD_c2pstrcpy(Str255 dst, const char *src);
SInt16 GLD_StringWidth(ConstStr255Param s);
SInt16 GLD_TruncString(SInt16 width, Str255 theString, TruncCode truncWhere);
void GLD_DrawString(ConstStr255Param s);
void GLD_TextFont(SInt16 font);
void GLD_TextSize(SInt16 size);
void GLD_TextFace(StyleParameter face);
void GLD_TextMode(SInt16 mode);
void GLD_GetFontInfo(FontInfo *info);
void GLD_GetFNum(ConstStr255Param name, SInt16 *familyID);
void GLD_GetFontName(SInt16 familyID, Str255 name);
SInt16 GLD_GetAppFont();
void GLD_GetIndString(Str255 theString, SInt16 strListID, SInt16 index);
Boolean GLD_EqualString(ConstStr255Param str1, ConstStr255Param str2, Boolean caseSensitive, Boolean diacSensitive);
SInt32 GLD_ReplaceText(Handle baseText, Handle substitutionText, ConstStr255Param key);
OSStatus GLD_GetUTCDateTime(UTCDateTime *utcDateTime, OptionBits options);
void GLD_GetDateTime(UInt32 *secs);
void GLD_LongSecondsToDate(const LongDateTime *lSecs, LongDateRec *lDate);
void GLD_LongDateToSeconds(const LongDateRec *lDate, LongDateTime *lSecs);
void GLD_DateString(UInt32 dateTime, DateForm longFlag, Str255 result, Handle intlHandle);
void GLD_TimeString(UInt32 dateTime, Boolean wantSeconds, Str255 result, Handle intlHandle);
SInt16 GLD_FontScript();
SInt16 GLD_FontToScript(SInt16 fontNumber);
Boolean GLD_FillParseTable(CharByteTable table, ScriptCode script);
OSStatus GLD_FMGetFontFromFontFamilyInstance(FMFontFamily iFontFamily, FMFontStyle iStyle, FMFont *oFont,
                                             FMFontStyle *oIntrinsicStyle);
TEHandle GLD_TENew(const Rect *destRect, const Rect *viewRect);
void GLD_TEDispose(TEHandle hTE);
void GLD_TESetText(const void *text, SInt32 length, TEHandle hTE);
void GLD_TEInsert(const void *text, SInt32 length, TEHandle hTE);
void GLD_TEUpdate(const Rect *rUpdate, TEHandle hTE);
void GLD_TEActivate(TEHandle hTE);
void GLD_TEDeactivate(TEHandle hTE);
void GLD_TESetSelect(SInt32 selStart, SInt32 selEnd, TEHandle hTE);
void GLD_TEDelete(TEHandle hTE);
void GLD_TECut(TEHandle hTE);
Boolean GLD_TEContinuousStyle(SInt16 *mode, TextStyle *aStyle, TEHandle hTE);
SInt32 GLD_TEGetHeight(SInt32 endLine, SInt32 startLine, TEHandle hTE);
TEStyleHandle GLD_TEGetStyleHandle(TEHandle hTE);
OSErr GLD_InitDateCache(DateCachePtr theCache);
StringToDateStatus GLD_StringToDate(Ptr textPtr, SInt32 textLen, DateCachePtr theCache, SInt32 *lengthUsed,
                                    LongDateRec *dateTime);
StringToDateStatus GLD_StringToTime(Ptr textPtr, SInt32 textLen, DateCachePtr theCache, SInt32 *lengthUsed,
                                    LongDateRec *dateTime);
OSErr GLD_PBHMoveRenameSync(HParmBlkPtr paramBlock);
OSErr GLD_HGetVol(StringPtr volName, FSVolumeRefNum *vRefNum, SInt32 *dirID);
OSErr GLD_HSetVol(ConstStr63Param volName, FSVolumeRefNum vRefNum, SInt32 dirID);
