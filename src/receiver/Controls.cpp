// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/Controls.h"

#include <algorithm>

namespace quarvel::receiver {

void ScrollBarControl::SetParams(std::int32_t min, std::int32_t max, std::int32_t position) {
  if (max < min) throw ScrollBarRangeError();
  const std::int32_t before = position_;
  const bool rangeChanged = min != min_ || max != max_;
  min_ = min;
  max_ = max;
  position_ = std::min(std::max(position, min), max);
  if ((rangeChanged || position_ != before) && OnView) OnView();
  if (position_ != before && OnChange) OnChange();
}

void ScrollBarControl::SetPageStep(std::int32_t v) {
  if (v == pageStep_) return;
  pageStep_ = v;
  if (OnView) OnView();
}

void TextControl::SetText(std::string text) {
  text_ = std::move(text);
  if (OnView) OnView();
}

void ProgressControl::SetPosition(std::int32_t v) {
  position_ = std::clamp(v, Min(), Max());
  if (OnView) OnView();
}

}  // namespace quarvel::receiver
