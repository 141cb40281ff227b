// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts as the panel shows them.
#pragma once

#include <string>

namespace quarvel::receiver {

// General format: at most 15 significant digits, rounded half up at the fifteenth, trailing
// zeros dropped, no separator without a fraction; plain notation from 0.0001 up to below
// 10^15, exponent notation ("1.5E15") outside.
std::string FormatGeneral(double value, char decimalSeparator);

// "6075 kHz", "145,5 kHz".
std::string FrequencyText(double khz, char decimalSeparator);

}  // namespace quarvel::receiver
