// Text drawn into the current port, and font lookups.
#include "general/text_drawing.h"

#include "general/geometry.h"
#include "general/standard_helpers.h"
#include "general/unicode_strings.h"
#include "platform/core/mac_errors.h"
#include "platform/core/text_encodings.h"

#include <algorithm>
#include <cstdlib>

namespace {

const SInt32 kBrightBasicColors[7] = {30, 69, 137, 205, 273, 341, 409};
constexpr SInt32 kBlackBasicColor = 33;

bool HaveCurrentPort() {
  GrafPtr port = nullptr;
  QDD_GetPort(&port);
  if (port == nullptr) PL_SetQDError(paramErr);
  return port != nullptr;
}

}  // namespace

void GL_GetRandomBasicColor(SInt32 *foreColor) {
  if (foreColor == nullptr) return;
  SInt16 r = 0;
  do {
    r = SInt16(random());
  } while (r <= 0);
  *foreColor = kBrightBasicColors[r % 7];
}

void GL_DrawTextLineScaled(ConstStr255Param text, const Rect *frame, const RGBColor *color, SInt16 fontNumber) {
  if (text == nullptr || frame == nullptr || color == nullptr || !HaveCurrentPort()) return;
  QDD_RGBForeColor(color);
  GLD_TextFont(fontNumber);
  const SInt32 width = frame->right - frame->left, height = frame->bottom - frame->top;
  const SInt32 maxWidth = 8 * width / 10, maxHeight = 8 * height / 10;
  // Size 0 would mean the font's standard size, so the search stops at 1.
  SInt16 size = SInt16(std::clamp<SInt32>(maxHeight, 1, 32767));
  FontInfo info{};
  for (;; --size) {
    GLD_TextSize(size);
    GLD_GetFontInfo(&info);
    if (info.ascent + info.descent <= maxHeight || size == 1) break;
  }
  SInt16 textWidth = GLD_StringWidth(text);
  while (textWidth > maxWidth && size > 1) {
    GLD_TextSize(--size);
    textWidth = GLD_StringWidth(text);
  }
  QDD_MoveTo(SInt16(frame->left + (width - textWidth) / 2), SInt16(frame->top + height / 2));
  GLD_DrawString(text);
}

void GL_SetSystemFont() {
  GLD_TextFont(systemFont);
  GLD_TextSize(0);
  GLD_TextFace(normal);
  GLD_TextMode(srcCopy);
}

void GL_SetAppFont() {
  GLD_TextFont(applFont);
  GLD_TextSize(0);
  GLD_TextFace(normal);
  GLD_TextMode(srcCopy);
}

void GL_DrawThreeLineImage(Rect frame, SInt32, SInt32, const GL_CStringLE *firstStrLE) {
  if (!HaveCurrentPort()) return;
  QDD_ForeColor(kBlackBasicColor);
  QDD_PaintRect(&frame);
  const SInt32 width = frame.right - frame.left, height = frame.bottom - frame.top;
  for (SInt16 size = SInt16(std::clamp<SInt32>(height / 6, 1, 32767));; --size) {
    GLD_TextSize(size);
    SInt16 widest = 0;
    for (const GL_CStringLE *e = firstStrLE; e != nullptr; e = e->next)
      widest = std::max(widest, GL_CStringWidth(e->str));
    if (widest < width || size == 1) break;
  }
  const SInt32 baselines[3] = {height / 4, 11 * height / 20, 17 * height / 20};
  const GL_CStringLE *e = firstStrLE;
  for (int line = 0; line < 3 && e != nullptr; ++line, e = e->next) {
    SInt32 color = 0;
    GL_GetRandomBasicColor(&color);
    QDD_ForeColor(color);
    const SInt16 textWidth = GL_CStringWidth(e->str);
    QDD_MoveTo(SInt16(frame.left + (width - textWidth) / 2), SInt16(frame.top + baselines[line]));
    GL_DrawCString(e->str);
  }
}

OSStatus GL_ThemeFontToATSUFontID(ThemeFontID themeFont, ATSUFontID *fontID) {
  if (fontID == nullptr) return paramErr;
  Str255 name;
  SInt16 size = 0;
  Style style = 0;
  OSStatus err = GetThemeFont(themeFont, smSystemScript, name, &size, &style);
  if (err != noErr) return err;
  return ATSUFindFontFromName(name + 1, name[0], kFontNoNameCode, kFontNoPlatformCode, kFontNoScriptCode,
                              kFontNoLanguageCode, fontID);
}

OSStatus GL_FontFamilyToATSFontRef(FMFontFamily fontFamily, FMFontStyle style, ATSFontRef *atsFontRef) {
  FMFont font = 0;
  FMFontStyle intrinsic = 0;
  GLD_FMGetFontFromFontFamilyInstance(fontFamily, style, &font, &intrinsic);
  if (atsFontRef != nullptr) *atsFontRef = FMGetATSFontRefFromFont(font);
  return noErr;
}

SInt16 GL_FontNameToFontID(CFStringRef fontName) {
  char name[256];
  if (!GL_CFStrToCStr(fontName, name, sizeof name)) name[0] = 0;
  Str255 pascal;
  GLD_c2pstrcpy(pascal, name);
  SInt16 id = systemFont;
  GLD_GetFNum(pascal, &id);
  return id;
}

CFStringRef GL_FontIDToFontName(SInt16 fontID) {
  Str255 pascal;
  GLD_GetFontName(fontID, pascal);
  char name[256];
  GLD_p2cstrcpy(name, pascal);
  return GL_MacRomanCStrToCFStr(name);
}
