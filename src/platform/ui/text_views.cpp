// Text views and scroll views shown with Qt, clipboard and printing of text objects.
#include "platform/ui/text_views_qt.h"

#include "platform/core/cf_string.h"
#include "platform/core/fonts.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/nib_controls_qt.h"
#include "platform/ui/window_manager_qt.h"

#include <QApplication>
#include <QClipboard>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextEdit>
#include <QVBoxLayout>

#include <map>
#include <optional>
#include <string>

namespace {

// Views not yet put into a window are kept under this stand-in window.
char gDetachedHolder;
WindowRef Detached() { return reinterpret_cast<WindowRef>(&gDetachedHolder); }

struct View {
  QPointer<QWidget> widget;
  bool scroll = false;
  bool fromNib = false;  // laid out by its nib: never moved here
  OptionBits options = 0;
};
// Never destroyed: the controls that own text objects may go after this file's statics at exit.
std::map<ControlRef, View> &gViews = *new std::map<ControlRef, View>;
std::map<TXNObject, QPointer<QTextEdit>> &gShown = *new std::map<TXNObject, QPointer<QTextEdit>>;
bool gFromWidget = false;  // a change that the widget itself reported
SInt32 gNextDetachedID = 1;
std::optional<std::string> gPrintFile;
std::string gLastPrinted;
std::optional<QPageLayout> gPageLayout;

QString Characters(const UniChar *chars, TXNOffset start, TXNOffset end) {
  QString s = QString::fromUtf16(reinterpret_cast<const char16_t *>(chars + start), qsizetype(end - start));
  // One character per line end, so offsets stay those of the object.
  for (QChar &c : s)
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QChar::ParagraphSeparator;
  return s;
}

QColor ToQColor(const RGBColor &c) { return QColor::fromRgb(c.red >> 8, c.green >> 8, c.blue >> 8); }

// Fills the document with the object's text, runs and layout.
void Render(TXNObject object, QTextDocument *doc) {
  TXNOffset count = 0;
  const UniChar *chars = PL_TXNGetCharacters(object, &count);
  ItemCount runCount = 0;
  const PL_TXNRun *runs = PL_TXNGetRuns(object, &runCount);
  SInt32 just = kTXNFlushDefault;
  TXNMargins margins{0, 0, 0, 0};
  PL_TXNGetLayout(object, &margins, &just, nullptr, nullptr);
  doc->clear();
  doc->setDocumentMargin(0);
  QTextFrameFormat frame = doc->rootFrame()->frameFormat();
  frame.setTopMargin(margins.topMargin);
  frame.setLeftMargin(margins.leftMargin);
  frame.setBottomMargin(margins.bottomMargin);
  frame.setRightMargin(margins.rightMargin);
  doc->rootFrame()->setFrameFormat(frame);
  QTextOption option = doc->defaultTextOption();
  option.setAlignment(just == kTXNCenter     ? Qt::AlignHCenter
                      : just == kTXNFlushRight ? Qt::AlignRight
                      : just == kTXNFullJust   ? Qt::AlignJustify
                                               : Qt::AlignLeft);
  doc->setDefaultTextOption(option);
  QTextCursor cursor(doc);
  for (ItemCount i = 0; i < runCount; ++i) {
    const PL_TXNRun &run = runs[i];
    QTextCharFormat format;
    Str255 name;
    GetFontName(run.fontID, name);
    if (name[0] > 0) format.setFontFamilies({QString::fromLatin1(reinterpret_cast<const char *>(name + 1), name[0])});
    format.setFontPointSize(double(run.size) / 65536.0);
    format.setFontWeight((run.style & 1) ? QFont::Bold : QFont::Normal);
    format.setFontItalic((run.style & 2) != 0);
    format.setFontUnderline((run.style & 4) != 0);
    format.setForeground(ToQColor(run.color));
    cursor.insertText(Characters(chars, run.start, run.end), format);
  }
}

void ShowSelection(TXNObject object, QTextEdit *edit) {
  TXNOffset start = 0, end = 0;
  TXNGetSelection(object, &start, &end);
  QTextCursor cursor(edit->document());
  cursor.setPosition(int(start));
  cursor.setPosition(int(end), QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
}

void Show(TXNObject object, QTextEdit *edit) {
  const QSignalBlocker block(edit);
  Render(object, edit->document());
  Boolean hasBackground = false;
  RGBColor background{};
  PL_TXNGetLayout(object, nullptr, nullptr, &hasBackground, &background);
  if (hasBackground) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, ToQColor(background));
    edit->setPalette(palette);
  }
  ShowSelection(object, edit);
}

void TextChanged(TXNObject object) {
  auto it = gShown.find(object);
  if (it == gShown.end()) return;
  if (!PL_TXNIsObject(object) || !it->second) {
    gShown.erase(it);
    return;
  }
  if (gFromWidget) return;
  QTextEdit *edit = it->second;
  // A view that showed the end keeps showing it as text is appended, as a log does.
  QScrollBar *bar = edit->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  Show(object, edit);
  if (atEnd) bar->setValue(bar->maximum());
}

void Bind(TXNObject object, QTextEdit *edit) {
  gShown[object] = edit;
  QObject::connect(edit, &QTextEdit::selectionChanged, edit, [object, edit] {
    if (!PL_TXNIsObject(object)) return;
    const QTextCursor cursor = edit->textCursor();
    gFromWidget = true;
    TXNSetSelection(object, TXNOffset(cursor.selectionStart()), TXNOffset(cursor.selectionEnd()));
    gFromWidget = false;
  });
  Show(object, edit);
}

// The widget a view's parent shows it in; NULL while the view is outside any window.
QWidget *ParentWidget(WindowRef window, ControlRef control) {
  HIViewRef super = HIViewGetSuperview(control);
  if (super == nullptr) return nullptr;
  // A scroll view takes its text view in even before either is in a window.
  auto own = gViews.find(super);
  if (own != gViews.end()) return own->second.widget;
  if (window == Detached()) return nullptr;
  if (super == HIViewGetRoot(window)) return PL_GetWindowWidget(window);
  HIViewID id{};
  if (GetControlID(super, &id) != noErr) return nullptr;
  return PL_GetControlWidget(window, id);
}

// Keeps a view's widget where its control is: parent, frame and visibility.
void Place(WindowRef window, HIViewID, ControlRef control) {
  if (control == nullptr) return;
  auto it = gViews.find(control);
  if (it == gViews.end()) return;
  QWidget *widget = it->second.widget;
  if (widget == nullptr) {
    gViews.erase(it);
    return;
  }
  if (it->second.fromNib) return;
  QWidget *parent = ParentWidget(window, control);
  if (parent == nullptr) {
    widget->hide();
    return;
  }
  HIViewRef super = HIViewGetSuperview(control);
  auto superView = gViews.find(super);
  const bool inScroll = superView != gViews.end() && superView->second.scroll;
  if (widget->parentWidget() != parent) {
    widget->setParent(parent);
    if (inScroll) {
      parent->layout()->addWidget(widget);
      auto *edit = qobject_cast<QTextEdit *>(widget);
      if (edit != nullptr) {
        const OptionBits options = superView->second.options;
        edit->setVerticalScrollBarPolicy((options & kHIScrollViewOptionsVertScroll) ? Qt::ScrollBarAsNeeded
                                                                                     : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy((options & kHIScrollViewOptionsHorizScroll) ? Qt::ScrollBarAsNeeded
                                                                                        : Qt::ScrollBarAlwaysOff);
      }
    }
  }
  if (!inScroll) {
    Rect b{};
    GetControlBounds(control, &b);
    widget->setGeometry(b.left, b.top, b.right - b.left, b.bottom - b.top);
  }
  widget->setVisible(IsControlVisible(control));
}

OSStatus NewDetachedControl(const ControlKind &kind, ControlRef *out) {
  const HIViewID id{0, -(gNextDetachedID++)};
  OSStatus err = PL_NewControl(Detached(), &id, out);
  if (err != noErr) return err;
  return PL_SetControlKind(*out, &kind);
}

void PutScrap(CFStringRef text) {
  std::u16string copy;
  const CFIndex length = CFStringGetLength(text);
  copy.resize(size_t(length));
  CFStringGetCharacters(text, CFRange{0, length}, reinterpret_cast<UniChar *>(copy.data()));
  QGuiApplication::clipboard()->setText(QString::fromStdU16String(copy));
}

CFStringRef CopyScrap() {
  const QString text = QGuiApplication::clipboard()->text();
  return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar *>(text.utf16()), CFIndex(text.size()));
}

OSStatus Print(TXNObject object) {
  QTextDocument doc;
  Render(object, &doc);
  QPrinter printer(QPrinter::HighResolution);
  if (gPageLayout) printer.setPageLayout(*gPageLayout);
  if (gPrintFile) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(*gPrintFile));
  } else {
    QPrintDialog dialog(&printer);
    if (dialog.exec() != QDialog::Accepted) return userCanceledErr;
  }
  doc.print(&printer);
  gLastPrinted = doc.toPlainText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')).toStdString();
  return printer.printerState() == QPrinter::Error ? ioErr : noErr;
}

OSStatus PageSetup(TXNObject) {
  QPrinter printer(QPrinter::HighResolution);
  if (gPageLayout) printer.setPageLayout(*gPageLayout);
  if (!gPrintFile) {
    QPageSetupDialog dialog(&printer);
    if (dialog.exec() != QDialog::Accepted) return userCanceledErr;
  }
  gPageLayout = printer.pageLayout();
  return noErr;
}

QTextEdit *NewTextEdit() {
  auto *edit = new QTextEdit;
  edit->setReadOnly(true);
  edit->setAcceptRichText(false);
  edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  edit->hide();
  return edit;
}

}  // namespace

void PL_InstallTextViews() {
  PL_AddControlObserver(Place);
  PL_SetTXNChangedProc(TextChanged);
  static const PL_TXNPrintProcs print{Print, PageSetup};
  PL_SetTXNPrintProcs(&print);
  if (QGuiApplication::instance() != nullptr) {
    static const PL_TXNScrapProcs scrap{PutScrap, CopyScrap};
    PL_SetTXNScrapProcs(&scrap);
  }
}

OSStatus HITextViewCreate(const HIRect *inBoundsRect, OptionBits, TXNFrameOptions inTXNFrameOptions,
                          HIViewRef *outTextView) {
  if (outTextView == nullptr) return paramErr;
  *outTextView = nullptr;
  PL_InstallTextViews();
  TXNObject object = nullptr;
  OSStatus err = TXNCreateObject(inBoundsRect, inTXNFrameOptions, &object);
  if (err != noErr) return err;
  ControlRef control = nullptr;
  err = NewDetachedControl(ControlKind{kControlKindSignatureApple, kControlKindHITextView}, &control);
  if (err == noErr) err = PL_SetControlTextObject(control, object);
  if (err != noErr) {
    if (control != nullptr) DisposeControl(control);
    TXNDeleteObject(object);
    return err;
  }
  QTextEdit *edit = NewTextEdit();
  gViews[control] = View{edit, false, false, 0};
  Bind(object, edit);
  if (inBoundsRect != nullptr) HIViewSetFrame(control, inBoundsRect);
  *outTextView = control;
  return noErr;
}

TXNObject HITextViewGetTXNObject(HIViewRef inTextView) {
  ControlKind kind{};
  if (GetControlKind(inTextView, &kind) != noErr || kind.kind != kControlKindHITextView) return nullptr;
  return PL_GetControlTextObject(inTextView);
}

OSStatus HIScrollViewCreate(OptionBits inOptions, HIViewRef *outView) {
  if (outView == nullptr) return paramErr;
  *outView = nullptr;
  PL_InstallTextViews();
  ControlRef control = nullptr;
  OSStatus err = NewDetachedControl(ControlKind{kControlKindSignatureApple, kControlKindHIScrollView}, &control);
  if (err != noErr) return err;
  auto *container = new QWidget;
  auto *layout = new QVBoxLayout(container);
  layout->setContentsMargins(0, 0, 0, 0);
  container->hide();
  gViews[control] = View{container, true, false, inOptions};
  *outView = control;
  return noErr;
}

OSStatus PL_AttachTextViewWidget(ControlRef control, QTextEdit *edit) {
  if (control == nullptr || edit == nullptr) return paramErr;
  PL_InstallTextViews();
  TXNObject object = nullptr;
  OSStatus err = TXNCreateObject(nullptr, kTXNReadOnlyMask | kTXNAlwaysWrapAtViewEdgeMask |
                                              kTXNDontDrawCaretWhenInactiveMask, &object);
  if (err != noErr) return err;
  const ControlKind kind{kControlKindSignatureApple, kControlKindHITextView};
  err = PL_SetControlKind(control, &kind);
  if (err == noErr) err = PL_SetControlTextObject(control, object);
  if (err != noErr) {
    TXNDeleteObject(object);
    return err;
  }
  // The Designer file's text is where the object starts.
  const QString start = edit->toPlainText();
  TXNControlData writable{};
  const TXNControlTag privileges = kTXNIOPrivilegesTag;
  TXNSetTXNObjectControls(object, false, 1, &privileges, &writable);
  TXNSetData(object, kTXNUnicodeTextData, start.utf16(), ByteCount(start.size()) * 2, kTXNStartOffset, kTXNEndOffset);
  TXNControlData readOnly{};
  readOnly.uValue = kTXNReadOnly;
  TXNSetTXNObjectControls(object, false, 1, &privileges, &readOnly);
  edit->setReadOnly(true);
  gViews[control] = View{edit, false, true, 0};
  Bind(object, edit);
  return noErr;
}

QTextEdit *PL_GetTextViewWidget(HIViewRef textView) {
  TXNObject object = HITextViewGetTXNObject(textView);
  auto it = gShown.find(object);
  return it == gShown.end() ? nullptr : it->second.data();
}

void PL_SetPrintOutputFile(const char *pdfPath) {
  if (pdfPath == nullptr)
    gPrintFile.reset();
  else
    gPrintFile = pdfPath;
}

const char *PL_GetLastPrintedText() { return gLastPrinted.c_str(); }
