// SPDX-License-Identifier: GPL-3.0-or-later
// Test doubles for the panel's services: error boxes and pauses recorded instead of shown or
// waited for. Used by the tests, the fuzz targets and the benchmarks; never by the programs.
#pragma once

#include <string>
#include <vector>

#include "port/ErrorReporter.h"
#include "receiver/Sleeper.h"

namespace quarvel::port {

// Keeps every box it was asked to show, in order.
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

namespace quarvel::receiver {

// Returns at once and remembers the pauses asked for.
class RecordingSleeper : public Sleeper {
 public:
  void SleepMs(int ms) override { pauses.push_back(ms); }
  std::vector<int> pauses;
};

}  // namespace quarvel::receiver
