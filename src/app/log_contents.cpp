// Log contents: the project information.
#include "app/log_contents.h"

#include "app/app_preferences.h"
#include "app/error_display.h"
#include "app/window_lookup.h"
#include "general/processor_info.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/log_window.h"
#include "toolkit/text_objects.h"

#include "engine/runtime/project_settings.h"
#include "general/file_layer.h"
#include "general/folders_volumes.h"
#include "general/strings_text.h"
#include "platform/core/cf_string.h"
#include "platform/core/formatter.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool gQuietAlerts = false;

CFStringRef CopyLocalized(CFStringRef key) {
  return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

// A growing text buffer (general library), freed on every path.
struct TextBuffer {
  Ptr ptr = nullptr;
  SInt32 size = 0;
  OSStatus err = GL_NewTextBuffer(&ptr);
  ~TextBuffer() { GL_DisposeTextBuffer(&ptr); }
};

LOG_DataPtr LogData() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  return LOG_GetData(name.get());
}

// The log's object gets the block and its file at once; any other object only the block.
OSStatus AppendTo(TXNObject object, const TextBuffer &text) {
  LOG_DataPtr data = LogData();
  if (data != nullptr && data->txnObject == object) return LOG_AppendReadOnlyText(data, text.ptr, text.size);
  return TXN_AddReadOnlyText(object, text.ptr, text.size);
}

OSStatus AppendToLog(const TextBuffer &text) {
  LOG_DataPtr data = LogData();
  if (data == nullptr) {
    // Without a log window the block goes to the trace, as the engine's lines do.
    std::fwrite(text.ptr, 1, size_t(text.size), stdout);
    std::fflush(stdout);
    return noErr;
  }
  return LOG_AppendReadOnlyText(data, text.ptr, text.size);
}

OSStatus AppendTimedLine(TXNObject object, const char *lead, CFDateFormatterStyle dateStyle,
                         CFDateFormatterStyle timeStyle, const char *end) {
  PL_CFScoped<CFStringRef> now(GL_CreateCurrentDateTimeCFStr(dateStyle, timeStyle));
  if (now.get() == nullptr) return memFullErr;
  TextBuffer text;
  if (text.err != noErr) return text.err;
  GL_AddCStringToTextPtr(text.ptr, &text.size, lead);
  GL_AddCStringToTextPtr(text.ptr, &text.size, PL_CFStringToUTF8(now.get()).c_str());
  GL_AddCStringToTextPtr(text.ptr, &text.size, end);
  return AppendTo(object, text);
}

// A log file that cannot be written is told once: a trace line and a caution alert with the disk's error.
void ReportWriteFailure(OSStatus err) {
  CFStringRef keyRef = nullptr;
  PL_CFScoped<CFStringRef> reason(BZ_CopyErrorMessage(err, &keyRef));
  PL_CFScoped<CFStringRef> message(CopyLocalized(CFSTR("BZ Log not written")));
  std::printf("KBZ: the log file could not be written, error = %ld\n", long(err));
  std::fflush(stdout);
  if (gQuietAlerts) return;
  DI_StandardAlertOneButton(kAlertCautionAlert, nullptr, message.get(), reason.get(), 30);
}

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
  TextBuffer text;
  if (text.err != noErr) return text.err;
  OSStatus err = BZ_AddProjectInfoToTextPtr(project, text.ptr, &text.size);
  if (err != noErr) return err;
  return AppendToLog(text);
}

CFStringRef BZ_GetLogName() { return CopyLocalized(CFSTR("BZ Log window name")); }

OSStatus BZ_CreateLogWindow() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  if (name.get() == nullptr) return memFullErr;
  // The header of a new log: the application, what it does, its version.
  std::string version = "Version ";
  CFTypeRef bundleVersion =
      CFBundleGetValueForInfoDictionaryKey(CFBundleGetMainBundle(), CFSTR("CFBundleShortVersionString"));
  if (bundleVersion != nullptr && CFGetTypeID(bundleVersion) == CFStringGetTypeID())
    version += PL_CFStringToUTF8(static_cast<CFStringRef>(bundleVersion));
  version += "\n\n";
  LOG_InitData init{};
  init.location = &gBZ.savedWindowLoc[kBZ_LogWindowID];
  init.creator = 'Orl1';
  init.name = name.get();
  init.formatStr = "Brizel, a desktop application for cleaning digitised video.\n";
  init.descriptionStr = "This application cleans QuickTime movies in various ways.\n";
  init.versionStr = version.c_str();
  init.windowMenuID = 2003;
  init.windowID = kBZ_LogWindowID;
  init.viewID = 2000;
  init.scrollID = 2001;
  init.showLogCommandID = 'SLog';
  init.placardHeight = 0;
  init.writeFailureProc = ReportWriteFailure;
  OSStatus err = LOG_CreateWindow(&init);
  if (err != noErr) return err;
  return BZ_InitLogWindow(LOG_GetWindow(name.get()));
}

OSStatus BZ_InitLogWindow(WindowRef window) {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  LOG_DataPtr data = LOG_GetData(name.get());
  if (window == nullptr || data == nullptr) return errInvalidWindowRef;
  data->refcon = new UInt8[8]();
  OSStatus err = GL_ShowDialogItemByID(window, HIViewID{kLOG_ViewSignature, 2000}, true);
  if (err != noErr) return err;
  if ((err = BZ_SetOpenAppMessage(data->txnObject)) != noErr) return err;
  if ((err = BZ_SetEnvInfoInLog(data->txnObject)) != noErr) return err;
  return BZ_SetAppPrefsInLog(data->txnObject);
}

OSStatus BZ_DisposeLogWindow() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  LOG_DataPtr data = LOG_GetData(name.get());
  if (data == nullptr) return noErr;
  delete[] static_cast<UInt8 *>(data->refcon);
  data->refcon = nullptr;
  const OSStatus err = LOG_DisposeWindow(name.get());
  // The last chance to keep the log: a failure here is told, not swallowed.
  if (err != noErr) ReportWriteFailure(err);
  return err;
}

OSStatus BZ_SetOpenAppMessage(TXNObject object) {
  return AppendTimedLine(object, "Opened application Orl Brizel. Time: ", 4, 1, "\r\r");
}

OSStatus BZ_SetEnvInfoInLog(TXNObject object) {
  TextBuffer text;
  if (text.err != noErr) return text.err;
  GL_AddVersionsFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("System version"), gBZ.systemVersionMajor,
                                    gBZ.systemVersionMinor, gBZ.systemVersionBugFix);
  GL_AddByteFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("Physical memory"), gBZ.physRamSize);
  GL_AddLongFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("# processors scheduled"), gBZ.numProcessors);
  PL_CFScoped<CFStringRef> processor(GL_CopyProcInfoString(&gBZ.procInfo));
  GL_AddCFStringToTextPtr(text.ptr, &text.size, processor.get());
  GL_AddCStringToTextPtr(text.ptr, &text.size, "\n");
  GL_AddVersionFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("QuickTime version"), UInt32(gBZ.qtVersion));
  GL_AddCStringToTextPtr(text.ptr, &text.size, "\n");
  return AppendTo(object, text);
}

OSStatus BZ_SetAppPrefsInLog(TXNObject object) {
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);
  PL_CFScoped<CFStringRef> sound(prefs.successSound);
  TextBuffer text;
  if (text.err != noErr) return text.err;
  GL_AddCStringToTextPtr(text.ptr, &text.size, "Application preferences:\n\n");
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    Copy sound"), prefs.copySound);
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    height 1080 MPEG2 anamorphic"), prefs.anamorphic1080);
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    yuv2 is video range"), prefs.yuv2IsVideoRange);
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    Do yuv sanity check"), prefs.yuvSanityCheck);
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    Use NTSC safe colors"), prefs.ntscSafeColors);
  if (prefs.ntscSafeColors) GL_AddLongFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    Max IRE"), prefs.maxIRE);
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    Always convert to gamma 2.2"), prefs.alwaysGamma22);
  GL_AddBooleanFieldDescrToTextPtr(text.ptr, &text.size, CFSTR("    Preserve highlites"), prefs.preserveHighlights);
  GL_AddCStringToTextPtr(text.ptr, &text.size, "    Success sound: ");
  GL_AddCStringToTextPtr(text.ptr, &text.size, Utf8(sound.get(), 255).c_str());
  GL_AddCStringToTextPtr(text.ptr, &text.size, "\n");
  switch (prefs.outputFolderOption) {
    case kBZ_OutputToSourceFolder: GL_AddCStringToTextPtr(text.ptr, &text.size, "Output folder: same as input file\n"); break;
    case kBZ_OutputToPrevFolder: GL_AddCStringToTextPtr(text.ptr, &text.size, "Output folder: same as previous\n"); break;
    case kBZ_OutputToMoviesFolder: GL_AddCStringToTextPtr(text.ptr, &text.size, "Output folder: Movies folder\n"); break;
    default: break;
  }
  GL_AddCStringToTextPtr(text.ptr, &text.size, "\n\n");
  return AppendTo(object, text);
}

OSStatus BZ_SetAppQuitMessageInLog() {
  LOG_DataPtr data = LogData();
  if (data == nullptr) return noErr;
  return AppendTimedLine(data->txnObject, "Application quit. Time: ", 4, 1, "\r\r");
}

OSStatus BZ_SetProjectMessageInLog(CFStringRef message) {
  if (message == nullptr) return paramErr;
  LOG_DataPtr data = LogData();
  if (data == nullptr) return noErr;
  PL_CFScoped<CFStringRef> now(GL_CreateCurrentDateTimeCFStr(3, 2));
  if (now.get() == nullptr) return memFullErr;
  const std::string line = " Time: " + PL_CFStringToUTF8(now.get()) + ", " + PL_CFStringToUTF8(message) + "\r\r";
  return LOG_AppendReadOnlyText(data, line.data(), long(line.size()));
}

OSStatus BZ_AddLineToLog(const char *line) {
  if (line == nullptr) return paramErr;
  LOG_DataPtr data = LogData();
  if (data == nullptr) return noErr;
  return LOG_AppendReadOnlyText(data, line, long(std::strlen(line)));
}

OSStatus BZ_LogWindowEvHdlr(EventHandlerCallRef callRef, EventRef event, void *userData) {
  // The application's own first handler takes nothing; everything goes to the log library.
  return LOG_WindowEventHandler(callRef, event, userData);
}

OSStatus BZ_ShowHideLog() {
  LOG_DataPtr data = LogData();
  return data != nullptr ? LOG_ShowHide(data) : OSStatus(noErr);
}

void BZ_SetLogWriteAlertsQuiet(Boolean quiet) { gQuietAlerts = quiet; }
