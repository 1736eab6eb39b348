// Script Manager and Text Encoding Converter stand-ins over CFString's encodings.
#include "platform/core/text_encodings.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

struct PL_TECObject {
  CFStringEncoding input;
  CFStringEncoding output;
};

SInt32 GetScriptManagerVariable(SInt16 selector) {
  switch (selector) {
    case smSysScript:
    case smKeyScript: return smUnicodeScript;
    case smRegionCode: return verUS;
    default: return 0;
  }
}

SInt32 GetScriptVariable(ScriptCode, SInt16 selector) { return selector == smScriptLang ? langEnglish : 0; }

OSStatus UpgradeScriptInfoToTextEncoding(ScriptCode iTextScriptID, LangCode, RegionCode, ConstStr255Param,
                                         TextEncoding *oEncoding) {
  if (oEncoding == nullptr) return paramErr;
  if (iTextScriptID == smUnicodeScript || iTextScriptID == smSystemScript || iTextScriptID == smCurrentScript ||
      iTextScriptID == kTextScriptDontCare) {
    *oEncoding = kTextEncodingUTF8;
    return noErr;
  }
  if (iTextScriptID < 0 || iTextScriptID > 32) return paramErr;
  *oEncoding = TextEncoding(iTextScriptID);  // smRoman is kTextEncodingMacRoman
  return noErr;
}

OSStatus TECCreateConverter(TECObjectRef *newEncodingConverter, TextEncoding inputEncoding,
                            TextEncoding outputEncoding) {
  if (newEncodingConverter == nullptr) return paramErr;
  *newEncodingConverter = nullptr;
  if (!CFStringIsEncodingAvailable(inputEncoding) || !CFStringIsEncodingAvailable(outputEncoding)) {
    return kTECNoConversionPathErr;
  }
  *newEncodingConverter = new PL_TECObject{inputEncoding, outputEncoding};
  return noErr;
}

OSStatus TECConvertText(TECObjectRef encodingConverter, const UInt8 *inputBuffer, ByteCount inputBufferLength,
                        ByteCount *actualInputLength, UInt8 *outputBuffer, ByteCount outputBufferLength,
                        ByteCount *actualOutputLength) {
  if (actualInputLength != nullptr) *actualInputLength = 0;
  if (actualOutputLength != nullptr) *actualOutputLength = 0;
  if (encodingConverter == nullptr || (inputBuffer == nullptr && inputBufferLength > 0) || outputBuffer == nullptr) {
    return paramErr;
  }
  PL_CFScoped<CFStringRef> text(CFStringCreateWithBytes(nullptr, inputBuffer, CFIndex(inputBufferLength),
                                                        encodingConverter->input, false));
  if (text == nullptr) return kTextMalformedInputErr;
  const CFIndex length = CFStringGetLength(text);
  CFIndex needed = 0;
  if (CFStringGetBytes(text, CFRangeMake(0, length), encodingConverter->output, 0, false, nullptr, 0, &needed) !=
      length) {
    return kTECUnmappableElementErr;
  }
  CFIndex used = 0;
  const CFIndex converted = CFStringGetBytes(text, CFRangeMake(0, length), encodingConverter->output, 0, false,
                                             outputBuffer, CFIndex(outputBufferLength), &used);
  if (actualOutputLength != nullptr) *actualOutputLength = ByteCount(used);
  if (converted < length) return kTECOutputBufferFullStatus;
  if (actualInputLength != nullptr) *actualInputLength = inputBufferLength;
  return noErr;
}

OSStatus TECDisposeConverter(TECObjectRef newEncodingConverter) {
  delete newEncodingConverter;
  return noErr;
}
