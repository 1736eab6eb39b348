// The help book, opened with the desktop's browser.
#include "platform/ui/help_book.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <string>

namespace {

bool gRecord = false;
std::string gLastPage;
bool gHaveLastPage = false;

std::string HelpFolder() { return PL_MainBundleDirectory() + "/help"; }

}  // namespace

OSStatus AHRegisterHelpBook(const FSRef *appBundleRef) {
  if (appBundleRef == nullptr) return paramErr;
  return QFileInfo(QString::fromStdString(HelpFolder())).isDir() ? OSStatus(noErr) : OSStatus(fnfErr);
}

OSStatus AHGotoPage(CFStringRef, CFStringRef path, CFStringRef anchor) {
  std::string page = path != nullptr ? PL_CFStringToUTF8(path) : std::string();
  if (page.empty()) page = "html/General.html";
  if (page.find("..") != std::string::npos) return paramErr;
  const QString file = QString::fromStdString(HelpFolder() + "/" + page);
  if (!QFileInfo(file).isFile()) return fnfErr;
  if (gRecord) {
    gLastPage = page;
    gHaveLastPage = true;
    return noErr;
  }
  QUrl url = QUrl::fromLocalFile(file);
  if (anchor != nullptr) url.setFragment(QString::fromStdString(PL_CFStringToUTF8(anchor)));
  // No browser is no failure of the program's: the page simply does not open.
  QDesktopServices::openUrl(url);
  return noErr;
}

void PL_RecordHelpPages(Boolean record) {
  gRecord = record != 0;
  gHaveLastPage = false;
}

CFStringRef PL_CopyLastHelpPage() {
  return gHaveLastPage ? CFStringCreateWithCString(nullptr, gLastPage.c_str(), kCFStringEncodingUTF8) : nullptr;
}
