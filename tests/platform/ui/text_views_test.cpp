// Text views shown by read-only QTextEdits over text objects (offscreen): embedding into a window, what the
// view shows of runs and line ends, the user's selection, clipboard, printing and the nib's text view.
#include "platform/ui/text_views_qt.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/nib_controls_qt.h"
#include "platform/ui/window_manager_qt.h"

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTextBlock>
#include <QTextEdit>

#include <string>

namespace {

QApplication &App() {
  static int argc = 1;
  static char name[] = "text_views_test";
  static char *argv[] = {name, nullptr};
  static QApplication *app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)app;
  return *static_cast<QApplication *>(QApplication::instance());
}

OSStatus Append(TXNObject object, const std::string &bytes) {
  return TXNSetData(object, kTXNTextData, bytes.data(), bytes.size(), kTXNEndOffset, kTXNEndOffset);
}

struct TextViewWindow : ::testing::Test {
  WindowRef window = nullptr;
  HIViewRef scroll = nullptr, text = nullptr;
  TXNObject object = nullptr;
  void SetUp() override {
    App();
    const Rect bounds{200, 300, 600, 700};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &bounds, &window), noErr);
    const HIRect frame{{0, 0}, {400, 400}};
    ASSERT_EQ(HITextViewCreate(&frame, 0, 6176, &text), noErr);
    object = HITextViewGetTXNObject(text);
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(HIScrollViewCreate(kHIScrollViewOptionsVertScroll | kHIScrollViewOptionsAllowGrow, &scroll), noErr);
    ASSERT_EQ(HIViewAddSubview(scroll, text), noErr);
    ASSERT_EQ(HIViewAddSubview(HIViewGetRoot(window), scroll), noErr);
    const HIRect below{{0, 30}, {400, 370}};
    ASSERT_EQ(HIViewSetFrame(scroll, &below), noErr);
    const HIViewID id{'LOGT', 2};
    ASSERT_EQ(HIViewSetID(text, id), noErr);
    TXNControlTag tag = kTXNIOPrivilegesTag;
    TXNControlData data{};
    ASSERT_EQ(TXNSetTXNObjectControls(object, false, 1, &tag, &data), noErr);
  }
  void TearDown() override { DisposeWindow(window); }
  QTextEdit *Edit() { return PL_GetTextViewWidget(text); }
};

TEST_F(TextViewWindow, ViewSitsInTheWindowBelowThePlacardAndShowsLineEndsAsLines) {
  QTextEdit *edit = Edit();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(PL_GetWidgetWindow(edit), window);
  EXPECT_TRUE(edit->isReadOnly());
  const QWidget *container = edit->parentWidget();
  EXPECT_EQ(container->geometry(), QRect(0, 30, 400, 370));
  HIViewRef found = nullptr;
  EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window), HIViewID{'LOGT', 2}, &found), noErr);
  EXPECT_EQ(found, text);

  ASSERT_EQ(Append(object, "\nheader\n\nOpened. Time: now\r\rmore\r"), noErr);
  // One block per line end: offsets in the view are the object's offsets.
  EXPECT_EQ(edit->document()->blockCount(), 7);
  EXPECT_EQ(edit->document()->characterCount() - 1, 33);
  EXPECT_EQ(edit->document()->findBlockByNumber(5).text(), QStringLiteral("more"));
}

TEST_F(TextViewWindow, ColouredRangesAndSizesShowInTheView) {
  ASSERT_EQ(Append(object, "Averaging + Outliers"), noErr);
  const RGBColor grey{32767, 32767, 32767};
  TXNTypeAttributes colour{kTXNQDFontColorAttribute, sizeof(RGBColor), {}};
  colour.data.dataPtr = const_cast<RGBColor *>(&grey);
  ASSERT_EQ(TXNSetTypeAttributes(object, 1, &colour, 0, 12), noErr);
  TXNTypeAttributes size{kTXNQDFontSizeAttribute, sizeof(Fixed), {}};
  size.data.dataValue = UInt32(9 << 16);
  ASSERT_EQ(TXNSetTypeAttributes(object, 1, &size, 12, kTXNEndOffset), noErr);

  auto formatAt = [&](int position) {
    QTextCursor cursor(Edit()->document());
    cursor.setPosition(position + 1);  // the format of the character before the cursor
    return cursor.charFormat();
  };
  EXPECT_EQ(formatAt(0).foreground().color(), QColor(127, 127, 127));
  EXPECT_EQ(formatAt(11).foreground().color(), QColor(127, 127, 127));
  EXPECT_EQ(formatAt(12).foreground().color(), QColor(0, 0, 0));
  EXPECT_EQ(formatAt(12).fontPointSize(), 9.0);
  EXPECT_EQ(formatAt(0).fontPointSize(), 12.0);
}

TEST_F(TextViewWindow, UserSelectionReachesTheObjectAndCopiesFromIt) {
  ASSERT_EQ(Append(object, "line one\rline two\r"), noErr);
  QTextCursor cursor(Edit()->document());
  cursor.setPosition(9);
  cursor.setPosition(17, QTextCursor::KeepAnchor);
  Edit()->setTextCursor(cursor);  // as the user's drag leaves it
  TXNOffset s = 0, e = 0;
  TXNGetSelection(object, &s, &e);
  EXPECT_EQ(s, 9u);
  EXPECT_EQ(e, 17u);
  ASSERT_EQ(TXNCopy(object), noErr);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("line two"));

  // Control text of a text view is its object's text.
  CFStringRef replaced = CFSTR("set\rthrough the control");
  ASSERT_EQ(SetControlData(text, kControlEntireControl, kControlEditTextCFStringTag, sizeof replaced, &replaced),
            noErr);
  EXPECT_EQ(Edit()->document()->blockCount(), 2);
  CFStringRef back = nullptr;
  ASSERT_EQ(GetControlData(text, kControlEntireControl, kControlEditTextCFStringTag, sizeof back, &back, nullptr),
            noErr);
  EXPECT_EQ(CFStringCompare(back, replaced, 0), kCFCompareEqualTo);
  CFRelease(back);
}

TEST_F(TextViewWindow, PrintingWritesTheObjectsTextToAPdf) {
  bz_test::TempDir dir;
  const std::string pdf = dir.File("log.pdf");
  PL_SetPrintOutputFile(pdf.c_str());
  ASSERT_EQ(Append(object, "first\rsecond\r"), noErr);
  ASSERT_EQ(TXNPageSetup(object), noErr);
  ASSERT_EQ(TXNPrint(object), noErr);
  PL_SetPrintOutputFile(nullptr);
  EXPECT_EQ(std::string(PL_GetLastPrintedText()), "first\nsecond\n");
  QFile file(QString::fromStdString(pdf));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.read(4) == "%PDF");
}

TEST(PlatformTextViews, NibTextViewIsATextViewWithItsObject) {
  App();
  IBNibRef nib = nullptr;
  ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &nib), noErr);
  WindowRef window = nullptr;
  ASSERT_EQ(CreateWindowFromNib(nib, CFSTR("New Project Dialog"), &window), noErr);
  DisposeNibReference(nib);
  ControlRef view = nullptr;
  const HIViewID id{'Orl1', 2004};
  ASSERT_EQ(GetControlByID(window, &id, &view), noErr);
  ControlKind kind{};
  ASSERT_EQ(GetControlKind(view, &kind), noErr);
  EXPECT_EQ(kind.kind, kControlKindHITextView);
  TXNObject object = HITextViewGetTXNObject(view);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(Append(object, "refused"), wrPermErr);  // read-only until the program opens it
  QTextEdit *edit = PL_GetTextViewWidget(view);
  ASSERT_EQ(edit, PL_GetControlWidget(window, id));
  CFStringRef methods = CFSTR("Average + Outliers");
  ASSERT_EQ(SetControlData(view, kControlEntireControl, kControlEditTextCFStringTag, sizeof methods, &methods),
            wrPermErr);
  TXNControlTag tag = kTXNIOPrivilegesTag;
  TXNControlData data{};
  ASSERT_EQ(TXNSetTXNObjectControls(object, false, 1, &tag, &data), noErr);
  ASSERT_EQ(SetControlData(view, kControlEntireControl, kControlEditTextCFStringTag, sizeof methods, &methods),
            noErr);
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("Average + Outliers"));
  DisposeWindow(window);
  EXPECT_FALSE(PL_TXNIsObject(object));
}

}  // namespace
