// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Panel.h"

namespace quarvel::ui {

Panel::Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, receiver::Sleeper& sleeper,
             std::string applicationTitle)
    : link_(driver, reporter), rx_(bus_, controls_, sleeper, chooser_) {
  form_ = std::make_unique<TForm1>(rx_, controls_, reporter, std::move(applicationTitle));
  chooser_.Attach(form_.get());
}

}  // namespace quarvel::ui
