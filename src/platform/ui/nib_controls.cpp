// Nibs as Qt Designer files, and the controls of their windows kept in step with the widgets.
#include "platform/ui/nib_controls_qt.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/data_browser.h"
#include "platform/core/mac_errors.h"
#include "platform/core/menus.h"
#include "platform/ui/images_quartz_qt.h"
#include "platform/ui/text_views_qt.h"
#include "platform/ui/window_pictures.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTabBar>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstring>
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
  QPointer<QWidget> root;
  std::map<std::pair<OSType, SInt32>, QPointer<QWidget>> widgets;
  std::vector<QMetaObject::Connection> connections;
  std::vector<QPointer<QObject>> helpers;  // event filters and button groups made here
};

std::map<WindowRef, NibWindow> &Windows() {
  static std::map<WindowRef, NibWindow> windows;
  return windows;
}

// Set while the program itself writes a widget, so that its signals are no hits.
bool gMirroring = false;
// Set while a control takes its state from its widget (geometry, focus, typed text), so that the mirror
// does not write it back.
bool gFollowing = false;

struct Guard {
  bool &flag;
  bool saved;
  explicit Guard(bool &f) : flag(f), saved(f) { flag = true; }
  ~Guard() { flag = saved; }
};

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

QString ControlText(ControlRef control) {
  CFStringRef text = nullptr;
  if (CopyControlTitleAsCFString(control, &text) != noErr) return QString();
  QString q = ToQString(text);
  if (text != nullptr) CFRelease(text);
  return q;
}

void SetControlText(ControlRef control, const QString &text) {
  CFStringRef s = ToCFString(text);
  if (s == nullptr) return;
  SetControlTitleWithCFString(control, s);
  CFRelease(s);
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

QString ViewIDName(HIViewID id) {
  char sig[5] = {char(id.signature >> 24), char(id.signature >> 16), char(id.signature >> 8), char(id.signature), 0};
  return QString::fromLatin1(sig) + QLatin1Char('_') + QString::number(id.id);
}

// Little arrows: two auto-repeating arrow buttons; the control's action runs with part 20 or 21 while one
// is held.
class LittleArrows : public QWidget {
 public:
  explicit LittleArrows(QWidget *parent) : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int k = 0; k < 2; ++k) {
      auto *button = new QToolButton(this);
      button->setArrowType(k == 0 ? Qt::UpArrow : Qt::DownArrow);
      button->setAutoRepeat(true);
      button->setAutoRepeatDelay(300);
      button->setAutoRepeatInterval(60);
      button->setFixedSize(16, 11);
      button->setObjectName(k == 0 ? QStringLiteral("up") : QStringLiteral("down"));
      layout->addWidget(button);
    }
    setFixedSize(16, 22);
  }
  QToolButton *Up() const { return findChild<QToolButton *>(QStringLiteral("up")); }
  QToolButton *Down() const { return findChild<QToolButton *>(QStringLiteral("down")); }
};

// A view that can paint itself with any painter, so that its drawing can take its place among the
// control's draw handlers.
class SelfDrawing {
 public:
  virtual ~SelfDrawing() = default;
  virtual void DrawSelf(QPainter &painter) = 0;
};

// An image well (and the frame views drawn like one): a sunken frame with its picture centred.
class ImageWell : public QLabel, public SelfDrawing {
 public:
  explicit ImageWell(QWidget *parent) : QLabel(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAlignment(Qt::AlignCenter);
    setMinimumSize(80, 60);
  }
  void DrawSelf(QPainter &painter) override {
    drawFrame(&painter);
    const QPixmap picture = pixmap();
    if (picture.isNull()) return;
    QRect place(QPoint(0, 0), picture.size());
    place.moveCenter(contentsRect().center());
    painter.drawPixmap(place.topLeft(), picture);
  }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    DrawSelf(painter);
  }
};

// An image view: its image scaled into the view, at the view's opacity.
class ImageView : public QWidget, public SelfDrawing {
 public:
  explicit ImageView(QWidget *parent) : QWidget(parent) {}
  ~ImageView() override { CGImageRelease(image_); }
  // Shows the image (retained; converted only when it is another image) at that opacity.
  void Show(CGImageRef image, qreal alpha) {
    if (image != image_) {
      CGImageRelease(image_);
      image_ = image != nullptr ? CGImageRetain(image) : nullptr;
      picture_ = PL_CGImageCopyQImage(image_);
    }
    alpha_ = alpha;
    update();
  }
  void DrawSelf(QPainter &painter) override {
    if (picture_.isNull()) return;
    painter.save();
    painter.setOpacity(alpha_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), picture_);
    painter.restore();
  }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    DrawSelf(painter);
  }

 private:
  CGImageRef image_ = nullptr;  // retained
  QImage picture_;
  qreal alpha_ = 1;
};

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

// Our own kinds of view, named in the Designer files by these classes, made from plain widgets here.
class NibLoader : public QUiLoader {
 public:
  QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override {
    QWidget *widget = nullptr;
    if (className == QLatin1String("BZLittleArrows")) {
      widget = new LittleArrows(parent);
    } else if (className == QLatin1String("BZChasingArrows")) {
      auto *busy = new QProgressBar(parent);
      busy->setRange(0, 1);
      busy->setValue(0);
      busy->setTextVisible(false);
      busy->setFixedSize(16, 16);
      widget = busy;
    } else if (className == QLatin1String("BZImageWell") || className == QLatin1String("BZFrameView")) {
      widget = new ImageWell(parent);
    } else if (className == QLatin1String("BZImageView")) {
      widget = new ImageView(parent);
    } else if (className == QLatin1String("BZTextView")) {
      auto *text = new QTextEdit(parent);
      text->setReadOnly(true);
      text->setFocusPolicy(Qt::NoFocus);
      widget = text;
    } else if (className == QLatin1String("QTabBar")) {
      return NamedTabBar(parent, name);
    } else if (className == QLatin1String("BZPopupButton")) {
      auto *button = new QPushButton(parent);
      button->setMenu(new QMenu(button));
      widget = button;
    } else {
      return QUiLoader::createWidget(className, parent, name);
    }
    widget->setObjectName(name);
    widget->setProperty("bzViewKind", className);
    return widget;
  }
};

NibWindow *WindowRecord(WindowRef window) {
  auto it = Windows().find(window);
  return it == Windows().end() ? nullptr : &it->second;
}

QWidget *WidgetOf(WindowRef window, HIViewID id) {
  NibWindow *w = WindowRecord(window);
  if (w == nullptr) return nullptr;
  auto it = w->widgets.find({id.signature, id.id});
  return it == w->widgets.end() ? nullptr : it->second.data();
}

ControlRef ControlOf(WindowRef window, HIViewID id) {
  ControlRef c = nullptr;
  return GetControlByID(window, &id, &c) == noErr ? c : nullptr;
}

void SendHitEvent(WindowRef window, ControlRef control, ControlPartCode part) {
  NibWindow *w = WindowRecord(window);
  EventRef event = nullptr;
  if (CreateEvent(nullptr, kEventClassControl, kEventControlHit, 0, kEventAttributeUserEvent, &event) != noErr) return;
  SetEventParameter(event, kEventParamDirectObject, 'ctrl', sizeof control, &control);
  SetEventParameter(event, 'cprt', 'cprt', sizeof part, &part);
  SendEventToEventTarget(event, w != nullptr && w->hitTarget ? w->hitTarget : GetApplicationEventTarget());
  ReleaseEvent(event);
}

void SendHit(WindowRef window, HIViewID id, ControlPartCode part = 1) {
  if (gMirroring) return;
  if (ControlRef c = ControlOf(window, id)) SendHitEvent(window, c, part);
}

// A text field's or combo box's event, sent to the control's own target.
void SendControlEvent(WindowRef window, HIViewID id, UInt32 eventClass, UInt32 kind) {
  if (gMirroring) return;
  ControlRef control = ControlOf(window, id);
  if (control == nullptr) return;
  EventRef event = nullptr;
  if (CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeUserEvent, &event) != noErr) return;
  SetEventParameter(event, kEventParamDirectObject, 'ctrl', sizeof control, &control);
  SendEventToEventTarget(event, GetControlEventTarget(control));
  ReleaseEvent(event);
}

void RunAction(WindowRef window, HIViewID id, ControlPartCode part) {
  if (gMirroring) return;
  ControlRef control = ControlOf(window, id);
  if (control == nullptr) return;
  if (ControlActionUPP action = GetControlAction(control)) action(control, part);
}

// Whether a layout places the widget (then the program never moves it).
bool InLayout(const QLayout *layout, const QWidget *widget) {
  if (layout == nullptr) return false;
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem *item = layout->itemAt(i);
    if (item->widget() == widget) return true;
    if (item->layout() != nullptr && InLayout(item->layout(), widget)) return true;
  }
  return false;
}

bool LayoutManaged(const QWidget *widget) {
  return widget->parentWidget() != nullptr && InLayout(widget->parentWidget()->layout(), widget);
}

// The widget that holds the control's frame coordinates: its superview's widget, or the root.
QWidget *FrameOrigin(WindowRef window, ControlRef control) {
  NibWindow *w = WindowRecord(window);
  HIViewRef super = HIViewGetSuperview(control);
  HIViewID superID{};
  if (super != nullptr && HIViewGetID(super, &superID) == noErr && !(superID.signature == kHIViewWindowContentID.signature &&
                                                                      superID.id == kHIViewWindowContentID.id))
    if (QWidget *p = WidgetOf(window, superID)) return p;
  return w != nullptr ? w->root.data() : nullptr;
}

Rect WidgetFrame(QWidget *widget, QWidget *origin) {
  const QPoint topLeft = origin != nullptr && widget->parentWidget() != nullptr
                             ? widget->parentWidget()->mapTo(origin->window(), widget->pos()) -
                                   origin->mapTo(origin->window(), QPoint(0, 0))
                             : widget->pos();
  return Rect{SInt16(topLeft.y()), SInt16(topLeft.x()), SInt16(topLeft.y() + widget->height()),
              SInt16(topLeft.x() + widget->width())};
}

bool SameRect(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// The control's bounds follow its widget.
void FollowGeometry(WindowRef window, HIViewID id, QWidget *widget) {
  ControlRef control = ControlOf(window, id);
  if (control == nullptr) return;
  const Rect frame = WidgetFrame(widget, FrameOrigin(window, control));
  Rect bounds{};
  GetControlBounds(control, &bounds);
  if (SameRect(frame, bounds)) return;
  Guard following(gFollowing);
  SetControlBounds(control, &frame);
}

QMenu *PopupMenuOf(QWidget *widget) {
  auto *button = qobject_cast<QPushButton *>(widget);
  return button != nullptr && widget->property("bzViewKind").toString() == QLatin1String("BZPopupButton")
             ? button->menu()
             : nullptr;
}

void ChooseSubmenuItem(WindowRef window, HIViewID id, MenuItemIndex parentItem, MenuRef submenu, MenuItemIndex item);

// The pop-up's QMenu, built afresh from the control's menu (submenus included; separators count as items).
void FillMenu(QMenu *qmenu, MenuRef menu, WindowRef window, HIViewID id, MenuItemIndex parentItem) {
  qmenu->clear();
  if (menu == nullptr) return;
  for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) {
    MenuItemAttributes attributes = 0;
    GetMenuItemAttributes(menu, i, &attributes);
    if (attributes & kMenuItemAttrSeparator) {
      qmenu->addSeparator();
      continue;
    }
    CFStringRef text = nullptr;
    CopyMenuItemTextAsCFString(menu, i, &text);
    const QString title = ToQString(text);
    if (text != nullptr) CFRelease(text);
    MenuRef sub = nullptr;
    if (GetMenuItemHierarchicalMenu(menu, i, &sub) == noErr && sub != nullptr) {
      QMenu *subQ = qmenu->addMenu(title);
      subQ->setEnabled(IsMenuItemEnabled(menu, i));
      FillMenu(subQ, sub, window, id, i);
      continue;
    }
    QAction *action = qmenu->addAction(title);
    action->setEnabled(IsMenuItemEnabled(menu, i));
    CharParameter mark = 0;
    GetItemMark(menu, i, &mark);
    if (mark != 0) {
      action->setCheckable(true);
      action->setChecked(true);
    }
    if (parentItem == 0) {
      QObject::connect(action, &QAction::triggered, action, [window, id, i] {
        if (gMirroring) return;
        ControlRef c = ControlOf(window, id);
        if (c == nullptr) return;
        SetControl32BitValue(c, SInt32(i));
        SendHitEvent(window, c, 1);
      });
    } else {
      QObject::connect(action, &QAction::triggered, action,
                       [window, id, parentItem, menu, i] { ChooseSubmenuItem(window, id, parentItem, menu, i); });
    }
  }
}

// An item of a pop-up's submenu: the pop-up shows the submenu's parent item; the command goes to the
// submenu's handlers (then to the application), and the pop-up reports the hit.
void ChooseSubmenuItem(WindowRef window, HIViewID id, MenuItemIndex parentItem, MenuRef submenu, MenuItemIndex item) {
  if (gMirroring) return;
  ControlRef c = ControlOf(window, id);
  if (c == nullptr) return;
  SetControl32BitValue(c, SInt32(parentItem));
  HICommand command{};
  command.attributes = kHICommandFromMenu;
  GetMenuItemCommandID(submenu, item, &command.commandID);
  command.menu.menuRef = submenu;
  command.menu.menuItemIndex = item;
  EventRef event = nullptr;
  if (CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeUserEvent, &event) == noErr) {
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    SendEventToEventTarget(event, GetMenuEventTarget(submenu));
    ReleaseEvent(event);
  }
  SendHitEvent(window, c, 1);
}

QFont SizedFont(QWidget *widget, ControlRef control) {
  QFont font = QApplication::font(widget);
  SInt16 size = kControlSizeNormal;
  if (GetControlData(control, kControlEntireControl, kControlSizeTag, sizeof size, &size, nullptr) == noErr &&
      size == kControlSizeSmall)
    font.setPointSizeF(font.pointSizeF() > 2 ? font.pointSizeF() - 2 : font.pointSizeF());
  ControlFontStyleRec style{};
  if (GetControlData(control, kControlEntireControl, kControlFontStyleTag, sizeof style, &style, nullptr) == noErr) {
    if ((style.flags & kControlUseSizeMask) && style.size > 0) font.setPointSize(style.size);
    if (style.flags & kControlUseFaceMask) {
      font.setBold(style.style & 1);
      font.setItalic(style.style & 2);
      font.setUnderline(style.style & 4);
    }
  }
  return font;
}

// QuickDraw justification: 0 default (left), 1 centre, -1 right, -2 left.
void ShowJustification(QWidget *widget, ControlRef control) {
  ControlFontStyleRec style{};
  if (GetControlData(control, kControlEntireControl, kControlFontStyleTag, sizeof style, &style, nullptr) != noErr ||
      !(style.flags & kControlUseJustMask))
    return;
  const Qt::Alignment h = style.just == 1 ? Qt::AlignHCenter : style.just == -1 ? Qt::AlignRight : Qt::AlignLeft;
  if (auto *label = qobject_cast<QLabel *>(widget))
    label->setAlignment(h | (label->alignment() & Qt::AlignVertical_Mask));
  else if (auto *edit = qobject_cast<QLineEdit *>(widget))
    edit->setAlignment(h | Qt::AlignVCenter);
}

void ShowRadioGroup(QButtonGroup *group, SInt32 value) {
  group->setExclusive(false);
  for (QAbstractButton *b : group->buttons()) b->setChecked(group->id(b) == value);
  group->setExclusive(true);
}

QButtonGroup *RadioGroupOf(QWidget *widget) { return widget->findChild<QButtonGroup *>(QString(), Qt::FindDirectChildrenOnly); }

void ShowComboList(QComboBox *combo, ControlRef control) {
  QStringList items;
  for (ItemCount i = 0; i < HIComboBoxGetItemCount(control); ++i) {
    CFStringRef text = nullptr;
    if (HIComboBoxCopyTextItemAtIndex(control, CFIndex(i), &text) == noErr) {
      items << ToQString(text);
      CFRelease(text);
    }
  }
  QStringList shown;
  for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
  if (shown != items) {
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
  }
}

// Creates the widget of a control that came without one (a pane made by code), under its superview's widget.
QWidget *EnsureWidget(WindowRef window, HIViewID id, ControlRef control) {
  NibWindow *w = WindowRecord(window);
  if (w == nullptr || w->root == nullptr || id.signature == 0) return nullptr;
  QWidget *parent = FrameOrigin(window, control);
  auto *pane = new QWidget(parent != nullptr ? parent : w->root.data());
  pane->setObjectName(ViewIDName(id));
  pane->setProperty("bzViewKind", QStringLiteral("BZPane"));
  w->widgets[{id.signature, id.id}] = pane;
  return pane;
}

// Qt's parenting follows the control hierarchy: a control moved into another view takes its widget along.
void ShowParent(WindowRef window, ControlRef control, QWidget *widget) {
  QWidget *origin = FrameOrigin(window, control);
  if (origin == nullptr || widget->parentWidget() == nullptr) return;
  // Already inside its superview's widget (directly or through unnamed containers): nothing to do.
  for (QWidget *p = widget->parentWidget(); p != nullptr; p = p->parentWidget()) {
    if (p == origin) return;
    HIViewID pid{};
    if (ParseViewID(p->objectName(), &pid)) break;
  }
  if (QLayout *layout = widget->parentWidget()->layout()) layout->removeWidget(widget);
  const bool visible = !widget->isHidden();
  widget->setParent(origin);
  widget->setVisible(visible);
}

// Shows the control's state on its widget.
void Mirror(WindowRef window, HIViewID id, ControlRef control) {
  NibWindow *record = WindowRecord(window);
  if (record == nullptr) return;
  if (control == nullptr) {  // UpdateControls
    for (auto &[key, widget] : record->widgets)
      if (widget) widget->update();
    return;
  }
  QWidget *widget = WidgetOf(window, id);
  if (widget == nullptr) {
    HIViewFeatures features = 0;
    HIViewGetFeatures(control, &features);
    if (!(features & kHIViewFeatureAllowsSubviews) || (widget = EnsureWidget(window, id, control)) == nullptr) return;
  }
  Guard mirroring(gMirroring);
  Boolean indeterminate = false;
  GetControlData(control, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                 &indeterminate, nullptr);
  const SInt32 value = GetControl32BitValue(control);
  const QString kind = widget->property("bzViewKind").toString();
  if (kind == QLatin1String("BZChasingArrows")) {
    Boolean animating = false;
    GetControlData(control, kControlEntireControl, kControlChasingArrowsAnimatingTag, sizeof animating, &animating,
                   nullptr);
    auto *busy = static_cast<QProgressBar *>(widget);
    busy->setRange(0, animating ? 0 : 1);
  } else if (auto *bar = qobject_cast<QProgressBar *>(widget)) {
    if (indeterminate) {
      bar->setRange(0, 0);
    } else {
      bar->setRange(GetControl32BitMinimum(control), GetControl32BitMaximum(control));
      bar->setValue(value);
    }
  } else if (QMenu *menu = PopupMenuOf(widget)) {
    MenuRef menuRef = GetControlPopupMenuHandle(control);
    FillMenu(menu, menuRef, window, id, 0);
    CFStringRef text = nullptr;
    if (menuRef != nullptr && value >= 1 && CopyMenuItemTextAsCFString(menuRef, MenuItemIndex(value), &text) == noErr) {
      static_cast<QPushButton *>(widget)->setText(ToQString(text));
      CFRelease(text);
    } else {
      static_cast<QPushButton *>(widget)->setText(QString());
    }
  } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
    check->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
    check->setText(ControlText(control));
  } else if (auto *radio = qobject_cast<QRadioButton *>(widget)) {
    radio->setChecked(value != 0);
    radio->setText(ControlText(control));
  } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
    button->setText(ControlText(control));
    if (auto *push = qobject_cast<QPushButton *>(widget)) {
      ControlRef defaultButton = nullptr;
      GetWindowDefaultButton(window, &defaultButton);
      push->setDefault(defaultButton == control);
    }
  } else if (auto *label = qobject_cast<QLabel *>(widget);
             label != nullptr && widget->property("bzViewKind").toString() == QLatin1String("BZImageWell")) {
    // An image well shows its picture (or image) at its own size, centred.
    ControlButtonContentInfo content{};
    const bool known = GetImageWellContentInfo(control, &content) == noErr;
    PicHandle picture = known && content.contentType == kControlContentPictHandle ? content.u.picture : nullptr;
    if (known && content.contentType == kControlContentCGImageRef && content.u.imageRef != nullptr) {
      label->setPixmap(QPixmap::fromImage(PL_CGImageCopyQImage(content.u.imageRef)));
    } else if (picture == nullptr || *picture == nullptr) {
      label->setPixmap(QPixmap());
    } else {
      Rect frame = (**picture).picFrame;
      const int width = frame.right - frame.left, height = frame.bottom - frame.top;
      QPixmap pixmap(std::max(width, 1), std::max(height, 1));
      pixmap.fill(Qt::transparent);
      QPainter painter(&pixmap);
      const Rect target{0, 0, SInt16(height), SInt16(width)};
      PL_PaintPicture(&painter, picture, &target);
      painter.end();
      label->setPixmap(pixmap);
    }
  } else if (auto *label = qobject_cast<QLabel *>(widget)) {
    label->setText(ControlText(control));
  } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
    const QString text = ControlText(control);
    if (edit->text() != text) edit->setText(text);
    ControlEditTextSelectionRec sel{};
    if (GetControlData(control, kControlEntireControl, kControlEditTextSelectionTag, sizeof sel, &sel, nullptr) ==
            noErr &&
        !gFollowing) {
      const int start = std::clamp<int>(sel.selStart, 0, int(text.size()));
      const int end = std::clamp<int>(sel.selEnd, start, int(text.size()));
      if (edit->selectionStart() != start || edit->selectionLength() != end - start) edit->setSelection(start, end - start);
    }
  } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
    ShowComboList(combo, control);
    const QString text = ControlText(control);
    if (combo->currentText() != text) combo->setEditText(text);
  } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
    if (value >= 1 && value <= tabs->count()) tabs->setCurrentIndex(value - 1);
  } else if (auto *slider = qobject_cast<QSlider *>(widget)) {
    slider->setRange(GetControl32BitMinimum(control), GetControl32BitMaximum(control));
    slider->setValue(value);
  } else if (auto *box = qobject_cast<QGroupBox *>(widget); box != nullptr && box->isCheckable()) {
    box->setChecked(value != 0);
  } else if (QButtonGroup *group = RadioGroupOf(widget)) {
    ShowRadioGroup(group, value);
  } else if (auto *view = dynamic_cast<ImageView *>(widget)) {
    CGImageRef image = HIImageViewCopyImage(control);
    view->Show(image, HIImageViewGetAlpha(control));
    CGImageRelease(image);
  }
  widget->setEnabled(HIViewIsActive(control, nullptr));
  widget->setFont(SizedFont(widget, control));
  ShowJustification(widget, control);
  CFStringRef help = nullptr;
  if (PL_GetControlHelpText(control, &help) == noErr && help != nullptr) widget->setToolTip(ToQString(help));
  ShowParent(window, control, widget);
  if (!gFollowing) {
    Rect bounds{};
    GetControlBounds(control, &bounds);
    const QWidget *origin = FrameOrigin(window, control);
    if (!LayoutManaged(widget) && origin != nullptr && widget->parentWidget() != nullptr &&
        !SameRect(bounds, WidgetFrame(widget, const_cast<QWidget *>(origin)))) {
      const QPoint inParent =
          widget->parentWidget()->mapFrom(origin->window(), origin->mapTo(origin->window(), QPoint(bounds.left, bounds.top)));
      widget->setGeometry(inParent.x(), inParent.y(), bounds.right - bounds.left, bounds.bottom - bounds.top);
    }
    ControlRef focus = nullptr;
    GetKeyboardFocus(window, &focus);
    if (focus == control && !widget->hasFocus()) widget->setFocus(Qt::OtherFocusReason);
  }
  widget->setVisible(IsControlVisible(control));
  // What the control's draw handlers paint may have changed with it; a view drawn at once (HIViewRender)
  // paints now, unless it is painting already.
  const UInt32 renders = PL_GetControlRenderCount(control);
  if (widget->property("bzRenders").toUInt() != renders && widget->isVisible() &&
      !widget->testAttribute(Qt::WA_WState_InPaintEvent)) {
    widget->setProperty("bzRenders", renders);
    widget->repaint();
  } else {
    widget->update();
  }
}

// Keeps the control's bounds, focus and selection in step with the user's doings on the widget, and makes the
// window's default (Return) and cancel (Escape) buttons answer their keys.
class Follower : public QObject {
 public:
  Follower(WindowRef window, QObject *parent) : QObject(parent), window_(window) {}
  bool eventFilter(QObject *watched, QEvent *event) override {
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr) return false;
    HIViewID id{};
    const bool isControl = ParseViewID(widget->objectName(), &id) && WidgetOf(window_, id) == widget;
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
        if (isControl) FollowGeometry(window_, id, widget);
        break;
      case QEvent::FocusIn:
        if (isControl)
          if (ControlRef c = ControlOf(window_, id)) {
            Guard following(gFollowing);
            SetKeyboardFocus(window_, c, kControlFocusNextPart);
          }
        break;
      case QEvent::Enter:
      case QEvent::Leave:
        if (isControl) Track(id, event->type() == QEvent::Enter);
        break;
      case QEvent::Paint:
        if (isControl && widget != ownDrawing_) return Draw(id, widget, static_cast<QPaintEvent *>(event));
        break;
      case QEvent::MouseButtonPress:
        // A click into an edit text is its hit.
        if (isControl && qobject_cast<QLineEdit *>(widget) != nullptr && widget->isEnabled()) SendHit(window_, id);
        break;
      case QEvent::KeyPress:
        if (widget == widget->window()) return event != editReturn_ && WindowKey(static_cast<QKeyEvent *>(event));
        // Return in an edit text accepts the text only; the event still reaches the window, which lets it be.
        if (qobject_cast<QLineEdit *>(widget) != nullptr || qobject_cast<QComboBox *>(widget) != nullptr) {
          const int key = static_cast<QKeyEvent *>(event)->key();
          if (key == Qt::Key_Return || key == Qt::Key_Enter) editReturn_ = event;
        }
        break;
      default:
        break;
    }
    return false;
  }

 private:
  // The widget's paint as a control-draw event: the control's draw handlers paint into a context over the
  // widget's pixels, the widget's own drawing being the last of them; the result goes on the screen. A
  // control without draw handlers paints as the widget does (false: Qt goes on with the paint).
  bool Draw(HIViewID id, QWidget *widget, QPaintEvent *paint) {
    ControlRef control = ControlOf(window_, id);
    if (control == nullptr) return false;
    if (HIViewGetNeedsDisplay(control)) HIViewSetNeedsDisplay(control, false);
    EventTargetRef target = PL_PeekControlEventTarget(control);
    if (target == nullptr || !PL_EventTargetHandles(target, kEventClassControl, kEventControlDraw)) return false;
    CGContextRef context = PL_CGContextCreateForView(widget->width(), widget->height());
    if (context == nullptr) return false;
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassControl, kEventControlDraw, 0, kEventAttributeNone, &event) != noErr) {
      CGContextRelease(context);
      return false;
    }
    const HIRect area = CGRectMake(0, 0, widget->width(), widget->height());
    HIShapeRef shape = HIShapeCreateWithRect(&area);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof control, &control);
    SetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, sizeof context, &context);
    if (shape != nullptr) SetEventParameter(event, kEventParamShape, typeHIShapeRef, sizeof shape, &shape);
    // Qt's own kinds of widget paint only on their own device: they paint first, and their handlers draw
    // over them whatever their order.
    auto *self = dynamic_cast<SelfDrawing *>(widget);
    if (self == nullptr) {
      QWidget *saved = ownDrawing_;
      ownDrawing_ = widget;
      static_cast<QObject *>(widget)->event(paint);
      ownDrawing_ = saved;
    }
    PL_SendEventToTargetWithStandard(event, target, DrawOwn, self);
    ReleaseEvent(event);
    if (shape != nullptr) CFRelease(shape);
    const QImage image = PL_CGContextCopyQImage(context);
    CGContextRelease(context);
    QPainter painter(widget);
    painter.drawImage(0, 0, image);
    return true;
  }
  // The last draw handler: a view that can paint itself anywhere paints itself (without its children,
  // which paint after it) into the event's context; another has painted itself already.
  static OSStatus DrawOwn(EventHandlerCallRef, EventRef event, void *data) {
    auto *self = static_cast<SelfDrawing *>(data);
    CGContextRef context = nullptr;
    if (GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr,
                          &context) != noErr)
      return paramErr;
    if (self != nullptr) PL_CGContextPaintPixels(context, [self](QPainter &painter) { self->DrawSelf(painter); });
    return noErr;
  }

  // The view's tracking area, when it has one, hears the mouse come and go.
  void Track(HIViewID id, bool entered) {
    ControlRef control = ControlOf(window_, id);
    HIViewTrackingAreaRef area = control != nullptr ? PL_GetViewTrackingArea(control) : nullptr;
    if (area == nullptr) return;
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassControl, entered ? kEventControlTrackingAreaEntered : kEventControlTrackingAreaExited,
                    0, kEventAttributeUserEvent, &event) != noErr)
      return;
    SetEventParameter(event, kEventParamDirectObject, 'ctrl', sizeof control, &control);
    SetEventParameter(event, 'ctra', 'ctra', sizeof area, &area);
    SendEventToEventTarget(event, GetControlEventTarget(control));
    ReleaseEvent(event);
  }
  bool WindowKey(QKeyEvent *key) {
    ControlRef button = nullptr;
    if (key->key() == Qt::Key_Escape)
      GetWindowCancelButton(window_, &button);
    else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
      GetWindowDefaultButton(window_, &button);
    if (button == nullptr) return false;
    HIViewID id{};
    GetControlID(button, &id);
    auto *widget = qobject_cast<QAbstractButton *>(WidgetOf(window_, id));
    if (widget == nullptr || !widget->isEnabled() || !widget->isVisible()) return false;
    widget->click();
    return true;
  }
  WindowRef window_;
  QEvent *editReturn_ = nullptr;
  QWidget *ownDrawing_ = nullptr;  // painting itself inside a draw event
};

// Rebuilds the tree from the browser's items: one column per list-view column (or one), each row its
// texts or, without any, its ID; open containers hold their items; the selection is the model's.
void AddBrowserRows(ControlRef control, QTreeWidget *tree, QTreeWidgetItem *parent, DataBrowserItemID container,
                    const std::vector<DataBrowserTableViewColumnID> &columns) {
  Handle items = NewHandle(0);
  if (items == nullptr) return;
  if (GetDataBrowserItems(control, container, false, kDataBrowserItemAnyState, items) == noErr) {
    const Size n = GetHandleSize(items) / Size(sizeof(DataBrowserItemID));
    std::vector<DataBrowserItemID> ids(static_cast<size_t>(n));
    if (n > 0) std::memcpy(ids.data(), *items, size_t(n) * sizeof(DataBrowserItemID));
    for (DataBrowserItemID itemID : ids) {
      auto *row = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
      row->setData(0, Qt::UserRole, uint(itemID));
      for (size_t col = 0; col < std::max<size_t>(columns.size(), 1); ++col) {
        CFStringRef text = PL_GetDataBrowserItemText(
            control, itemID, columns.empty() ? kDataBrowserItemSelfIdentityProperty : columns[col]);
        row->setText(int(col), text != nullptr ? ToQString(text) : col == 0 ? QString::number(itemID) : QString());
      }
      row->setSelected(IsDataBrowserItemSelected(control, itemID));
      DataBrowserItemState state = 0;
      GetDataBrowserItemState(control, itemID, &state);
      if (state & kDataBrowserContainerIsOpen) {
        AddBrowserRows(control, tree, row, itemID, columns);
        row->setExpanded(true);
      }
    }
  }
  DisposeHandle(items);
}

void MirrorDataBrowser(ControlRef control) {
  WindowRef window = GetControlOwner(control);
  HIViewID id{};
  if (window == nullptr || GetControlID(control, &id) != noErr) return;
  auto *tree = qobject_cast<QTreeWidget *>(WidgetOf(window, id));
  if (tree == nullptr || gMirroring) return;  // a user's selection: the tree shows it already
  Guard mirroring(gMirroring);
  UInt32 count = 0;
  PL_GetDataBrowserColumns(control, nullptr, 0, &count);
  std::vector<DataBrowserTableViewColumnID> columns(count);
  PL_GetDataBrowserColumns(control, columns.data(), count, &count);
  tree->clear();
  tree->setColumnCount(int(std::max<UInt32>(count, 1)));
  QStringList headers;
  for (size_t col = 0; col < columns.size(); ++col) {
    CFStringRef title = PL_GetDataBrowserItemText(control, kDataBrowserNoItem, columns[col]);
    headers << (title != nullptr ? ToQString(title) : QString());
    UInt16 width = 0;
    if (GetDataBrowserTableViewNamedColumnWidth(control, columns[col], &width) == noErr && width > 0)
      tree->setColumnWidth(int(col), width);
  }
  tree->setHeaderHidden(columns.empty());
  if (!columns.empty()) tree->setHeaderLabels(headers);
  OptionBits attributes = 0;
  DataBrowserGetAttributes(control, &attributes);
  tree->setAlternatingRowColors((attributes & kDataBrowserAttributeListViewAlternatingRowColors) != 0);
  AddBrowserRows(control, tree, nullptr, kDataBrowserNoItem, columns);
}

// The Carbon kind and class of a widget.
void TakeKind(ControlRef control, QWidget *widget) {
  const QString kind = widget->property("bzViewKind").toString();
  OSType k = kControlKindUserPane;
  CFStringRef classID = nullptr;
  if (kind == QLatin1String("BZLittleArrows")) k = kControlKindLittleArrows;
  else if (kind == QLatin1String("BZChasingArrows")) k = 'carr';
  else if (kind == QLatin1String("BZImageWell")) k = 'well';
  else if (kind == QLatin1String("BZImageView")) k = 'imag', classID = CFSTR("com.apple.HIImageView");
  else if (kind == QLatin1String("BZTextView")) k = kControlKindHITextView, classID = CFSTR("com.apple.HITextView");
  else if (kind == QLatin1String("BZPopupButton")) k = kControlKindPopupButton;
  else if (qobject_cast<QCheckBox *>(widget)) k = 'cbox';
  else if (qobject_cast<QRadioButton *>(widget)) k = 'rdio';
  else if (qobject_cast<QAbstractButton *>(widget)) k = 'push';
  else if (qobject_cast<QLineEdit *>(widget)) k = kControlKindEditText;
  else if (qobject_cast<QComboBox *>(widget)) k = kControlKindHIComboBox, classID = CFSTR("com.apple.HIComboBox");
  else if (qobject_cast<QLabel *>(widget)) k = 'stxt';
  else if (qobject_cast<QSlider *>(widget)) k = 'sldr';
  else if (qobject_cast<QTabBar *>(widget)) k = 'tabs';
  else if (qobject_cast<QTreeWidget *>(widget)) k = kControlKindDataBrowser;
  else if (qobject_cast<QProgressBar *>(widget)) k = 'prgb';
  else if (RadioGroupOf(widget) != nullptr) k = kControlKindRadioGroup;
  else if (auto *group = qobject_cast<QGroupBox *>(widget)) k = group->isCheckable() ? 'cbox' : 'grpb';
  const ControlKind controlKind{kControlKindSignatureApple, k};
  PL_SetControlKind(control, &controlKind);
  if (k == kControlKindDataBrowser) PL_MakeDataBrowser(control);
  if (classID != nullptr) PL_SetControlClassID(control, classID);
  if (k == kControlKindUserPane || k == 'grpb' || k == kControlKindRadioGroup || k == 'tabs' ||
      qobject_cast<QGroupBox *>(widget) != nullptr)
    HIViewChangeFeatures(control, kHIViewFeatureAllowsSubviews, 0);
}

// The control's state from its widget, set before the mirroring is installed.
void TakeWidgetState(ControlRef control, QWidget *widget) {
  QString text;
  if (auto *bar = qobject_cast<QProgressBar *>(widget)) {
    SetControl32BitMaximum(control, bar->maximum());
    SetControl32BitMinimum(control, bar->minimum());
    SetControl32BitValue(control, bar->value());
    const Boolean indeterminate = bar->minimum() == 0 && bar->maximum() == 0;
    SetControlData(control, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                   &indeterminate);
  } else if (PopupMenuOf(widget) != nullptr) {
    SetControl32BitMinimum(control, 1);
  } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
    text = button->text();
    if (button->isCheckable()) {
      auto *check = qobject_cast<QCheckBox *>(widget);
      SetControl32BitMaximum(control, check ? 2 : 1);
      SetControl32BitValue(control, check ? SInt32(check->checkState() == Qt::Checked          ? 1
                                                   : check->checkState() == Qt::PartiallyChecked ? 2
                                                                                                 : 0)
                                          : SInt32(button->isChecked()));
    }
  } else if (auto *label = qobject_cast<QLabel *>(widget)) {
    text = label->text();
  } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
    text = edit->text();
  } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
    text = combo->currentText();
    for (int i = 0; i < combo->count(); ++i) {
      CFStringRef item = ToCFString(combo->itemText(i));
      HIComboBoxAppendTextItem(control, item, nullptr);
      CFRelease(item);
    }
  } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
    SetControl32BitMinimum(control, 1);
    SetControl32BitMaximum(control, tabs->count());
    SetControl32BitValue(control, tabs->currentIndex() + 1);
  } else if (auto *slider = qobject_cast<QSlider *>(widget)) {
    SetControl32BitMinimum(control, slider->minimum());
    SetControl32BitMaximum(control, slider->maximum());
    SetControl32BitValue(control, slider->value());
  } else if (auto *box = qobject_cast<QGroupBox *>(widget); box != nullptr && box->isCheckable()) {
    SetControl32BitMaximum(control, 1);
    SetControl32BitValue(control, box->isChecked() ? 1 : 0);
    text = box->title();
  } else if (QButtonGroup *group = RadioGroupOf(widget)) {
    SetControl32BitMinimum(control, 0);
    SetControl32BitMaximum(control, SInt32(group->buttons().size()));
    SetControl32BitValue(control, group->checkedId() > 0 ? group->checkedId() : 0);
  }
  if (!text.isEmpty()) SetControlText(control, text);
  if (!widget->toolTip().isEmpty()) {
    CFStringRef tip = ToCFString(widget->toolTip());
    HMHelpContentRec help{};
    help.version = kMacHelpVersion;
    help.content[kHMMinimumContentIndex].contentType = kHMCFStringContent;
    help.content[kHMMinimumContentIndex].u.tagCFString = tip;
    help.content[kHMMaximumContentIndex].contentType = kHMNoContent;
    HMSetControlHelpContent(control, &help);
    CFRelease(tip);
  }
  // Only the file's own "disabled", not one inherited from a container (an unchecked group box).
  if (widget->testAttribute(Qt::WA_ForceDisabled)) DeactivateControl(control);
  if (widget->isHidden()) HideControl(control);
}

// Connects the user's signals of a control's widget: only they are hits or text events.
// Typing in a line edit (alone or a combo box's) changes the control's text and sends the text field's events;
// Return accepts the text.
template <typename Connections>
void ConnectTyping(Connections &c, QLineEdit *edit, WindowRef window, HIViewID id) {
  c.push_back(QObject::connect(edit, &QLineEdit::textEdited, [window, id](const QString &text) {
    ControlRef control = ControlOf(window, id);
    if (gMirroring || control == nullptr) return;
    {
      Guard following(gFollowing);
      SetControlText(control, text);
    }
    SendControlEvent(window, id, kEventClassTextField, kEventTextShouldChangeInRange);
    SendControlEvent(window, id, kEventClassTextField, kEventTextDidChange);
  }));
  c.push_back(QObject::connect(edit, &QLineEdit::returnPressed, [window, id] {
    SendControlEvent(window, id, kEventClassTextField, kEventTextAccepted);
  }));
}

void ConnectUser(NibWindow &record, WindowRef window, HIViewID id, QWidget *widget) {
  auto &c = record.connections;
  if (auto *tree = qobject_cast<QTreeWidget *>(widget)) {
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    c.push_back(QObject::connect(tree, &QTreeWidget::itemSelectionChanged, [window, id, tree] {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      std::vector<DataBrowserItemID> chosen;
      for (QTreeWidgetItem *item : tree->selectedItems()) chosen.push_back(item->data(0, Qt::UserRole).toUInt());
      Guard user(gMirroring);  // the model's change needs no mirroring back
      PL_UserSelectDataBrowserItems(control, UInt32(chosen.size()), chosen.data());
    }));
    return;
  }
  if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
    c.push_back(QObject::connect(tabs, &QTabBar::tabBarClicked, [window, id](int index) {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr || index < 0) return;
      SetControl32BitValue(control, index + 1);
      SendHitEvent(window, control, 1);
    }));
  } else if (QMenu *menu = PopupMenuOf(widget)) {
    c.push_back(QObject::connect(menu, &QMenu::aboutToShow, [window, id, menu] {
      if (ControlRef control = ControlOf(window, id)) FillMenu(menu, GetControlPopupMenuHandle(control), window, id, 0);
    }));
  } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
    check->setTristate(false);
    c.push_back(QObject::connect(check, &QCheckBox::clicked, [window, id, check] {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      // A click turns on what is off and turns off what is on; mixed turns on.
      const SInt32 value = GetControl32BitValue(control) == 1 ? 0 : 1;
      SetControl32BitValue(control, value);
      SendHitEvent(window, control, 11);
    }));
  } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
    if (qobject_cast<QRadioButton *>(widget) != nullptr && RadioGroupOf(widget->parentWidget()) != nullptr)
      return;  // its group reports the hit
    c.push_back(QObject::connect(button, &QAbstractButton::clicked, [window, id, button] {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      if (button->isCheckable()) SetControl32BitValue(control, button->isChecked() ? 1 : 0);
      SendHitEvent(window, control, 10);
    }));
  } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
    ConnectTyping(c, edit, window, id);
    c.push_back(QObject::connect(edit, &QLineEdit::selectionChanged, [window, id, edit] {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
      const ControlEditTextSelectionRec sel{SInt16(start), SInt16(start + edit->selectedText().size())};
      Guard following(gFollowing);
      SetControlData(control, kControlEntireControl, kControlEditTextSelectionTag, sizeof sel, &sel);
    }));
  } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
    combo->setInsertPolicy(QComboBox::NoInsert);
    c.push_back(QObject::connect(combo, &QComboBox::activated, [window, id, combo](int index) {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr || index < 0) return;
      {
        Guard following(gFollowing);
        SetControlText(control, combo->itemText(index));
      }
      SendControlEvent(window, id, kEventClassHIComboBox, kEventComboBoxListItemSelected);
    }));
    if (QLineEdit *line = combo->lineEdit()) {
      ConnectTyping(c, line, window, id);
    }
  } else if (auto *slider = qobject_cast<QSlider *>(widget)) {
    // Dragging runs the action with the thumb's part; a click on the track moves a page and is a hit of its
    // own; the release of a drag is the hit.
    c.push_back(QObject::connect(slider, &QSlider::actionTriggered, [window, id, slider](int action) {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr || action == QAbstractSlider::SliderNoAction) return;
      SetControl32BitValue(control, slider->sliderPosition());
      RunAction(window, id, 129);
      if (action != QAbstractSlider::SliderMove) SendHitEvent(window, control, 129);
    }));
    c.push_back(QObject::connect(slider, &QSlider::sliderReleased, [window, id, slider] {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      SetControl32BitValue(control, slider->value());
      SendHitEvent(window, control, 129);
    }));
  } else if (auto *arrows = dynamic_cast<LittleArrows *>(widget)) {
    for (QToolButton *b : {arrows->Up(), arrows->Down()}) {
      const ControlPartCode part = b == arrows->Up() ? kControlUpButtonPart : kControlDownButtonPart;
      // Each press and each repeat while held runs the action; the hit comes with the release.
      c.push_back(QObject::connect(b, &QToolButton::pressed, [window, id, part] { RunAction(window, id, part); }));
      c.push_back(QObject::connect(b, &QToolButton::released, [window, id, part, b] {
        if (!b->isDown()) SendHit(window, id, part);  // auto-repeat releases while still down
      }));
    }
  } else if (auto *box = qobject_cast<QGroupBox *>(widget); box != nullptr && box->isCheckable()) {
    // A check box that holds its items: its title's box is the check box.
    c.push_back(QObject::connect(box, &QGroupBox::clicked, [window, id](bool checked) {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      SetControl32BitValue(control, checked ? 1 : 0);
      SendHitEvent(window, control, 11);
    }));
  } else if (QButtonGroup *group = RadioGroupOf(widget)) {
    c.push_back(QObject::connect(group, &QButtonGroup::idClicked, [window, id](int button) {
      ControlRef control = ControlOf(window, id);
      if (gMirroring || control == nullptr) return;
      SetControl32BitValue(control, button);
      SendHitEvent(window, control, SInt16(button));
    }));
  }
}

// A container whose direct children hold radio buttons becomes a radio group, its buttons numbered from 1
// in their layout's order.
void MakeRadioGroups(QWidget *root, NibWindow &record) {
  QList<QWidget *> all = root->findChildren<QWidget *>();
  for (QWidget *widget : all) {
    HIViewID id{};
    if (!ParseViewID(widget->objectName(), &id) || qobject_cast<QAbstractButton *>(widget) != nullptr) continue;
    QList<QRadioButton *> buttons = widget->findChildren<QRadioButton *>(QString(), Qt::FindDirectChildrenOnly);
    if (buttons.isEmpty() || RadioGroupOf(widget) != nullptr) continue;
    auto *group = new QButtonGroup(widget);
    group->setExclusive(true);
    int n = 0;
    if (QLayout *layout = widget->layout()) {
      for (int i = 0; i < layout->count(); ++i)
        if (auto *b = qobject_cast<QRadioButton *>(layout->itemAt(i)->widget())) group->addButton(b, ++n);
    }
    for (QRadioButton *b : buttons)
      if (group->id(b) == -1) group->addButton(b, ++n);
    record.helpers.push_back(group);
  }
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
  record.root = root;
  MakeRadioGroups(root, record);
  QList<QWidget *> all = root->findChildren<QWidget *>();
  all.prepend(root);
  std::vector<std::pair<HIViewID, QWidget *>> made;
  // Radio buttons without a name of their own are still subviews of their group.
  SInt32 serial = 0;
  for (QWidget *widget : all) {
    HIViewID id;
    if (!ParseViewID(widget->objectName(), &id)) {
      if (qobject_cast<QRadioButton *>(widget) == nullptr || RadioGroupOf(widget->parentWidget()) == nullptr) continue;
      id = HIViewID{0, --serial};
    }
    ControlRef control = nullptr;
    OSStatus err = PL_NewControl(window, &id, &control);
    if (err != noErr) {
      PL_DisposeWindowControls(window);
      for (auto &h : record.helpers) delete h.data();
      return err;
    }
    TakeKind(control, widget);
    TakeWidgetState(control, widget);
    if (widget->property("bzViewKind").toString() == QLatin1String("BZTextView"))
      err = PL_AttachTextViewWidget(control, qobject_cast<QTextEdit *>(widget));
    if (err != noErr) {
      PL_DisposeWindowControls(window);
      for (auto &h : record.helpers) delete h.data();
      return err;
    }
    record.widgets[{id.signature, id.id}] = widget;
    made.emplace_back(id, widget);
  }
  // The control hierarchy follows the widgets' nesting; then the frames are taken in each parent's coordinates.
  for (auto &[id, widget] : made) {
    for (QWidget *p = widget->parentWidget(); p != nullptr; p = p->parentWidget()) {
      HIViewID pid{};
      if (!ParseViewID(p->objectName(), &pid) || record.widgets.count({pid.signature, pid.id}) == 0) continue;
      HIViewAddSubview(ControlOf(window, pid), ControlOf(window, id));
      break;
    }
  }
  Windows()[window] = std::move(record);
  NibWindow &stored = Windows()[window];
  auto *follower = new Follower(window, root);
  stored.helpers.push_back(follower);
  root->installEventFilter(follower);
  for (auto &[id, widget] : made) {
    FollowGeometry(window, id, widget);
    widget->installEventFilter(follower);
    ConnectUser(stored, window, id, widget);
  }
  PL_SetControlChangedProc(Mirror);
  PL_SetDataBrowserChangedProc(MirrorDataBrowser);
  for (auto &[id, widget] : made)
    if (qobject_cast<QTreeWidget *>(widget) != nullptr) MirrorDataBrowser(ControlOf(window, id));
  // Pop-up buttons show their item once their menus are known.
  for (auto &[id, widget] : made)
    if (PopupMenuOf(widget) != nullptr) Mirror(window, id, ControlOf(window, id));
  return noErr;
}

void PL_DetachNibControls(WindowRef window) {
  auto it = Windows().find(window);
  if (it != Windows().end()) {
    for (auto &c : it->second.connections) QObject::disconnect(c);
    for (auto &h : it->second.helpers) delete h.data();
    Windows().erase(it);
  }
  PL_DisposeWindowControls(window);
}

Boolean PL_HasNibControls(WindowRef window) { return Windows().count(window) != 0; }

QWidget *PL_GetControlWidget(WindowRef window, HIViewID id) { return WidgetOf(window, id); }

OSStatus HIViewSimulateClick(HIViewRef inView, ControlPartCode inPartToClick, UInt32, ControlPartCode *outPartClicked) {
  HIViewID id{};
  OSStatus err = GetControlID(inView, &id);
  if (err != noErr) return err;
  WindowRef window = GetControlOwner(inView);
  QWidget *widget = WidgetOf(window, id);
  if (!HIViewIsActive(inView, nullptr)) return noErr;  // an inactive control takes no clicks
  if (auto *button = qobject_cast<QAbstractButton *>(widget); button != nullptr && PopupMenuOf(widget) == nullptr) {
    button->click();  // the same road as the user's click
  } else {
    SendHitEvent(window, inView, inPartToClick);
  }
  if (outPartClicked != nullptr) *outPartClicked = inPartToClick;
  return noErr;
}

OSStatus PL_AdoptEmbedderPane(WindowRef window, HIViewRef parent, const HIViewRef *items, ItemCount numItems,
                              HIViewID paneID, HIViewRef *outPane) {
  if (outPane == nullptr || items == nullptr || numItems == 0) return paramErr;
  *outPane = nullptr;
  NibWindow *record = WindowRecord(window);
  if (record == nullptr) return errUnknownControl;
  std::vector<QWidget *> widgets;
  for (ItemCount i = 0; i < numItems; ++i) {
    HIViewID id{};
    if (GetControlID(items[i], &id) != noErr) return errUnknownControl;
    QWidget *w = WidgetOf(window, id);
    if (w == nullptr) return errUnknownControl;
    widgets.push_back(w);
  }
  // The nearest unnamed container of the first item that holds all of them and no other control.
  QWidget *container = nullptr;
  for (QWidget *p = widgets[0]->parentWidget(); p != nullptr; p = p->parentWidget()) {
    HIViewID pid{};
    if (ParseViewID(p->objectName(), &pid)) break;
    bool holdsAll = true;
    for (QWidget *w : widgets) holdsAll = holdsAll && p->isAncestorOf(w);
    if (!holdsAll) continue;
    int controls = 0;
    for (QWidget *child : p->findChildren<QWidget *>()) {
      HIViewID cid{};
      if (!ParseViewID(child->objectName(), &cid)) continue;
      // Only the topmost controls count: those inside a listed item go with it.
      bool insideItem = false;
      for (QWidget *w : widgets) insideItem = insideItem || (w != child && w->isAncestorOf(child));
      if (!insideItem) ++controls;
    }
    if (controls == int(widgets.size())) container = p;
    break;
  }
  if (container == nullptr) return errUnknownControl;
  ControlRef pane = nullptr;
  OSStatus err = PL_NewControl(window, &paneID, &pane);
  if (err != noErr) return err;
  HIViewChangeFeatures(pane, kHIViewFeatureAllowsSubviews, 0);
  container->setObjectName(ViewIDName(paneID));
  container->setProperty("bzViewKind", QStringLiteral("BZPane"));
  record->widgets[{paneID.signature, paneID.id}] = container;
  if (auto *follower = record->helpers.size() > 0 ? record->helpers.back().data() : nullptr) {
    for (auto &h : record->helpers)
      if (dynamic_cast<Follower *>(h.data()) != nullptr) follower = h.data();
    container->installEventFilter(follower);
  }
  HIViewAddSubview(parent, pane);
  for (ItemCount i = 0; i < numItems; ++i) HIViewAddSubview(pane, items[i]);
  FollowGeometry(window, paneID, container);
  for (QWidget *w : widgets) {
    HIViewID id{};
    ParseViewID(w->objectName(), &id);
    FollowGeometry(window, id, w);
  }
  *outPane = pane;
  return noErr;
}
