// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/FrequencyText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quarvel::receiver {

namespace {
constexpr int kSignificantDigits = 15;
}

std::string FormatGeneral(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  std::string sign = value < 0 ? "-" : "";
  // glibc prints the exact binary value; 26 significant digits are enough to see the digit
  // after the fifteenth without any rounding of our own having happened yet.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.25e", std::fabs(value));
  std::string digits;
  const char* p = buf;
  for (; *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  int exponent = std::atoi(p + 1);

  // Round half up at the fifteenth significant digit.
  const bool roundUp = digits[kSignificantDigits] >= '5';
  digits.resize(kSignificantDigits);
  if (roundUp) {
    int i = kSignificantDigits - 1;
    while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') {
      digits[static_cast<std::size_t>(i)] = '0';
      --i;
    }
    if (i < 0) {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exponent;
    } else {
      ++digits[static_cast<std::size_t>(i)];
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = sign;
  if (exponent >= -4 && exponent < kSignificantDigits) {
    if (exponent >= 0) {
      const auto intLen = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= intLen) {
        out += digits + std::string(intLen - digits.size(), '0');
      } else {
        out.append(digits, 0, intLen);
        out += decimalSeparator;
        out.append(digits, intLen);
      }
    } else {
      out += '0';
      out += decimalSeparator;
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
  } else {
    out += digits.front();
    if (digits.size() > 1) {
      out += decimalSeparator;
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  }
  return out;
}

std::string FrequencyText(double khz, char decimalSeparator) {
  return FormatGeneral(khz, decimalSeparator) + " kHz";
}

}  // namespace quarvel::receiver
