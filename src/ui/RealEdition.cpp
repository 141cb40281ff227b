// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RealEdition.h"

#include <utility>

namespace quarvel::ui {

RealEdition::RealEdition(std::string applicationTitle)
    : panel_(*driver_, boxes_, pauses_, std::move(applicationTitle)) {
  boxes_.Attach(&panel_.Form());
}

RealEdition::RealEdition(std::string applicationTitle, port::ErrorReporter& reporter,
                         receiver::Sleeper& sleeper)
    : panel_(*driver_, reporter, sleeper, std::move(applicationTitle)) {}

}  // namespace quarvel::ui
