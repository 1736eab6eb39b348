// Nibs as Qt Designer files, and the controls of their windows kept in step with the widgets.
#include "platform/ui/nib_controls_qt.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/text_views_qt.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QSpinBox>
#include <QTabBar>
#include <QTextEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QUiLoader>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

struct OpaqueIBNibRef {
  std::string path;  // a single-window Designer file, or a folder of one file per window
  bool folder;
};

namespace {

struct NibWindow {
  EventTargetRef hitTarget = nullptr;
  std::map<std::pair<OSType, SInt32>, QPointer<QWidget>> widgets;
  std::vector<QMetaObject::Connection> connections;
};

std::map<WindowRef, NibWindow> &Windows() {
  static std::map<WindowRef, NibWindow> windows;
  return windows;
}

// Set while the program itself writes a widget, so that its signals are no hits.
bool gMirroring = false;

QString ToQString(CFStringRef s) {
  if (s == nullptr) return QString();
  const CFIndex length = CFStringGetLength(s);
  std::vector<char> utf8(size_t(length) * 4 + 1);
  if (!CFStringGetCString(s, utf8.data(), CFIndex(utf8.size()), kCFStringEncodingUTF8)) return QString();
  return QString::fromUtf8(utf8.data());
}

CFStringRef ToCFString(const QString &s) {
  const QByteArray utf8 = s.toUtf8();
  return CFStringCreateWithCString(nullptr, utf8.constData(), kCFStringEncodingUTF8);
}

// "PRGR_3003" -> {'PRGR', 3003}.
bool ParseViewID(const QString &name, HIViewID *id) {
  static const QRegularExpression pattern(QStringLiteral("^(.{4})_(-?\\d+)$"));
  const QRegularExpressionMatch m = pattern.match(name);
  if (!m.hasMatch()) return false;
  const QByteArray sig = m.captured(1).toLatin1();
  if (sig.size() != 4) return false;
  id->signature = (OSType(UInt8(sig[0])) << 24) | (OSType(UInt8(sig[1])) << 16) | (OSType(UInt8(sig[2])) << 8) |
                  OSType(UInt8(sig[3]));
  bool ok = false;
  id->id = SInt32(m.captured(2).toLong(&ok));
  return ok;
}

// Our own kinds of view, named in the Designer files by these classes, made from plain widgets here; the
// windows that use them give them their behaviour.
// Designer offers no plain tab bar; its tabs come from the property "tabs" once the file is loaded.
QWidget *NamedTabBar(QWidget *parent, const QString &name) {
  auto *bar = new QTabBar(parent);
  bar->setObjectName(name);
  return bar;
}

void AddTabs(QWidget *root) {
  for (QTabBar *bar : root->findChildren<QTabBar *>())
    if (bar->count() == 0)
      for (const QString &tab : bar->property("tabs").toStringList()) bar->addTab(tab);
}

class NibLoader : public QUiLoader {
 public:
  QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override {
    QWidget *widget = nullptr;
    if (className == QLatin1String("BZLittleArrows")) {
      auto *arrows = new QSpinBox(parent);
      arrows->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
      arrows->setMaximumWidth(18);
      arrows->setStyleSheet(QStringLiteral("QSpinBox { border: none; }"));
      widget = arrows;
    } else if (className == QLatin1String("BZChasingArrows")) {
      auto *busy = new QProgressBar(parent);
      busy->setRange(0, 0);
      busy->setTextVisible(false);
      busy->setFixedSize(16, 16);
      widget = busy;
    } else if (className == QLatin1String("BZImageWell") || className == QLatin1String("BZFrameView")) {
      auto *well = new QLabel(parent);
      well->setFrameShape(QFrame::StyledPanel);
      well->setFrameShadow(QFrame::Sunken);
      well->setAlignment(Qt::AlignCenter);
      well->setMinimumSize(80, 60);
      widget = well;
    } else if (className == QLatin1String("BZImageView")) {
      auto *view = new QLabel(parent);
      view->setAlignment(Qt::AlignCenter);
      widget = view;
    } else if (className == QLatin1String("BZTextView")) {
      auto *text = new QTextEdit(parent);
      text->setReadOnly(true);
      text->setFocusPolicy(Qt::NoFocus);
      widget = text;
    } else if (className == QLatin1String("QTabBar")) {
      return NamedTabBar(parent, name);
    } else if (className == QLatin1String("BZPopupButton")) {
      widget = new QComboBox(parent);
    } else {
      return QUiLoader::createWidget(className, parent, name);
    }
    widget->setObjectName(name);
    widget->setProperty("bzViewKind", className);
    return widget;
  }
};

void SendHit(WindowRef window, ControlRef control) {
  auto it = Windows().find(window);
  if (it == Windows().end()) return;
  EventRef event = nullptr;
  if (CreateEvent(nullptr, 'cntl', 1, 0, kEventAttributeNone, &event) != noErr) return;
  SetEventParameter(event, kEventParamDirectObject, 'ctrl', sizeof control, &control);
  SendEventToEventTarget(event, it->second.hitTarget ? it->second.hitTarget : GetApplicationEventTarget());
  ReleaseEvent(event);
}

// Shows the control's state on its widget.
void Mirror(WindowRef window, HIViewID id, ControlRef control) {
  auto it = Windows().find(window);
  if (it == Windows().end()) return;
  if (control == nullptr) {  // UpdateControls
    for (auto &[key, widget] : it->second.widgets)
      if (widget) widget->update();
    return;
  }
  auto w = it->second.widgets.find({id.signature, id.id});
  if (w == it->second.widgets.end() || !w->second) return;
  QWidget *widget = w->second;
  gMirroring = true;
  Boolean indeterminate = false;
  GetControlData(control, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                 &indeterminate, nullptr);
  CFStringRef text = nullptr;
  CopyControlTitleAsCFString(control, &text);
  if (auto *bar = qobject_cast<QProgressBar *>(widget)) {
    if (indeterminate) {
      bar->setRange(0, 0);
    } else {
      bar->setRange(GetControl32BitMinimum(control), GetControl32BitMaximum(control));
      bar->setValue(GetControl32BitValue(control));
    }
  } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
    const SInt32 v = GetControl32BitValue(control);
    check->setCheckState(v == 0 ? Qt::Unchecked : v == 1 ? Qt::Checked : Qt::PartiallyChecked);
    check->setText(ToQString(text));
  } else if (auto *radio = qobject_cast<QRadioButton *>(widget)) {
    radio->setChecked(GetControl32BitValue(control) != 0);
    radio->setText(ToQString(text));
  } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
    button->setText(ToQString(text));
  } else if (auto *label = qobject_cast<QLabel *>(widget)) {
    label->setText(ToQString(text));
  } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
    if (edit->text() != ToQString(text)) edit->setText(ToQString(text));
  }
  if (text != nullptr) CFRelease(text);
  widget->setVisible(IsControlVisible(control));
  gMirroring = false;
}

// The control's state from its widget, set before the mirroring is installed.
void TakeWidgetState(ControlRef control, QWidget *widget, QWidget *root) {
  QString text;
  if (auto *bar = qobject_cast<QProgressBar *>(widget)) {
    SetControl32BitMaximum(control, bar->maximum());
    SetControl32BitMinimum(control, bar->minimum());
    SetControl32BitValue(control, bar->value());
    const Boolean indeterminate = bar->minimum() == 0 && bar->maximum() == 0;
    SetControlData(control, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                   &indeterminate);
  } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
    text = button->text();
    if (button->isCheckable()) {
      SetControl32BitMaximum(control, qobject_cast<QCheckBox *>(widget) ? 2 : 1);
      auto *check = qobject_cast<QCheckBox *>(widget);
      SetControl32BitValue(control, check ? SInt32(check->checkState() == Qt::Checked ? 1
                                                   : check->checkState() == Qt::PartiallyChecked ? 2 : 0)
                                          : SInt32(button->isChecked()));
    }
  } else if (auto *label = qobject_cast<QLabel *>(widget)) {
    text = label->text();
  } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
    text = edit->text();
  }
  if (!text.isEmpty()) {
    CFStringRef s = ToCFString(text);
    if (s != nullptr) {
      SetControlTitleWithCFString(control, s);
      CFRelease(s);
    }
  }
  const QRect g(widget->mapTo(root, QPoint(0, 0)), widget->size());
  const Rect bounds{SInt16(g.top()), SInt16(g.left()), SInt16(g.bottom() + 1), SInt16(g.right() + 1)};
  SetControlBounds(control, &bounds);
  if (widget->isHidden()) HideControl(control);
}

}  // namespace

OSStatus CreateNibReference(CFStringRef inNibName, IBNibRef *outNibRef) {
  if (outNibRef == nullptr) return paramErr;
  *outNibRef = nullptr;
  if (inNibName == nullptr) return paramErr;
  // A nib is a folder of one Designer file per window, or a single-window file.
  const std::string base = PL_MainBundleDirectory() + "/" + ToQString(inNibName).toStdString();
  if (QFileInfo(QString::fromStdString(base)).isDir()) {
    *outNibRef = new OpaqueIBNibRef{base, true};
    return noErr;
  }
  if (!QFile::exists(QString::fromStdString(base + ".ui"))) return fnfErr;
  *outNibRef = new OpaqueIBNibRef{base + ".ui", false};
  return noErr;
}

void DisposeNibReference(IBNibRef inNibRef) { delete inNibRef; }

std::string PL_GetNibFilePath(IBNibRef inNibRef, CFStringRef inName) {
  if (inNibRef == nullptr) return std::string();
  if (!inNibRef->folder) return inNibRef->path;
  return inNibRef->path + "/" + ToQString(inName).toStdString() + ".ui";
}

OSStatus PL_LoadNibWindowWidget(IBNibRef inNibRef, CFStringRef inName, QWidget **outWidget) {
  if (outWidget == nullptr) return paramErr;
  *outWidget = nullptr;
  if (inNibRef == nullptr || inName == nullptr) return paramErr;
  const QString name = ToQString(inName);
  QString path = QString::fromStdString(inNibRef->path);
  if (inNibRef->folder) path += QStringLiteral("/") + name + QStringLiteral(".ui");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return fnfErr;
  NibLoader loader;
  QWidget *top = loader.load(&file);
  if (top == nullptr) return fnfErr;
  QWidget *window = top->objectName() == name ? top : top->findChild<QWidget *>(name);
  if (window == nullptr) {
    delete top;
    return fnfErr;
  }
  if (window != top) {
    window->setParent(nullptr);
    delete top;
  }
  AddTabs(window);
  *outWidget = window;
  return noErr;
}

OSStatus PL_AttachNibControls(WindowRef window, QWidget *root, EventTargetRef hitTarget) {
  if (window == nullptr || root == nullptr) return paramErr;
  PL_DetachNibControls(window);
  NibWindow record;
  record.hitTarget = hitTarget;
  QList<QWidget *> all = root->findChildren<QWidget *>();
  all.prepend(root);
  for (QWidget *widget : all) {
    HIViewID id;
    if (!ParseViewID(widget->objectName(), &id)) continue;
    ControlRef control = nullptr;
    OSStatus err = PL_NewControl(window, &id, &control);
    if (err != noErr) {
      PL_DisposeWindowControls(window);
      return err;
    }
    TakeWidgetState(control, widget, root);
    if (widget->property("bzViewKind").toString() == QLatin1String("BZTextView"))
      err = PL_AttachTextViewWidget(control, qobject_cast<QTextEdit *>(widget));
    if (err != noErr) {
      PL_DisposeWindowControls(window);
      return err;
    }
    record.widgets[{id.signature, id.id}] = widget;
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
      record.connections.push_back(QObject::connect(button, &QAbstractButton::clicked, [window, id, button] {
        if (gMirroring) return;
        ControlRef c = nullptr;
        if (GetControlByID(window, &id, &c) != noErr) return;
        if (auto *check = qobject_cast<QCheckBox *>(button))
          SetControl32BitValue(c, check->checkState() == Qt::Checked ? 1 : 0);
        else if (button->isCheckable())
          SetControl32BitValue(c, button->isChecked() ? 1 : 0);
        SendHit(window, c);
      }));
    }
  }
  Windows()[window] = std::move(record);
  PL_SetControlChangedProc(Mirror);
  return noErr;
}

void PL_DetachNibControls(WindowRef window) {
  auto it = Windows().find(window);
  if (it != Windows().end()) {
    for (auto &c : it->second.connections) QObject::disconnect(c);
    Windows().erase(it);
  }
  PL_DisposeWindowControls(window);
}

Boolean PL_HasNibControls(WindowRef window) { return Windows().count(window) != 0; }

QWidget *PL_GetControlWidget(WindowRef window, HIViewID id) {
  auto it = Windows().find(window);
  if (it == Windows().end()) return nullptr;
  auto w = it->second.widgets.find({id.signature, id.id});
  return w == it->second.widgets.end() ? nullptr : w->second.data();
}
