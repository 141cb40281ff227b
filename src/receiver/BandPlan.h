// SPDX-License-Identifier: GPL-3.0-or-later
// The six tuning bands.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quarvel::receiver {

struct Band {
  std::string_view button;  // control name of the band's button
  std::string_view caption;
  std::int32_t divider;  // clock generator output divider (register 0x0C)
  double freqFactor;     // kHz shown per 4 tuning steps
  std::string_view labelMin;
  std::string_view labelMax;
  std::int32_t min;  // tuning range
  std::int32_t max;
  std::int32_t pageStep;
  bool highBand;  // selects the 0x17 base of register 0x42
};

// One tuning step is freqFactor / 4 kHz: 0.5, 1, 2, 5, 10 and 25 kHz. Each band's end labels
// show where its bar's ends tune; for the last band, 400 and 1200 steps of 25 kHz: 10 and
// 30 MHz, as its button says.
inline constexpr std::array<Band, 6> kBands = {{
    {"CMD1_4", "0.13...0,8 MHz", 100, 2, "0.13 MHz", "0,8 MHz", 260, 1600, 2, false},
    {"CMD2_8", "0,4...1,6 MHz", 50, 4, "0.4 MHz", "1,6 MHz", 400, 1600, 9, false},
    {"Cmd4_16", "0,8...3,2 MHz", 25, 8, "0,8 MHz", "3,2 MHz", 400, 1600, 1, false},
    {"Cmd10_40", "2...10 MHz", 10, 20, "2 MHz", "10 MHz", 400, 2000, 1, false},
    {"Cmd25_100", "4...20 MHz", 5, 40, "4 MHz", "20 MHz", 400, 2000, 1, false},
    {"Cmdhigh", "10...30 MHz", 4, 100, "10 MHz", "30 MHz", 400, 1200, 1, true},
}};

enum BandIndex { kBand1_4 = 0, kBand2_8, kBand4_16, kBand10_40, kBand25_100, kBandHigh };

}  // namespace quarvel::receiver
