// SPDX-License-Identifier: GPL-3.0-or-later
// Where modal error boxes go. The window shows a real message box; tests record the calls.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quarvel::port {

class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  // Shows a modal error box (error icon, one OK button) and returns when it is closed.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

// Keeps every box it was asked to show, in order. For tests and headless tools.
class RecordingReporter : public ErrorReporter {
 public:
  struct Box {
    std::string caption;
    std::string text;
    bool operator==(const Box&) const = default;
  };

  void ShowError(const std::string& caption, const std::string& text) override {
    boxes.push_back({caption, text});
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes) out.push_back(b.text);
    return out;
  }
  void Clear() { boxes.clear(); }

  std::vector<Box> boxes;
};

}  // namespace quarvel::port
