// SPDX-License-Identifier: GPL-3.0-or-later
// The level converter's setting that follows the tuned frequency.
#pragma once

namespace quarvel::receiver {

// Piecewise-linear level for a tuned frequency f in kHz (single precision), 0 ... 255.
int ComputeTrackingLevel(float fKhz);

// Rounds to the nearest integer, ties to the even neighbour.
int RoundHalfEven(float value);

}  // namespace quarvel::receiver
