// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated edition started in a real X session: its two windows found, the panel's
// controls reachable by their place in the layout, and the bursts it sent decoded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "XSession.h"
#include "bus/TwoWireDecoder.h"

namespace quarvel::x11 {

inline const char* const kPanelTitle = "Quarvel SDR Tuning";
inline const char* const kMonitorTitle = "Bus monitor";
inline constexpr int kWindowMs = 10000;
// An upload is 16 pages with 200 ms after each.
inline constexpr int kUploadMs = 15000;
inline constexpr std::size_t kPageStates = 494;

// Client coordinates of a control's centre, in layout pixels (the panel's own scale).
struct Spot {
  int x, y;
};
inline constexpr Spot kFlashBin{16 + 56, 8 + 12};
inline constexpr Spot kRAMbin{160 + 52, 8 + 12};
inline constexpr Spot kCMD1_4{16 + 36, 144 + 12};
inline constexpr Spot kCmd10_40{280 + 36, 144 + 12};
inline constexpr Spot kMux1{80 + 20, 312 + 12};
inline constexpr Spot kMux2{136 + 16, 312 + 12};
inline constexpr Spot kDb20{384 + 20, 344 + 12};
inline constexpr Spot kScrollBar4{24 + 204, 272 + 8};  // the level bar's trough
inline constexpr Spot kCMD2_8{104 + 36, 144 + 12};
inline constexpr Spot kCmd4_16{192 + 36, 144 + 12};
inline constexpr Spot kCmd25_100{368 + 36, 144 + 12};
inline constexpr Spot kCmdhigh{368 + 36, 192 + 12};
inline constexpr Spot kMux0{24 + 20, 312 + 12};
inline constexpr Spot kMux3{184 + 16, 312 + 12};
inline constexpr Spot kMux4{24 + 20, 344 + 12};
inline constexpr Spot kMux5{80 + 20, 344 + 12};
inline constexpr Spot kMux6{136 + 16, 344 + 12};
inline constexpr Spot kMux7{184 + 16, 344 + 12};
inline constexpr Spot kDb0{288 + 16, 344 + 12};
inline constexpr Spot kDb10{336 + 20, 344 + 12};

// A horizontal scroll bar's place in the layout (all are 17 pixels high); At(x) is the spot x
// layout pixels from its left end, on its middle line.
struct BarPlace {
  int left, top, width;
  Spot At(int x) const { return {left + x, top + 8}; }
};
inline constexpr BarPlace kTuningBar{16, 72, 425};  // ScrollBar1
inline constexpr BarPlace kLevelBar{24, 272, 409};  // ScrollBar4

using Bytes = std::vector<std::uint8_t>;

// Writes an image file for an upload.
inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A trace line of one upload page's write.
inline bool IsPage(const std::string& line) {
  return line.rfind("FT_Write count=" + std::to_string(kPageStates) + " ", 0) == 0;
}

class PanelSession {
 public:
  explicit PanelSession(XSessionOptions options = {}) : x(options) {}

  // Starts QuarvelSDR-sim and waits for both windows; false (with a test failure) otherwise.
  bool Start(const std::vector<std::string>& args = {}, const std::vector<std::string>& env = {}) {
    if (!x.Ready()) {
      ADD_FAILURE() << "no X server";
      return false;
    }
    if (!x.Launch(program, args, env)) {
      ADD_FAILURE() << "the program did not start";
      return false;
    }
    panel = x.WaitForWindow(kPanelTitle, kWindowMs);
    monitor = x.WaitForWindow(kMonitorTitle, kWindowMs);
    if (panel == 0 || monitor == 0) {
      ADD_FAILURE() << "windows missing: panel " << panel << ", monitor " << monitor;
      return false;
    }
    return true;
  }

  std::string program = QUARVEL_SIM_EXE;  // what Start runs

  // Closes a window (the panel by default) with Alt+F4, as a user does, once the window manager
  // has placed the monitor (nothing of the monitor's arrival then comes between the window and
  // the key).
  void CloseByKey(WindowId window) {
    if (monitor != 0) x.SettledFrameGeometry(monitor);
    x.Activate(window);
    x.Key({"alt+F4"});
  }
  void ClosePanelByKey() { CloseByKey(panel); }
  // Which window has the keyboard, for failure messages.
  std::string ActiveWindow() const {
    return x.Run({"xdotool", "getactivewindow", "getwindowname"});
  }

  // Client coordinates in the window's pixels for a layout spot.
  int Px(int layout) const { return static_cast<int>(layout * x.Options().scale); }
  void Click(Spot s, int count = 1) { x.Click(panel, Px(s.x), Px(s.y), 1, count); }

  // The bytes of every write at or after line `from`.
  std::vector<Bytes> Writes(std::size_t from = 0) {
    std::vector<Bytes> out;
    const auto& lines = x.Lines();
    for (std::size_t i = from; i < lines.size(); ++i)
      if (auto bytes = WrittenBytes(lines[i])) out.push_back(*bytes);
    return out;
  }
  // The bus messages of every write at or after line `from`, one list per burst.
  std::vector<std::vector<Bytes>> Messages(std::size_t from = 0) {
    std::vector<std::vector<Bytes>> out;
    for (const Bytes& w : Writes(from)) {
      std::vector<Bytes> burst;
      for (const auto& m : bus::DecodeBurst(w).messages) burst.push_back(m.bytes);
      out.push_back(burst);
    }
    return out;
  }
  // Waits for `count` writes at or after line `from`.
  bool WaitForWrites(std::size_t from, std::size_t count, int timeoutMs = 5000) {
    return x.WaitForLines(IsWrite, from, count, timeoutMs);
  }

  XSession x;
  WindowId panel = 0;
  WindowId monitor = 0;
};

// The 256 bytes of an upload, read back from the 16 pages at or after line `from`.
inline Bytes UploadedImage(PanelSession& s, std::size_t from, std::uint8_t address) {
  Bytes image;
  for (const auto& burst : s.Messages(from)) {
    if (burst.size() != 1 || burst[0].size() != 18 || burst[0][0] != address) continue;
    image.insert(image.end(), burst[0].begin() + 2, burst[0].end());
  }
  return image;
}

}  // namespace quarvel::x11
