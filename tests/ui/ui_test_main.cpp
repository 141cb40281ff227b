// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests run on Qt's offscreen platform: no display is needed.
#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Listing the tests (at build time) needs no application.
  std::unique_ptr<QApplication> app;
  if (!GTEST_FLAG_GET(list_tests)) app = std::make_unique<QApplication>(argc, argv);
  return RUN_ALL_TESTS();
}
