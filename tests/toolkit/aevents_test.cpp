// Apple-event helpers: descriptors and their data buffers, text and number conversions, labelled records,
// errors in replies, object specifiers, sending to this process and to others, the build syntax's error
// texts, the sample coercion, high-level Carbon events and compiled scripts without a scripting component.
#include "toolkit/aevents.h"

#include "general/error_keys.h"
#include "movie/movie_errors.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/mac_errors.h"
#include "support/cf_check.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string CString(CFStringRef s) {
  char text[1024] = {};
  if (s != nullptr) CFStringGetCString(s, text, sizeof text, kCFStringEncodingUTF8);
  return text;
}

std::string Utf16Text(const AEDesc &desc) {
  CFStringRef s = nullptr;
  EXPECT_EQ(AE_CFStringFromDesc(&desc, &s), noErr);
  const std::string text = CString(s);
  if (s != nullptr) CFRelease(s);
  return text;
}

AEDesc Text(const char *text, DescType type = typeChar) {
  AEDesc d{};
  EXPECT_EQ(AECreateDesc(type, text, Size(std::strlen(text)), &d), noErr);
  return d;
}

AppleEvent NewEvent(AEEventClass c = 'test', AEEventID id = 'evnt') {
  AppleEvent e{};
  EXPECT_EQ(AE_CreateAppleEventForPsn(nullptr, c, id, &e), noErr);
  return e;
}

TEST(ToolkitAEvents, LabelToTypeKeepsMemoryOrderAndPadsWithBlanks) {
  struct Case {
    const char *label;
    const char bytes[5];
  };
  for (const Case &c : {Case{"ab", "ab  "}, Case{"abcdef", "abcd"}, Case{"", "    "}, Case{"wxyz", "wxyz"}}) {
    SCOPED_TRACE(c.label);
    const DescType type = AE_LabelToType(c.label);
    EXPECT_EQ(std::memcmp(&type, c.bytes, 4), 0);
  }
}

TEST(ToolkitAEvents, GetDescDataReusesALargeEnoughBufferAndReplacesASmallerOne) {
  AEDesc d = Text("0123456789");
  struct Case {
    Size callerSize;
    bool reused;
  };
  for (const Case &c : {Case{64, true}, Case{10, true}, Case{4, false}}) {
    SCOPED_TRACE(c.callerSize);
    void *buffer = std::malloc(size_t(c.callerSize));
    void *const given = buffer;
    Size size = c.callerSize;
    ASSERT_EQ(AE_GetDescData(&d, &buffer, &size), noErr);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(std::memcmp(buffer, "0123456789", 10), 0);
    if (c.reused) {
      EXPECT_EQ(buffer, given);
    }
    std::free(buffer);
  }
  // No buffer: one is made.
  void *made = nullptr;
  Size size = 0;
  ASSERT_EQ(AE_GetDescData(&d, &made, &size), noErr);
  EXPECT_EQ(size, 10);
  std::free(made);
  // A caller's buffer without its size cannot be judged.
  char own[16];
  void *p = own;
  EXPECT_EQ(AE_GetDescData(&d, &p, nullptr), paramErr);
  EXPECT_EQ(AE_GetDescData(nullptr, &p, &size), paramErr);
  AEDisposeDesc(&d);
}

TEST(ToolkitAEvents, CStringFromDescCutsAtMaxSizeAndEndsWithAZero) {
  AEDesc d = Text("0123456789");
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  char *p = buffer;
  ASSERT_EQ(AE_CStringFromDesc(&d, &p, 4), noErr);
  EXPECT_EQ(std::string(buffer), "0123");
  EXPECT_EQ(buffer[5], 'x');  // nothing beyond maxSize + 1 bytes is written
  EXPECT_EQ(AE_CStringFromDesc(&d, &p, 0), paramErr);

  char *made = nullptr;
  ASSERT_EQ(AE_CStringFromDesc(&d, &made, 0), noErr);
  EXPECT_EQ(std::string(made), "0123456789");
  std::free(made);
  AEDisposeDesc(&d);

  // Unicode text comes out in the system encoding.
  CFStringRef s = CFSTR("Grüße");
  AEDesc u{};
  ASSERT_EQ(AE_CFStringToDescAsUTF16(s, &u), noErr);
  EXPECT_EQ(u.descriptorType, DescType(typeUnicodeText));
  EXPECT_EQ(AEGetDescDataSize(&u), 10);
  made = nullptr;
  ASSERT_EQ(AE_CStringFromDesc(&u, &made, 0), noErr);
  EXPECT_EQ(std::string(made), "Grüße");
  std::free(made);
  EXPECT_EQ(Utf16Text(u), "Grüße");
  AEDisposeDesc(&u);
}

TEST(ToolkitAEvents, NumbersFromDescriptors) {
  struct Case {
    AEDesc desc;
    OSStatus err;
    SInt32 value;
  };
  const SInt16 shortValue = -7;
  const float single = 42.0f;
  AEDesc s{}, f{};
  AECreateDesc(typeSInt16, &shortValue, sizeof shortValue, &s);
  AECreateDesc(typeIEEE32BitFloatingPoint, &single, sizeof single, &f);
  std::vector<Case> cases = {{Text("1234"), noErr, 1234},          {Text("-5", typeUTF8Text), noErr, -5},
                             {s, noErr, -7},                        {f, noErr, 42},
                             {Text("twelve"), errAECoercionFail, 0}, {Text("1.5"), errAECoercionFail, 0}};
  for (Case &c : cases) {
    SInt32 v = 99;
    EXPECT_EQ(AE_SInt32FromDesc(&c.desc, &v), c.err);
    EXPECT_EQ(v, c.value);
    AEDisposeDesc(&c.desc);
  }
}

// A user record as scripts make them: 'usrf' holding a list that alternates labels and values.
AERecord UserRecord() {
  AERecord record{};
  AEDescList fields{};
  EXPECT_EQ(AECreateList(nullptr, 0, true, &record), noErr);
  EXPECT_EQ(AECreateList(nullptr, 0, false, &fields), noErr);
  const SInt32 width = 640;
  const float gamma = 2.2f;
  AEDesc v{};
  for (const char *label : {"width", "gamma", "name"}) {
    AEDesc l = Text(label);
    AEPutDesc(&fields, 0, &l);
    AEDisposeDesc(&l);
    if (std::strcmp(label, "width") == 0) AECreateDesc(typeSInt32, &width, sizeof width, &v);
    if (std::strcmp(label, "gamma") == 0) AECreateDesc(typeIEEE32BitFloatingPoint, &gamma, sizeof gamma, &v);
    if (std::strcmp(label, "name") == 0) v = Text("clip");
    AEPutDesc(&fields, 0, &v);
    AEDisposeDesc(&v);
  }
  EXPECT_EQ(AEPutKeyDesc(&record, keyAEUserRecordFields, &fields), noErr);
  AEDisposeDesc(&fields);
  return record;
}

TEST(ToolkitAEvents, LabelledFieldsOfARecord) {
  AERecord record = UserRecord();
  SInt32 width = 0;
  EXPECT_EQ(AE_LabeledSInt32FromRecord(&record, "width", &width), noErr);
  EXPECT_EQ(width, 640);
  float gamma = 0;
  EXPECT_EQ(AE_LabeledFloatFromRecord(&record, "gamma", &gamma), noErr);
  EXPECT_FLOAT_EQ(gamma, 2.2f);
  AEDesc name{};
  EXPECT_EQ(AE_LabeledDataFromRecord(&record, "name", &name), noErr);
  char *text = nullptr;
  EXPECT_EQ(AE_CStringFromDesc(&name, &text, 0), noErr);
  EXPECT_STREQ(text, "clip");
  std::free(text);
  AEDisposeDesc(&name);
  // Labels compare exactly: a prefix or another case is no match.
  for (const char *missing : {"wid", "Width", "clip", ""}) {
    SCOPED_TRACE(missing);
    AEDesc none{};
    EXPECT_EQ(AE_LabeledDataFromRecord(&record, missing, &none), kAE_NoSuchLabelErr);
  }
  // An Apple event holding the same field is coerced to a record first.
  AppleEvent event = NewEvent();
  AEDescList fields{};
  ASSERT_EQ(AEGetKeyDesc(&record, keyAEUserRecordFields, typeWildCard, &fields), noErr);
  ASSERT_EQ(AEPutParamDesc(&event, keyAEUserRecordFields, &fields), noErr);
  width = 0;
  EXPECT_EQ(AE_LabeledSInt32FromRecord(&event, "width", &width), noErr);
  EXPECT_EQ(width, 640);
  AEDisposeDesc(&fields);
  AEDisposeDesc(&event);
  AEDisposeDesc(&record);
}

TEST(ToolkitAEvents, HandlerErrorsInReplies) {
  // 'errn' with 'errs': the string and 12002; only 'errn': its number; neither: 0; a null reply: untouched.
  AppleEvent both = NewEvent(), number = NewEvent(), neither = NewEvent();
  const SInt32 err = -43;
  ASSERT_EQ(AEPutParamPtr(&both, keyErrorNumber, typeSInt32, &err, sizeof err), noErr);
  ASSERT_EQ(AE_PutErrorStringParamAsUTF8(&both, CFSTR("No such file")), noErr);
  ASSERT_EQ(AEPutParamPtr(&number, keyErrorNumber, typeSInt32, &err, sizeof err), noErr);
  struct Case {
    AppleEvent *reply;
    bool askText;
    SInt32 handlerErr;
    const char *text;
  };
  AppleEvent null{typeNull, nullptr};
  for (const Case &c : {Case{&both, true, kAE_HandlerErrorStringErr, "No such file"}, Case{&both, false, -43, ""},
                        Case{&number, true, -43, ""}, Case{&neither, true, 0, ""}, Case{&null, true, 77, ""}}) {
    SInt32 handlerErr = 77;
    CFStringRef text = nullptr;
    ASSERT_EQ(AE_GetHandlerError(c.reply, &handlerErr, c.askText ? &text : nullptr), noErr);
    EXPECT_EQ(handlerErr, c.handlerErr);
    EXPECT_EQ(CString(text), c.text);
    if (text != nullptr) CFRelease(text);
  }
  SInt32 handlerErr = 0;
  EXPECT_EQ(AE_GetHandlerError(&both, nullptr, nullptr), paramErr);
  AEDesc notRecord = Text("x");
  EXPECT_EQ(AE_GetHandlerError(&notRecord, &handlerErr, nullptr), paramErr);
  AEDisposeDesc(&notRecord);

  // Putting an error number: refused for 0, kept when one is there.
  EXPECT_EQ(AE_PutErrorNumberParam(noErr, &neither), paramErr);
  EXPECT_EQ(AE_PutErrorNumberParam(-50, &neither), noErr);
  EXPECT_EQ(AE_PutErrorNumberParam(-108, &neither), kAE_ReplyHasErrorNumberErr);
  ASSERT_EQ(AE_GetHandlerError(&neither, &handlerErr, nullptr), noErr);
  EXPECT_EQ(handlerErr, -50);
  AERecord record{};
  ASSERT_EQ(AECreateList(nullptr, 0, true, &record), noErr);
  EXPECT_EQ(AE_PutErrorNumberParam(-50, &record), paramErr);  // a record, but no Apple event
  AEDisposeDesc(&record);
  for (AppleEvent *e : {&both, &number, &neither}) AEDisposeDesc(e);
}

// The key data of a specifier as text, its class and its form.
struct Spec {
  DescType objClass = 0, form = 0, keyType = 0;
  std::vector<char> key;
};
Spec Read(const AEDesc &obj) {
  Spec s;
  EXPECT_EQ(obj.descriptorType, DescType(typeObjectSpecifier));
  Size size = 0;
  DescType type = 0;
  AEGetKeyPtr(&obj, keyAEDesiredClass, typeType, &type, &s.objClass, 4, &size);
  AEGetKeyPtr(&obj, keyAEKeyForm, typeEnumerated, &type, &s.form, 4, &size);
  AEDesc key{};
  EXPECT_EQ(AEGetKeyDesc(&obj, keyAEKeyData, typeWildCard, &key), noErr);
  s.keyType = key.descriptorType;
  s.key.resize(size_t(AEGetDescDataSize(&key)));
  AEGetDescData(&key, s.key.data(), Size(s.key.size()));
  AEDisposeDesc(&key);
  return s;
}

TEST(ToolkitAEvents, ObjectSpecifiers) {
  bz_test::TempDir dir;
  const std::string folder = dir.File("Clips");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::ofstream(dir.File("take.mov")) << "x";
  CFStringRef folderPath = CFStringCreateWithCString(nullptr, folder.c_str(), kCFStringEncodingUTF8);
  CFStringRef filePath = CFStringCreateWithCString(nullptr, dir.File("take.mov").c_str(), kCFStringEncodingUTF8);
  CFURLRef folderURL = CFURLCreateWithFileSystemPath(nullptr, folderPath, kCFURLPOSIXPathStyle, true);
  CFURLRef fileURL = CFURLCreateWithFileSystemPath(nullptr, filePath, kCFURLPOSIXPathStyle, false);

  AEDesc obj{};
  ASSERT_EQ(AE_CreateObjSpecifierFromCFURLRef(folderURL, &obj), noErr);
  Spec s = Read(obj);
  EXPECT_EQ(s.objClass, DescType('cfol'));
  EXPECT_EQ(s.form, DescType(formName));
  ASSERT_EQ(s.keyType, DescType(typeUnicodeText));
  AEDesc key{};
  AECreateDesc(typeUnicodeText, s.key.data(), Size(s.key.size()), &key);
  const std::string name = Utf16Text(key);
  AEDisposeDesc(&key);
  EXPECT_EQ(name.back(), ':');
  EXPECT_NE(name.find(":Clips:"), std::string::npos) << name;
  AEDisposeDesc(&obj);

  ASSERT_EQ(AE_CreateObjSpecifierFromCFURLRef(fileURL, &obj), noErr);
  s = Read(obj);
  EXPECT_EQ(s.objClass, DescType('file'));
  AECreateDesc(typeUnicodeText, s.key.data(), Size(s.key.size()), &key);
  EXPECT_NE(Utf16Text(key).find(":take.mov"), std::string::npos);
  EXPECT_NE(Utf16Text(key).back(), ':');
  AEDisposeDesc(&key);
  AEDisposeDesc(&obj);
  EXPECT_EQ(AE_CreateObjSpecifierFromCFURLRef(nullptr, &obj), paramErr);

  // The other specifiers: class, form and key type as made.
  struct Case {
    OSStatus (*make)(AEDesc *container, AEDesc *obj);
    DescType objClass, form, keyType;
  };
  const Case cases[] = {
      {[](AEDesc *c, AEDesc *o) { return AE_CreateSelectionObject('all ', c, o); }, 'cobj', 'indx', 'abso'},
      {[](AEDesc *c, AEDesc *o) { return AE_CreateObjectSpecifierWithIndex('cwin', 2, c, o); }, 'cwin', 'indx',
       'inde'},
      {[](AEDesc *c, AEDesc *o) { return AE_CreateObjectSpecifierWithUniqueID('cwin', 77, c, o); }, 'cwin', 'ID  ',
       'long'},
      {[](AEDesc *c, AEDesc *o) { return AE_CreateObjectSpecifierWithName('docu', CFSTR("Take 1"), c, o); },
       'docu', 'name', 'utxt'},
      {[](AEDesc *c, AEDesc *o) { return AE_CreateObjectSpecifierForURL("/tmp/a.mov", c, o); }, 'furl', 'name',
       'TEXT'},
      {[](AEDesc *c, AEDesc *o) { return AE_CreatePropertyObject('pnam', c, o); }, 'prop', 'prop', 'type'},
  };
  for (const Case &c : cases) {
    AEDesc container{typeNull, nullptr};
    ASSERT_EQ(c.make(&container, &obj), noErr);
    s = Read(obj);
    EXPECT_EQ(s.objClass, c.objClass);
    EXPECT_EQ(s.form, c.form);
    EXPECT_EQ(s.keyType, c.keyType);
    AEDisposeDesc(&obj);
  }
  for (CFTypeRef r : {CFTypeRef(folderPath), CFTypeRef(filePath), CFTypeRef(folderURL), CFTypeRef(fileURL)})
    CFRelease(r);
}

TEST(ToolkitAEvents, BuildErrorTexts) {
  struct Case {
    UInt32 code, position;
    const char *text;
  };
  for (const Case &c : {Case{0, 0, "Error 0 (No error) found at position 0."},
                        Case{5, 12, "Error 5 (Missing close \"'\") found at position 12."},
                        Case{8, 3, "Error 8 (Missing $ or \"\xC3\x88\") found at position 3."},
                        Case{19, 1, "Error 19 (\"@@\" substitution must be coerced) found at position 1."},
                        Case{25, 7, "Error 25 (Unknown error) found at position 7."}}) {
    const AEBuildError error{c.code, c.position};
    AEDesc text{};
    AE_BuildErrorToAEDesc(&error, &text);
    EXPECT_EQ(text.descriptorType, DescType(typeUnicodeText));
    EXPECT_EQ(Utf16Text(text), c.text);
    AEDisposeDesc(&text);
  }
}

TEST(ToolkitAEvents, BuildSyntaxErrorsAreReportedWithTheirPosition) {
  struct Case {
    const char *format;
    UInt32 code;
  };
  const Case cases[] = {
      {"'----':", aeBuildSyntaxBadEOF},        {"'----':5 x", aeBuildSyntaxNoEOF},
      {"'----':-x", aeBuildSyntaxBadNegative}, {"'--", aeBuildSyntaxMissingQuote},
      {"'----':TEXT($4g$)", aeBuildSyntaxBadHex}, {"'----':TEXT($414$)", aeBuildSyntaxOddHex},
      {"'----':TEXT($41", aeBuildSyntaxNoCloseHex}, {"'----':$41$", aeBuildSyntaxUncoercedHex},
      {"'----':\"abc", aeBuildSyntaxNoCloseString}, {"'----':TEXT()", aeBuildSyntaxBadData},
      {"'----':TEXT(\"a\" x", aeBuildSyntaxNoCloseParen}, {"'----':[1 2]", aeBuildSyntaxNoCloseBracket},
      {"'----':{a:1 b}", aeBuildSyntaxNoCloseBrace}, {"5:1", aeBuildSyntaxNoKey},
      {"'----' 1", aeBuildSyntaxNoColon},       {"'----':shor([1])", aeBuildSyntaxCoercedList},
      {"'----':@@", aeBuildSyntaxUncoercedDoubleAt}, {"'----':%", aeBuildSyntaxBadToken},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    AppleEvent event{};
    AEBuildError error{99, 99};
    EXPECT_EQ(AEBuildAppleEvent('test', 'evnt', typeNull, nullptr, 0, -1, 0, &event, &error, c.format),
              errAEBuildSyntaxError);
    EXPECT_EQ(error.fError, c.code);
    EXPECT_LE(error.fErrorPos, std::strlen(c.format));
    EXPECT_EQ(event.descriptorType, DescType(typeNull));
  }
  // A good format: lists, records, typed values and arguments.
  AEDesc direct = Text("hello");
  AppleEvent event{};
  AEBuildError error{};
  ASSERT_EQ(AEBuildAppleEvent('test', 'evnt', typeNull, nullptr, 0, -1, 0, &event, &error,
                              "'----':@, 'snam':TEXT(@), nums:[1, 70000, -3], opts:{wide:1}, kind:'cfol'", &direct,
                              "run"),
            noErr);
  EXPECT_EQ(error.fError, 0u);
  char text[16] = {};
  Size size = 0;
  DescType type = 0;
  ASSERT_EQ(AEGetParamPtr(&event, 'snam', typeChar, &type, text, sizeof text, &size), noErr);
  EXPECT_EQ(std::string(text, size_t(size)), "run");
  AEDescList nums{};
  ASSERT_EQ(AEGetParamDesc(&event, 'nums', typeWildCard, &nums), noErr);
  long count = 0;
  AECountItems(&nums, &count);
  EXPECT_EQ(count, 3);
  SInt32 second = 0;
  ASSERT_EQ(AEGetNthPtr(&nums, 2, typeSInt32, nullptr, &type, &second, sizeof second, &size), noErr);
  EXPECT_EQ(second, 70000);
  AEDisposeDesc(&nums);
  AEDisposeDesc(&event);
  AEDisposeDesc(&direct);
}

std::vector<std::string> gSetValues;
OSErr RecordSetData(const AppleEvent *event, AppleEvent *, SRefCon) {
  char text[64] = {};
  Size size = 0;
  DescType type = 0;
  OSErr err = AEGetParamPtr(event, 'data', typeChar, &type, text, sizeof text - 1, &size);
  if (err != noErr) return err;
  AEDesc property{};
  if ((err = AEGetParamDesc(event, keyDirectObject, typeWildCard, &property)) != noErr) return err;
  AEDisposeDesc(&property);
  gSetValues.emplace_back(text, size_t(size));
  return noErr;
}

OSErr FailWithString(const AppleEvent *, AppleEvent *reply, SRefCon) {
  AE_PutErrorStringParamAsUTF8(reply, CFSTR("busy"));
  return -108;
}

OSErr AnswerFortyTwo(const AppleEvent *, AppleEvent *reply, SRefCon) {
  const SInt32 v = 42;
  return AEPutParamPtr(reply, keyDirectObject, typeSInt32, &v, sizeof v);
}

TEST(ToolkitAEvents, SendingToThisProcessReachesItsHandlers) {
  ASSERT_EQ(AEInstallEventHandler('core', 'setd', RecordSetData, 0, false), noErr);
  gSetValues.clear();
  ASSERT_EQ(AE_TellSelfToSetCFStringRefProperty('pnam', CFSTR("Take 2")), noErr);
  EXPECT_EQ(gSetValues, std::vector<std::string>{"Take 2"});
  EXPECT_EQ(AE_TellSelfToSetCFStringRefProperty('pnam', nullptr), paramErr);
  AERemoveEventHandler('core', 'setd', RecordSetData, false);

  // The reply's direct object, coerced; a handler's failure becomes the result.
  AEInstallEventHandler('test', 'answ', AnswerFortyTwo, 0, false);
  AEInstallEventHandler('test', 'fail', FailWithString, 0, false);
  AppleEvent ask = NewEvent('test', 'answ');
  AEDesc answer{};
  ASSERT_EQ(AE_SendEventReturnDirectObject(&ask, typeChar, &answer), noErr);
  char *text = nullptr;
  ASSERT_EQ(AE_CStringFromDesc(&answer, &text, 0), noErr);
  EXPECT_STREQ(text, "42");
  std::free(text);
  AEDisposeDesc(&answer);
  AppleEvent fail = NewEvent('test', 'fail');
  EXPECT_EQ(AE_SendEventReturnDirectObject(&fail, typeWildCard, &answer), -108);
  AppleEvent reply{};
  ASSERT_EQ(AE_SendAppleEvent(&fail, &reply), noErr);
  SInt32 handlerErr = 0;
  CFStringRef message = nullptr;
  ASSERT_EQ(AE_GetHandlerError(&reply, &handlerErr, &message), noErr);
  EXPECT_EQ(handlerErr, kAE_HandlerErrorStringErr);
  EXPECT_EQ(CString(message), "busy");
  CFRelease(message);
  AEDisposeDesc(&reply);
  AppleEvent nobody = NewEvent('test', 'none');
  EXPECT_EQ(AE_SendEventReturnDirectObject(&nobody, typeWildCard, &answer), errAEEventNotHandled);
  for (AppleEvent *e : {&ask, &fail, &nobody}) AEDisposeDesc(e);
  AERemoveEventHandler('test', 'answ', nullptr, false);
  AERemoveEventHandler('test', 'fail', nullptr, false);

  // Another process, or the Finder by signature, is not reachable.
  const ProcessSerialNumber other{0, 99999999};
  AppleEvent away{};
  ASSERT_EQ(AE_CreateAppleEventForPsn(&other, 'test', 'answ', &away), noErr);
  EXPECT_EQ(AE_SendAppleEvent(&away, nullptr), procNotFound);
  AEDisposeDesc(&away);
  ASSERT_EQ(AE_BuildRevealStartupDiskAE(&away), noErr);
  AEEventClass c = 0;
  AEEventID id = 0;
  ASSERT_EQ(AE_ExtractClassAndID(&away, &c, &id), noErr);
  EXPECT_EQ(c, AEEventClass('misc'));
  EXPECT_EQ(id, AEEventID('mvis'));
  AEDescList aliases{};
  ASSERT_EQ(AEGetParamDesc(&away, keyDirectObject, typeWildCard, &aliases), noErr);
  AEDesc alias{};
  ASSERT_EQ(AEGetNthDesc(&aliases, 1, typeWildCard, nullptr, &alias), noErr);
  EXPECT_EQ(alias.descriptorType, DescType(typeAlias));
  AEDisposeDesc(&alias);
  AEDisposeDesc(&aliases);
  EXPECT_EQ(AE_SendAppleEvent(&away, nullptr), procNotFound);
  AEDisposeDesc(&away);
  AEDesc notRecord = Text("x");
  EXPECT_EQ(AE_SendAppleEvent(&notRecord, nullptr), paramErr);
  AEDisposeDesc(&notRecord);
}

TEST(ToolkitAEvents, RequiredParametersAndTheSender) {
  AppleEvent event = NewEvent();
  const SInt32 v = 1;
  ASSERT_EQ(AEPutParamPtr(&event, keyDirectObject, typeSInt32, &v, sizeof v), noErr);
  EXPECT_EQ(AE_GotRequiredParams(&event), errAEParamMissed);
  EXPECT_EQ(AE_HasUnusedParameters(&event), errAEEventNotHandled);
  SInt32 got = 0;
  ASSERT_EQ(AE_SInt32FromDesc(&event, &got), errAECoercionFail);  // an event is no number
  AEDesc direct{};
  ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeWildCard, &direct), noErr);
  AEDisposeDesc(&direct);
  EXPECT_EQ(AE_GotRequiredParams(&event), noErr);
  EXPECT_EQ(AE_HasUnusedParameters(&event), noErr);

  // Sent by this process: its signature and type, not the Finder's.
  PL_SetProcessSignature('KBZ ');
  OSType signature = 0, type = 0;
  ASSERT_EQ(AE_GetSenderProcessSignatureAndType(&event, &signature, &type), noErr);
  EXPECT_EQ(signature, OSType('KBZ '));
  EXPECT_EQ(type, OSType('APPL'));
  Boolean finder = true;
  ASSERT_EQ(AE_IsSenderFinder(&event, &finder), noErr);
  EXPECT_FALSE(finder);
  PL_SetProcessSignature(0x3F3F3F3F);  // none again
  AEDisposeDesc(&event);

  // An address by signature is no process number.
  const OSType sig = 'MACS';
  FSRef file{};
  ASSERT_EQ(AE_CreateOpenDocEvent(&file, sig, nullptr, &event), noErr);
  EXPECT_EQ(AE_GetSenderProcessSignatureAndType(&event, &signature, &type), paramErr);
  AEDisposeDesc(&event);
  AEDesc text = Text("x");
  EXPECT_EQ(AE_GetSenderProcessSignatureAndType(&text, &signature, &type), paramErr);
  AEDisposeDesc(&text);

  AEDesc missing{};
  ASSERT_EQ(AE_CreateMissingValue(&missing), noErr);
  EXPECT_TRUE(AE_IsMissingValue(&missing));
  AEDisposeDesc(&missing);
  const DescType other = 'null';
  AEDesc notMissing{};
  AECreateDesc(typeType, &other, sizeof other, &notMissing);
  EXPECT_FALSE(AE_IsMissingValue(&notMissing));
  AEDisposeDesc(&notMissing);
}

TEST(ToolkitAEvents, ListsRectanglesAndCopies) {
  AEDescList a{}, b{};
  AECreateList(nullptr, 0, false, &a);
  AECreateList(nullptr, 0, false, &b);
  for (SInt16 v : {10, 20, 110, 220}) AEPutPtr(&a, 0, typeSInt16, &v, sizeof v);
  Rect r{};
  ASSERT_EQ(AE_QDRectFromDesc(&a, &r), noErr);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.bottom, 110);
  EXPECT_EQ(r.right, 220);
  ASSERT_EQ(AE_AppendListToList(&a, &b), noErr);
  ASSERT_EQ(AE_AppendListToList(&a, &b), noErr);
  long count = 0;
  AECountItems(&b, &count);
  EXPECT_EQ(count, 8);
  AEDesc copy{};
  ASSERT_EQ(AE_CopyDesc(&b, &copy), noErr);
  EXPECT_EQ(AEGetDescDataSize(&copy), AEGetDescDataSize(&b));
  EXPECT_NE(copy.dataHandle, b.dataHandle);
  for (AEDesc *d : {&a, &b, &copy}) EXPECT_EQ(AE_DisposeDesc(d), noErr);
  EXPECT_EQ(AE_DisposeDesc(nullptr), paramErr);
  EXPECT_EQ(AE_NullDesc(nullptr), paramErr);
}

TEST(ToolkitAEvents, SampleCoercionAndInstalledHandlers) {
  // The sample asks the record check of both descriptors, so plain text never reaches it.
  AEDesc text = Text("AB"), out{};
  const SRefCon magic = reinterpret_cast<SRefCon>(static_cast<intptr_t>(1234));
  EXPECT_EQ(AE_TextToBarCoercionHandler(&text, 'bar!', magic, &out), errAECoercionFail);
  AEDisposeDesc(&text);

  ASSERT_EQ(AE_InstallDescCoercionHandler(typeChar, 'bar!',
                                          [](const AEDesc *from, DescType, SRefCon, AEDesc *to) -> OSErr {
                                            const SInt32 n = SInt32(AEGetDescDataSize(from));
                                            return AECreateDesc('bar!', &n, sizeof n, to);
                                          },
                                          nullptr),
            noErr);
  text = Text("four");
  ASSERT_EQ(AECoerceDesc(&text, 'bar!', &out), noErr);
  SInt32 n = 0;
  AEGetDescData(&out, &n, sizeof n);
  EXPECT_EQ(n, 4);
  AEDisposeDesc(&out);
  AEDisposeDesc(&text);
  AERemoveCoercionHandler(typeChar, 'bar!', nullptr, false);
}

int gOpenApps = 0;
OSErr CountOpenApp(const AppleEvent *, AppleEvent *, SRefCon) {
  ++gOpenApps;
  return noErr;
}

TEST(ToolkitAEvents, HighLevelCarbonEventsReachTheAppleEventHandler) {
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, 'tstp', CountOpenApp, 0, false), noErr);
  AppleEvent event = NewEvent(kCoreEventClass, 'tstp');
  EventRef carbon = nullptr;
  ASSERT_EQ(PL_CreateHighLevelEvent(&event, &carbon), noErr);
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), carbon, kEventPriorityStandard), noErr);
  gOpenApps = 0;
  EXPECT_EQ(AE_AEventHandler(nullptr, carbon, nullptr), noErr);
  EXPECT_EQ(gOpenApps, 1);
  EXPECT_FALSE(IsEventInQueue(GetMainEventQueue(), carbon));
  ReleaseEvent(carbon);
  AEDisposeDesc(&event);
  AERemoveEventHandler(kCoreEventClass, 'tstp', nullptr, false);

  // The required placeholders install and answer noErr.
  ASSERT_EQ(AE_InstallRequiredAEHandlers(), noErr);
  AppleEvent quit = NewEvent(kCoreEventClass, kAEQuitApplication);
  EXPECT_EQ(PL_ProcessAppleEvent(&quit), noErr);
  AEDisposeDesc(&quit);
  for (AEEventID id : {kAEOpenApplication, kAEQuitApplication, kAEOpenDocuments, kAEPrintDocuments,
                       kAEReopenApplication})
    AERemoveEventHandler(kCoreEventClass, id, nullptr, false);
}

TEST(ToolkitAEvents, CompiledScriptsFindNoScriptingComponent) {
  bz_test::TempDir bundle;
  PL_SetMainBundleDirectory(bundle.path().c_str());
  OSAID context = 7;
  ComponentInstance ci = reinterpret_cast<ComponentInstance>(1);
  EXPECT_EQ(AE_LoadCompiledScript(CFSTR("Tidy"), &context, &ci), fnfErr);
  EXPECT_EQ(context, kOSANullScript);
  EXPECT_EQ(ci, nullptr);
  ASSERT_EQ(mkdir(bundle.File("Scripts").c_str(), 0700), 0);
  std::ofstream(bundle.File("Scripts/Tidy.scpt")) << "FasdUAS";
  EXPECT_EQ(AE_LoadCompiledScript(CFSTR("Tidy"), &context, &ci), kQT_NoComponentFoundErr);
  EXPECT_EQ(ci, nullptr);
  AE_UnloadCompiledScript(context, ci);  // nothing to unload
  AEDescList none{};
  AECreateList(nullptr, 0, false, &none);
  AEDesc result{};
  EXPECT_EQ(AE_CallScriptSubroutine(context, ci, "run", &none, &result, nullptr), paramErr);
  EXPECT_EQ(AE_RunNamedSubroutineNoParams(context, ci, "run", &result), paramErr);
  AEDisposeDesc(&none);
  PL_SetMainBundleDirectory(nullptr);
}

}  // namespace
