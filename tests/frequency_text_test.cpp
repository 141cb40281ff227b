// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency texts: general format with at most 15 significant digits.
#include <gtest/gtest.h>

#include "receiver/FrequencyText.h"

namespace quarvel {
namespace {

using receiver::FormatGeneral;

TEST(FrequencyText, GeneralFormat) {
  struct Row {
    double value;
    char sep;
    const char* text;
  };
  const Row rows[] = {
      {6075, '.', "6075"},
      {145.5, ',', "145,5"},
      {145.5, '.', "145.5"},
      {606, '.', "606"},
      {0, '.', "0"},
      {-20, '.', "-20"},
      {130.25, ',', "130,25"},
      {0.1 + 0.2, '.', "0.3"},                      // binary noise beyond 15 digits
      {123456789012345.5, '.', "123456789012346"},  // half rounds up
      {123456789012344.5, '.', "123456789012345"},  // half up, not to even
      {99999999999999.99, '.', "100000000000000"},  // 16th digit rounds up the rest
      {999999999999999.9, '.', "1E15"},             // carry into a new digit
      {0.0001, '.', "0.0001"},
      {0.00001, '.', "1E-5"},
      {1.5e15, '.', "1.5E15"},
  };
  for (const auto& r : rows) EXPECT_EQ(FormatGeneral(r.value, r.sep), r.text) << r.value;
}

TEST(FrequencyText, AppendsTheUnit) {
  EXPECT_EQ(receiver::FrequencyText(6075, '.'), "6075 kHz");
  EXPECT_EQ(receiver::FrequencyText(1615.5, ','), "1615,5 kHz");
}

}  // namespace
}  // namespace quarvel
