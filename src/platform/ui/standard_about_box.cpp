// The standard about box.
#include "platform/ui/standard_about_box.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/window_manager.h"
#include "platform/ui/window_manager_qt.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QString TextOf(CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return QString();
  char buffer[2048] = {};
  CFStringGetCString(static_cast<CFStringRef>(value), buffer, sizeof buffer, kCFStringEncodingUTF8);
  return QString::fromUtf8(buffer);
}

QString Option(CFDictionaryRef options, CFStringRef key, CFStringRef bundleKey) {
  CFTypeRef value = options != nullptr ? CFDictionaryGetValue(options, key) : nullptr;
  if (value == nullptr && bundleKey != nullptr)
    value = CFBundleGetValueForInfoDictionaryKey(CFBundleGetMainBundle(), bundleKey);
  return TextOf(value);
}

QLabel *AddLabel(QVBoxLayout *layout, const char *name, const QString &text) {
  auto *label = new QLabel(text);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  layout->addWidget(label);
  return label;
}

}  // namespace

OSStatus HIAboutBox(CFDictionaryRef inOptions) {
  const Rect bounds{120, 120, 120 + 260, 120 + 320};
  WindowRef window = nullptr;
  OSStatus err = CreateNewWindow(kDocumentWindowClass, kWindowCloseBoxAttribute, &bounds, &window);
  if (err != noErr) return err;
  QWidget *widget = PL_GetWindowWidget(window);
  if (widget == nullptr) {
    DisposeWindow(window);
    return paramErr;
  }
  auto *layout = new QVBoxLayout(widget);
  QLabel *icon = AddLabel(layout, "HIAboutBoxIcon", QString());
  // The application's icon, from the bundle when the application has not set it (yet).
  QPixmap picture = QApplication::windowIcon().pixmap(64, 64);
  if (picture.isNull()) picture.load(QString::fromStdString(PL_MainBundleDirectory() + "/icons/brizel-64.png"));
  icon->setPixmap(picture);
  QLabel *name = AddLabel(layout, "HIAboutBoxName", Option(inOptions, kHIAboutBoxNameKey, CFSTR("CFBundleName")));
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  name->setFont(bold);
  AddLabel(layout, "HIAboutBoxVersion",
           QStringLiteral("Version ") +
               Option(inOptions, kHIAboutBoxVersionKey, CFSTR("CFBundleShortVersionString")));
  AddLabel(layout, "HIAboutBoxDescription", Option(inOptions, kHIAboutBoxDescriptionKey, nullptr));
  ShowWindow(window);
  SelectWindow(window);
  return noErr;
}
