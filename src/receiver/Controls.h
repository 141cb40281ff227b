// SPDX-License-Identifier: GPL-3.0-or-later
// The values the window's controls hold, without any toolkit: scroll bars with their
// clamp-and-notify rule, texts and the progress bar. The receiver logic reads and writes
// them by control name; the window mirrors them on screen and feeds user input back.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace quarvel::receiver {

inline constexpr const char* kScrollBarRangeError =
    "Eigenschaft Scrollbar außerhalb des zulässigen Bereichs";

class ScrollBarRangeError : public std::runtime_error {
 public:
  ScrollBarRangeError() : std::runtime_error(kScrollBarRangeError) {}
};

class ScrollBarControl {
 public:
  ScrollBarControl(std::int32_t min, std::int32_t max, std::int32_t position)
      : min_(min), max_(max), position_(position) {}

  std::int32_t Min() const { return min_; }
  std::int32_t Max() const { return max_; }
  std::int32_t Position() const { return position_; }
  std::int32_t PageStep() const { return pageStep_; }
  std::int32_t LineStep() const { return 1; }

  // Minimum, maximum and position as one operation. A maximum below the minimum is refused
  // (ScrollBarRangeError) and nothing changes. Otherwise the position is clamped into the
  // range and, exactly when it differs from before, the change operation runs before this
  // returns.
  void SetParams(std::int32_t min, std::int32_t max, std::int32_t position);
  void SetMin(std::int32_t v) { SetParams(v, max_, position_); }
  void SetMax(std::int32_t v) { SetParams(min_, v, position_); }
  void SetPosition(std::int32_t v) { SetParams(min_, max_, v); }
  // No other effect.
  void SetPageStep(std::int32_t v);

  // The control's change operation; connected only after the start values are in place.
  std::function<void()> OnChange;
  // Tells the window to show the new values.
  std::function<void()> OnView;

 private:
  std::int32_t min_, max_, position_;
  std::int32_t pageStep_ = 1;
};

class TextControl {
 public:
  explicit TextControl(std::string text) : text_(std::move(text)) {}
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  std::function<void()> OnView;

 private:
  std::string text_;
};

class ProgressControl {
 public:
  std::int32_t Min() const { return 0; }
  std::int32_t Max() const { return 256; }
  std::int32_t Position() const { return position_; }
  // The window paints the new position at once, even while the event loop is blocked.
  void SetPosition(std::int32_t v);
  std::function<void()> OnView;

 private:
  std::int32_t position_ = 0;
};

// Every control the receiver logic reads or writes, with its value at load.
struct PanelControls {
  TextControl Freq{"250 kHz"};
  TextControl LabelFmin{"1 MHz"};
  TextControl LabelFmax{"4 MHz"};
  TextControl Offset{"15"};
  ScrollBarControl ScrollBar1{160, 1600, 1212};  // tuning
  ProgressControl ProgressBar1;
  ScrollBarControl ScrollBar2{-20, 20, 15};  // display offset, kHz
  ScrollBarControl ScrollBar3{0, 255, 127};  // crystal trim
  ScrollBarControl ScrollBar4{0, 255, 55};   // tracking level
  TextControl Edit1{"Edit1"};
};

}  // namespace quarvel::receiver
