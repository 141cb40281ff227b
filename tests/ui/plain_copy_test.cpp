// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up figures compare the panel with the least Qt program that shows the same controls
// (bench/WidgetsWindow.h, `floor_window --widgets`). That copy must look exactly like the panel
// as it first shows, or the figure measures some other window.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include <memory>
#include <sstream>

#include "WidgetsWindow.h"
#include "ui/SimEdition.h"

namespace {

using namespace quarvel;

TEST(PlainCopy, PaintsExactlyAsThePanelAsItFirstShows) {
  std::ostringstream out;
  ui::SimEdition sim(ui::SimOptions{}, out, "QuarvelSDR-sim");
  ui::TForm1& form = sim.Start();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QString description = bench::DescribeWindow(form);
  const std::unique_ptr<QWidget> copy = bench::WindowOfWidgets(description);
  ASSERT_NE(copy, nullptr) << description.toStdString();
  copy->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(copy.get()));

  EXPECT_EQ(copy->windowTitle(), form.windowTitle());
  const QImage panel = form.grab().toImage();
  const QImage plain = copy->grab().toImage().convertToFormat(panel.format());
  ASSERT_EQ(plain.size(), panel.size());
  int differing = 0;
  for (int y = 0; y < panel.height(); ++y)
    for (int x = 0; x < panel.width(); ++x) differing += plain.pixel(x, y) != panel.pixel(x, y);
  EXPECT_EQ(differing, 0) << description.toStdString();
}

}  // namespace
