// File choosers through QFileDialog.
#include "platform/ui/file_choosers.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QStorageInfo>
#include <QSortFilterProxyModel>

#include <vector>

namespace {

QString TextOf(CFStringRef string) {
  if (string == nullptr) return QString();
  CFIndex length = CFStringGetLength(string);
  std::vector<UniChar> chars(static_cast<size_t>(length));
  CFStringGetCharacters(string, CFRangeMake(0, length), chars.data());
  return QString::fromUtf16(reinterpret_cast<const char16_t *>(chars.data()), length);
}

// Rows of the file system model pass when the chooser's filter shows their file or folder.
class NavFilterProxy : public QSortFilterProxyModel {
 public:
  NavFilterProxy(NavObjectFilterUPP filter, NavCallBackUserData userData) : filter_(filter), userData_(userData) {}

 protected:
  bool filterAcceptsRow(int row, const QModelIndex &parent) const override {
    auto *model = qobject_cast<QFileSystemModel *>(sourceModel());
    if (model == nullptr || filter_ == nullptr) return true;
    QString path = model->filePath(model->index(row, 0, parent));
    return PL_NavFilterShowsPath(filter_, userData_, path.toUtf8().constData());
  }

 private:
  NavObjectFilterUPP filter_;
  NavCallBackUserData userData_;
};

// A volume is chosen from the mounted ones by their names.
OSStatus ChooseVolumeWithQt(const PL_ChooseFileRequest *request, std::string *chosenPath) {
  QStringList names;
  std::vector<QString> roots;
  for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    names << (volume.displayName().isEmpty() ? volume.rootPath() : volume.displayName());
    roots.push_back(volume.rootPath());
  }
  bool ok = false;
  const QString chosen = QInputDialog::getItem(nullptr, TextOf(request->clientName), TextOf(request->message), names,
                                               0, false, &ok);
  if (!ok) return userCanceledErr;
  const qsizetype index = names.indexOf(chosen);
  if (index < 0) return userCanceledErr;
  *chosenPath = roots[size_t(index)].toStdString();
  return noErr;
}

OSStatus ChooseWithQt(const PL_ChooseFileRequest *request, std::string *chosenPath) {
  if (request->kind == kPL_ChooseVolume) return ChooseVolumeWithQt(request, chosenPath);
  QFileDialog dialog(nullptr, TextOf(request->message));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(request->kind == kPL_ChooseFiles    ? QFileDialog::ExistingFiles
                     : request->kind == kPL_ChooseFolder ? QFileDialog::Directory
                                                         : QFileDialog::ExistingFile);
  if (request->kind == kPL_ChooseFolder) dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (request->clientName != nullptr) dialog.setWindowTitle(TextOf(request->clientName));
  if (request->message != nullptr) dialog.setLabelText(QFileDialog::LookIn, TextOf(request->message));
  dialog.setProxyModel(new NavFilterProxy(request->filter, request->userData));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return userCanceledErr;
  chosenPath->clear();
  for (const QString &file : dialog.selectedFiles()) *chosenPath += file.toStdString() + "\n";
  return noErr;
}

OSStatus PutWithQt(const PL_PutFileRequest *request, PL_PutFileAnswer *answer) {
  QFileDialog dialog(nullptr, TextOf(request->message));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (request->clientName != nullptr) dialog.setWindowTitle(TextOf(request->clientName));
  if (request->fileName != nullptr) dialog.selectFile(TextOf(request->fileName));
  if (request->startFolder != nullptr) {
    UInt8 path[1024];
    if (FSRefMakePath(request->startFolder, path, sizeof path) == noErr)
      dialog.setDirectory(QString::fromUtf8(reinterpret_cast<const char *>(path)));
  }
  // The dialog itself asks before it lets the user choose an existing file.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return userCanceledErr;
  const QFileInfo chosen(dialog.selectedFiles().first());
  answer->folderPath = chosen.absolutePath().toStdString();
  answer->name = chosen.fileName().toStdString();
  answer->replacing = chosen.exists();
  answer->extensionHidden = false;
  return noErr;
}

}  // namespace

void PL_InstallQtFileChooser() {
  PL_SetChooseFileProc(ChooseWithQt);
  PL_SetPutFileProc(PutWithQt);
}
