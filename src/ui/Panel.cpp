// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Panel.h"

namespace quarvel::ui {

Panel::Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, receiver::Sleeper& sleeper,
             std::string applicationTitle)
    : Panel(driver, reporter, sleeper, nullptr, std::move(applicationTitle)) {}

Panel::Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, WindowSleeper& sleeper,
             std::string applicationTitle)
    : Panel(driver, reporter, sleeper, &sleeper, std::move(applicationTitle)) {}

Panel::Panel(port::UsbDriver& driver, port::ErrorReporter& reporter, receiver::Sleeper& sleeper,
             WindowSleeper* windowPauses, std::string applicationTitle)
    : link_(driver, reporter), rx_(bus_, controls_, sleeper, chooser_) {
  form_ =
      std::make_unique<TForm1>(rx_, controls_, reporter, std::move(applicationTitle), windowPauses);
  chooser_.Attach(form_.get(), [form = form_.get()] { return form->CloseAsked(); });
}

}  // namespace quarvel::ui
