#include "ui/QtPlatform.h"

#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
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

std::optional<std::string> FileDialogChooser::ChooseImageFile(const std::string& presetName) {
  if (dialog_.isNull()) return std::nullopt;
  dialog_->selectFile(QString::fromStdString(presetName));
  if (dialog_->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog_->selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return QFile::encodeName(files.first()).toStdString();
}

char DecimalSeparatorOf(const QLocale& locale) {
  const QString point = locale.decimalPoint();
  if (point.isEmpty() || point.at(0).unicode() > 0x7F) return '.';
  return static_cast<char>(point.at(0).unicode());
}

QFont PanelFont(int pointSize) {
  static const QString kLayoutFamily = QStringLiteral("MS Sans Serif");
  QFont font = QFontDatabase::families().contains(kLayoutFamily, Qt::CaseInsensitive)
                   ? QFont(kLayoutFamily)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(pointSize);
  return font;
}

}  // namespace quarvel::ui
