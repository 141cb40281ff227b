// SPDX-License-Identifier: GPL-3.0-or-later
// The panel on the simulated board: the driver trace and every error box are printed on a
// stream, so the panel can be tried without hardware and watched from outside.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "port/ErrorReporter.h"
#include "port/SimulatedDriver.h"
#include "receiver/Sleeper.h"
#include "ui/Panel.h"
#include "ui/QtPlatform.h"

namespace quarvel::ui {

struct SimOptions {
  bool help = false;      // --help or -h: print the usage and end, nothing else
  bool noDevice = false;  // --no-device: the board is absent
  bool noTrace = false;   // --no-trace: nothing is printed on standard output
  // --status CALL=N, in command-line order.
  std::vector<std::pair<port::DriverCall, port::FtStatus>> statuses;
};

extern const char* const kSimUsage;

// Reads the simulated edition's options (program name not included). Nothing for an unknown
// or malformed option, with the reason in *error.
std::optional<SimOptions> ParseSimArguments(const std::vector<std::string>& args,
                                            std::string* error);

// Prints `MessageBox caption="<caption>" text="<text>"` (flushed) before passing the box on.
class AnnouncingReporter : public port::ErrorReporter {
 public:
  AnnouncingReporter(std::ostream& out, port::ErrorReporter& next) : out_(out), next_(next) {}
  void ShowError(const std::string& caption, const std::string& text) override;

 private:
  std::ostream& out_;
  port::ErrorReporter& next_;
};

// The simulated edition, built in two steps so that another window (a bus monitor, say) can
// hook into the driver before the start-up bursts and sit beside the panel afterwards.
class SimEdition {
 public:
  // Sets up the simulated board from the options, tracing to out. Sends nothing yet.
  SimEdition(const SimOptions& options, std::ostream& out, std::string applicationTitle);
  SimEdition(const SimEdition&) = delete;
  SimEdition& operator=(const SimEdition&) = delete;

  port::SimulatedDriver& Driver() { return driver_; }
  // The error boxes behind the trace's box lines; ending them leaves the lines printed.
  QtErrorReporter& Boxes() { return boxes_; }
  // Creates the panel window: FormCreate runs and sends its bursts. Not shown yet.
  TForm1& Start();
  // The window; Start() must have run.
  TForm1& Form() { return panel_->Form(); }
  // The panel's receiver logic; Start() must have run.
  receiver::ReceiverControl& Receiver() { return panel_->Receiver(); }

 private:
  std::ostream& out_;
  std::string title_;
  port::SimulatedDriver driver_;
  QtErrorReporter boxes_;
  AnnouncingReporter reporter_{out_, boxes_};
  WindowSleeper sleeper_;
  std::unique_ptr<Panel> panel_;
};

}  // namespace quarvel::ui
