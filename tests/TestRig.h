// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's logic on a simulated board, with error boxes and pauses recorded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Doubles.h"
#include "bus/TwoWireBus.h"
#include "bus/TwoWireDecoder.h"
#include "port/D2XXUnit.h"
#include "port/SimulatedDriver.h"
#include "receiver/ReceiverControl.h"

namespace quarvel::testing {

class ScriptedChooser : public receiver::ImageChooser {
 public:
  std::optional<std::string> ChooseImageFile(const std::string& preset) override {
    presets.push_back(preset);
    return next;
  }
  std::optional<std::string> next;  // nothing = the user cancels
  std::vector<std::string> presets;
};

// The pauses are recorded, not waited for, unless another sleeper is named (the window's own,
// say, to see them last).
template <class Pauses = receiver::RecordingSleeper>
struct BasicRig {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link{driver, reporter};
  bus::TwoWireBus bus{link};
  receiver::PanelControls controls;
  Pauses sleeper;
  ScriptedChooser chooser;
  receiver::ReceiverControl rx{bus, controls, sleeper, chooser};

  // Connects the controls and runs the start-up, then forgets what it sent.
  void Start(bool forget = true) {
    rx.ConnectControls();
    rx.FormCreate();
    if (forget) Forget();
  }
  void Forget() {
    driver.ClearCalls();
    reporter.Clear();
    sleeper.pauses.clear();
  }
  std::vector<std::vector<std::uint8_t>> Bursts() const { return driver.Writes(); }
  // The decoded messages of every burst, one list per burst.
  std::vector<std::vector<std::vector<std::uint8_t>>> Messages() const {
    std::vector<std::vector<std::vector<std::uint8_t>>> out;
    for (const auto& burst : Bursts()) {
      std::vector<std::vector<std::uint8_t>> msgs;
      for (const auto& m : bus::DecodeBurst(burst).messages) msgs.push_back(m.bytes);
      out.push_back(msgs);
    }
    return out;
  }
};
using Rig = BasicRig<>;

using Bytes = std::vector<std::uint8_t>;

}  // namespace quarvel::testing
