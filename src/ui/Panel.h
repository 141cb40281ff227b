// SPDX-License-Identifier: GPL-3.0-or-later
// One complete panel on a bridge driver: the port link, the bus, the controls, the receiver
// logic and the window, created in that order.
#pragma once

#include <memory>
#include <string>

#include "bus/TwoWireBus.h"
#include "port/D2XXUnit.h"
#include "port/ErrorReporter.h"
#include "port/UsbDriver.h"
#include "receiver/Controls.h"
#include "receiver/ReceiverControl.h"
#include "receiver/Sleeper.h"
#include "ui/MonitorPlacement.h"
#include "ui/QtPlatform.h"
#include "ui/SDRquarvel.h"

namespace quarvel::ui {

class Panel {
 public:
  // Creates the window, which runs FormCreate (and sends the start-up bursts); the window
  // is not shown yet. The image dialog is built, modal to the window, when an upload asks.
  Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, receiver::Sleeper& sleeper,
        std::string applicationTitle);
  // The same with the window's own pauses, in the first of which the window is built.
  Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, WindowSleeper& sleeper,
        std::string applicationTitle);
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  TForm1& Form() { return *form_; }
  receiver::ReceiverControl& Receiver() { return rx_; }

 private:
  Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, receiver::Sleeper& sleeper,
        WindowSleeper* windowPauses, std::string applicationTitle);

  // First: the error boxes of the start-up bursts come back from an unplugged monitor too.
  WindowsKeptOnScreens keptOnScreens_;
  port::D2XXUnit link_;
  bus::TwoWireBus bus_{link_};
  receiver::PanelControls controls_;
  FileDialogChooser chooser_;
  receiver::ReceiverControl rx_;
  std::unique_ptr<TForm1> form_;
};

}  // namespace quarvel::ui
