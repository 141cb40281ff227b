// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's toolkit services: error boxes, the image file dialog, the locale's decimal
// separator and the panel font.
#pragma once

#include <QFont>
#include <QLocale>
#include <QPointer>
#include <QStringList>

#include <optional>
#include <string>

#include "port/ErrorReporter.h"
#include "receiver/ReceiverControl.h"

class QFileDialog;

namespace quarvel::ui {

// A modal message box with the error icon and one OK button (default and escape button),
// centred on the screen.
class QtErrorReporter : public port::ErrorReporter {
 public:
  void ShowError(const std::string& caption, const std::string& text) override;
};

// Asks for an image file with the window's file dialog (OpenDialog1): the name box preset,
// every file listed. Until a dialog is attached, and after it is gone, every request is
// answered as cancelled.
class FileDialogChooser : public receiver::ImageChooser {
 public:
  void Attach(QFileDialog* dialog);
  std::optional<std::string> ChooseImageFile(const std::string& presetName) override;

 private:
  QPointer<QFileDialog> dialog_;
  QStringList filters_;  // the dialog's own: every file
};

// The first character of the locale's decimal separator; "." when the locale gives none or
// one that is not a single byte.
char DecimalSeparatorOf(const QLocale& locale);

// "MS Sans Serif" at the given size where installed, else the platform's sans-serif.
QFont PanelFont(int pointSize);

}  // namespace quarvel::ui
