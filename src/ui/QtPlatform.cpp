#include "ui/QtPlatform.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>

namespace quarvel::ui {

void QtErrorReporter::ShowError(const std::string& caption, const std::string& text) {
  // No parent: the box is centred on the screen, and it still blocks every window.
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void FileDialogChooser::Attach(QFileDialog* dialog) {
  dialog_ = dialog;
  if (dialog != nullptr) filters_ = dialog->nameFilters();
}

std::optional<std::string> FileDialogChooser::ChooseImageFile(const std::string& presetName) {
  if (dialog_.isNull()) return std::nullopt;
  dialog_->setNameFilters(filters_);
  dialog_->selectFile(QString::fromStdString(presetName));
  for (;;) {
    if (dialog_->exec() != QDialog::Accepted || dialog_.isNull()) return std::nullopt;
    const QStringList files = dialog_->selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    const QFileInfo chosen(files.first());
    // A name with wildcards ("*.bin" as preset) that names no file filters the list and the
    // dialog stays open, as users of the classic file dialog expect.
    const QString name = chosen.fileName();
    if (!chosen.exists() && (name.contains(u'*') || name.contains(u'?'))) {
      dialog_->setNameFilter(name);
      dialog_->selectFile(name);
      continue;
    }
    return QFile::encodeName(chosen.filePath()).toStdString();
  }
}

char DecimalSeparatorOf(const QLocale& locale) {
  const QString point = locale.decimalPoint();
  if (point.isEmpty() || point.at(0).unicode() > 0x7F) return '.';
  return static_cast<char>(point.at(0).unicode());
}

QFont PanelFont(int pointSize) {
  static const QString kLayoutFamily = QStringLiteral("MS Sans Serif");
  // Asks for the one family and checks what the font database matched, rather than listing
  // every installed family: on a machine with thousands of fonts that list is long.
  QFont font(kLayoutFamily);
  if (QFontInfo(font).family().compare(kLayoutFamily, Qt::CaseInsensitive) != 0)
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(pointSize);
  return font;
}

}  // namespace quarvel::ui
