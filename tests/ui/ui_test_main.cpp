// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests run on Qt's offscreen platform: no display is needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The file dialog saves its state under HOME when destroyed, and the programs the tests
  // start do the same: all of it goes to a folder of the test run's own, removed at the end.
  QTemporaryDir home;
  if (home.isValid()) {
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* dir : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
      qputenv(dir, QFile::encodeName(home.filePath(QString::fromLatin1(dir))));
  }
  // Listing the tests (at build time) needs no application.
  std::unique_ptr<QApplication> app;
  if (!GTEST_FLAG_GET(list_tests)) app = std::make_unique<QApplication>(argc, argv);
  return RUN_ALL_TESTS();
}
