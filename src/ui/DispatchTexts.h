// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the window's event dispatch: the caption of its error boxes and the text it
// shows for an error that escaped an event operation. No toolkit.
#pragma once

#include <string>
#include <string_view>

namespace quarvel::ui {

// The application title: the program file's name without its directory and without
// everything from the first "." on, every character after the first in lower case
// ("/opt/bin/QuarvelSDR-sim" -> "Quarvelsdr-sim").
std::string ApplicationTitle(std::string_view programPath);

// The box text for an error message: a "." is appended when the last byte sorts after "."
// ("E/A-Fehler 5" -> "E/A-Fehler 5.", "x)" stays as it is).
std::string ErrorBoxText(std::string message);

}  // namespace quarvel::ui
