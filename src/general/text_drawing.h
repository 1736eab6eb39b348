// Text drawn into the current port and font lookups: random basic colours, a text line scaled to fill a
// frame, the system and application fonts, the three-line image, and font numbers, names, theme fonts,
// ATSUI font IDs and ATS font references (which are the stand-in's family numbers).
//
// Drawing and measuring go through the current port's text back end; without a current port nothing is
// drawn and QDError says paramErr. Main thread only.
#pragma once

#include "general/strings_text.h"
#include "platform/core/fonts.h"
#include "platform/core/quickdraw_text.h"

// Draws text into a picture frame: the frame, a foreground and background basic colour, and a list of
// strings (borrowed). GL_DrawThreeLineImage is one; GL_MakeTextPicture calls such a procedure.
typedef void (*DrawTextProc)(Rect frame, SInt32 foreColor, SInt32 backColor, const GL_CStringLE *firstStrLE);

// One of QuickDraw's seven bright basic colours, chosen by random() (white, yellow, magenta, red, cyan,
// green, blue: 30, 69, 137, 205, 273, 341, 409).
void GL_GetRandomBasicColor(SInt32 *foreColor);
// Draws a line of text in the colour and font, at the largest size at which it fits 8/10 of the frame's
// height and width, centred horizontally with its baseline at the frame's middle.
void GL_DrawTextLineScaled(ConstStr255Param text, const Rect *frame, const RGBColor *color, SInt16 fontNumber);
// The current port's font becomes the system font (0) or the application font (1), size 0, face 0, mode 0.
void GL_SetSystemFont();
void GL_SetAppFont();
// Paints the frame black and draws up to three strings of the list centred, each in a new random basic
// colour, with baselines at a quarter, 11/20 and 17/20 of the frame's height, at the largest size (from a
// sixth of the height down) at which the widest string is narrower than the frame. The two colours are
// not used. Without a current port: nothing, and QDError paramErr.
void GL_DrawThreeLineImage(Rect frame, SInt32 foreColor, SInt32 backColor, const GL_CStringLE *firstStrLE);

// The ATSUI font of a theme font (its family's number).
OSStatus GL_ThemeFontToATSUFontID(ThemeFontID themeFont, ATSUFontID *fontID);
// The ATS font reference of a family instance (0 when the family has none); the result is always noErr.
OSStatus GL_FontFamilyToATSFontRef(FMFontFamily fontFamily, FMFontStyle style, ATSFontRef *atsFontRef);
// The family number of a name (its first 255 bytes in the system encoding); every name gets one.
SInt16 GL_FontNameToFontID(CFStringRef fontName);
// Owned (CFRelease): the name of a family number, "" for a number that names no family; NULL on failure.
CFStringRef GL_FontIDToFontName(SInt16 fontID);
