// The settings form.
#include "platform/ui/settings_form.h"

#include "platform/core/mac_errors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace {

PL_SettingsFormProc gFormProc = nullptr;

OSStatus RunWithQt(const std::string &title, std::vector<PL_FormField> *fields, Boolean *canceled) {
  QDialog dialog;
  dialog.setObjectName(QStringLiteral("PL_SettingsForm"));
  dialog.setWindowTitle(QString::fromStdString(title));
  auto *layout = new QFormLayout(&dialog);
  std::vector<QWidget *> widgets;
  for (size_t i = 0; i < fields->size(); ++i) {
    const PL_FormField &field = (*fields)[i];
    QWidget *widget = nullptr;
    if (field.kind == kPL_FormChoice) {
      auto *combo = new QComboBox;
      for (const std::string &choice : field.choices) combo->addItem(QString::fromStdString(choice));
      combo->setCurrentIndex(field.value - 1);
      widget = combo;
    } else if (field.kind == kPL_FormCheck) {
      auto *check = new QCheckBox;
      check->setChecked(field.value != 0);
      widget = check;
    } else {
      auto *spin = new QSpinBox;
      spin->setRange(field.minimum, field.maximum);
      spin->setValue(field.value);
      widget = spin;
    }
    widget->setObjectName(QStringLiteral("PL_FormField%1").arg(i + 1));
    layout->addRow(QString::fromStdString(field.label), widget);
    widgets.push_back(widget);
  }
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) {
    *canceled = true;
    return noErr;
  }
  for (size_t i = 0; i < fields->size(); ++i) {
    PL_FormField &field = (*fields)[i];
    if (auto *combo = qobject_cast<QComboBox *>(widgets[i])) field.value = combo->currentIndex() + 1;
    else if (auto *check = qobject_cast<QCheckBox *>(widgets[i])) field.value = check->isChecked() ? 1 : 0;
    else if (auto *spin = qobject_cast<QSpinBox *>(widgets[i])) field.value = spin->value();
  }
  *canceled = false;
  return noErr;
}

}  // namespace

void PL_SetSettingsFormProc(PL_SettingsFormProc proc) { gFormProc = proc; }

OSStatus PL_RunSettingsForm(const std::string &title, std::vector<PL_FormField> *fields, Boolean *canceled) {
  if (fields == nullptr || canceled == nullptr) return paramErr;
  *canceled = false;
  return gFormProc != nullptr ? gFormProc(title, fields, canceled) : RunWithQt(title, fields, canceled);
}
