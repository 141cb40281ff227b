// SPDX-License-Identifier: GPL-3.0-or-later
// The usb tier's tests: Qt's offscreen platform, and a private HOME and XDG folders, so that
// nothing a test runs can read or write the real home folder.
#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

#include "TempFiles.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Listing the tests (at build time) needs no application.
  std::unique_ptr<QApplication> app;
  std::unique_ptr<quarvel::testing::TempDir> home;
  if (!GTEST_FLAG_GET(list_tests)) {
    home = std::make_unique<quarvel::testing::TempDir>();
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
      qputenv(var, QByteArray::fromStdString(home->Path(var)));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(home->Path("")));  // private: 0700
    app = std::make_unique<QApplication>(argc, argv);
  }
  return RUN_ALL_TESTS();
}
