// Log contents: the project information.
#include "app/log_contents.h"

#include "engine/runtime/project_settings.h"
#include "general/file_layer.h"
#include "general/folders_volumes.h"
#include "general/strings_text.h"
#include "platform/core/cf_string.h"
#include "platform/core/formatter.h"

#include <cstdio>
#include <string>

namespace {

// The name as UTF-8, cut to at most maxBytes bytes at a whole character.
std::string Utf8(CFStringRef text, size_t maxBytes) {
  if (text == nullptr) return std::string();
  std::string bytes(maxBytes + 1, '\0');
  CFIndex used = 0;
  CFStringGetBytes(text, CFRange{0, CFStringGetLength(text)}, kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8 *>(bytes.data()), CFIndex(maxBytes), &used);
  bytes.resize(size_t(used));
  return bytes;
}

}  // namespace

OSStatus BZ_AddProjectInfoToTextPtr(BZ_ProjPtr project, Ptr textPtr, SInt32 *textSize) {
  if (project == nullptr || textPtr == nullptr || textSize == nullptr) return paramErr;
  BZ_ProjInfo &info = project->info;
  // Both names first: without them nothing is written.
  CFMutableStringRef input = nullptr;
  OSStatus err = GL_CopyFileDirNameAsCFMutStr(&info.srcFileData[0].fileRef, &input);
  if (err != noErr) return err;
  PL_CFScoped<CFMutableStringRef> inputName(input);
  CFMutableStringRef output = nullptr;
  if ((err = GL_CopyFileDirNameAsCFMutStr(&info.targetFileData[0].fileRef, &output)) != noErr) return err;
  PL_CFScoped<CFMutableStringRef> outputName(output);

  GL_AddCStringToTextPtr(textPtr, textSize, "Name of input file: ");
  GL_AddCFStringToTextPtr(textPtr, textSize, inputName.get());
  GL_AddCStringToTextPtr(textPtr, textSize, "\r");

  HFSUniStr255 parent{};
  GL_GetParentFolderName(&info.srcFileData[0].fileRef, &parent);
  PL_CFScoped<CFStringRef> folder(CFStringCreateWithCharacters(nullptr, parent.unicode, parent.length));
  CFStringRef disk = nullptr;
  GL_GetVolumeNameFromFSRefAsCFStr(&info.srcFileData[0].fileRef, &disk);
  PL_CFScoped<CFStringRef> diskName(disk);
  PL_CFScoped<CFStringRef> location(CFStringCreateWithFormat(
      nullptr, nullptr, CFSTR("Location: folder \"%@\" on disk \"%@\"\n"),
      folder.get() != nullptr ? folder.get() : CFSTR(""), diskName.get() != nullptr ? diskName.get() : CFSTR("")));
  GL_AddCStringToTextPtr(textPtr, textSize, Utf8(location.get(), 1023).c_str());
  GL_AddCStringToTextPtr(textPtr, textSize, "\r\r");

  GL_AddCStringToTextPtr(textPtr, textSize, "Project settings: \r");
  BZ_AddInputSettToTextPtr(&info.settings.input, textPtr, textSize);
  BZ_AddCleaningSettToTextPtr(project, textPtr, textSize);
  BZ_AddOutputSettToTextPtr(&info.settings.output, textPtr, textSize);
  GL_AddCStringToTextPtr(textPtr, textSize, "\r");

  GL_AddCStringToTextPtr(textPtr, textSize, "Name of output file: ");
  GL_AddCFStringToTextPtr(textPtr, textSize, outputName.get());
  GL_AddCStringToTextPtr(textPtr, textSize, "\r\r");
  return noErr;
}

OSStatus BZ_SetProjectInfoInLog(BZ_ProjPtr project) {
  Ptr text = nullptr;
  OSStatus err = GL_NewTextBuffer(&text);
  if (err != noErr) return err;
  SInt32 size = 0;
  err = BZ_AddProjectInfoToTextPtr(project, text, &size);
  if (err == noErr) {
    std::fwrite(text, 1, size_t(size), stdout);
    std::fflush(stdout);
  }
  GL_DisposeTextBuffer(&text);
  return err;
}

OSStatus BZ_CreateLogWindow() { return noErr; }
OSStatus BZ_SetProjectMessageInLog(CFStringRef) { return noErr; }
OSStatus BZ_SetAppQuitMessageInLog() { return noErr; }
OSStatus BZ_DisposeLogWindow() { return noErr; }
