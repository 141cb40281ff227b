// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/TrackingLevel.h"

#include <array>
#include <cmath>

namespace quarvel::receiver {

namespace {

struct TrackingRow {
  double aboveKhz;  // the row applies when f is strictly above this
  double numerator;
  double denominator;
  double base;
};

// Note the step at 7000 kHz: the 6000 row reaches 94 there while the 7000 row starts at 93.
constexpr std::array<TrackingRow, 8> kTrackingTable = {{
    {3500, 17, 500, 0},
    {4000, 31, 1000, 17},
    {5000, 28, 1000, 48},
    {6000, 18, 1000, 76},
    {7000, 20, 1000, 93},
    {8000, 42, 2000, 113},
    {10000, 54, 2000, 155},
    {12000, 46, 2000, 209},
}};

constexpr float kMaxLevel = 255.0f;

}  // namespace

int RoundHalfEven(float value) {
  const double floor = std::floor(static_cast<double>(value));
  const double diff = static_cast<double>(value) - floor;
  double result = floor;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1.0;
  return static_cast<int>(result);
}

int ComputeTrackingLevel(float fKhz) {
  const TrackingRow* row = nullptr;
  for (const auto& r : kTrackingTable)
    if (static_cast<double>(fKhz) > r.aboveKhz) row = &r;
  if (row == nullptr) return 0;
  float level = static_cast<float>(
      (static_cast<double>(fKhz) - row->aboveKhz) * row->numerator / row->denominator + row->base);
  if (level > kMaxLevel) level = kMaxLevel;
  return RoundHalfEven(level);
}

}  // namespace quarvel::receiver
