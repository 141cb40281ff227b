// SPDX-License-Identifier: GPL-3.0-or-later
// Where modal error boxes go. The window shows a real message box; the simulated edition also
// prints it; the tests' double (tests/Doubles.h) records the calls.
#pragma once

#include <string>

namespace quarvel::port {

class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  // Shows a modal error box (error icon, one OK button) and returns when it is closed.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

}  // namespace quarvel::port
