// SPDX-License-Identifier: GPL-3.0-or-later
// The panel on the real board: the libftdi1 driver behind the port link. The program builds
// exactly this; tools and tests that run it against an emulated bridge build it too, with the
// error boxes and the pauses going where they choose.
#pragma once

#include <memory>
#include <string>

#include "port/ErrorReporter.h"
#include "port/FtdiDriver.h"
#include "receiver/Sleeper.h"
#include "ui/Panel.h"
#include "ui/QtPlatform.h"

namespace quarvel::ui {

class RealEdition {
 public:
  // As the program runs: modal error boxes and real pauses (the window repaints during an
  // upload's pauses). Creating the window runs FormCreate, which sends the start-up bursts;
  // the window is not shown yet.
  explicit RealEdition(std::string applicationTitle);
  // The same, with the boxes and pauses replaced.
  RealEdition(std::string applicationTitle, port::ErrorReporter& reporter,
              receiver::Sleeper& sleeper);
  RealEdition(const RealEdition&) = delete;
  RealEdition& operator=(const RealEdition&) = delete;

  TForm1& Form() { return panel_.Form(); }
  // The modal error boxes (none open when another reporter was given).
  QtErrorReporter& Boxes() { return boxes_; }

 private:
  QtErrorReporter boxes_;
  WindowSleeper pauses_;
  std::unique_ptr<port::UsbDriver> driver_ = port::MakeFtdiDriver();
  Panel panel_;
};

}  // namespace quarvel::ui
