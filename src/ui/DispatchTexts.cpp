// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DispatchTexts.h"

namespace quarvel::ui {

std::string ApplicationTitle(std::string_view programPath) {
  const std::size_t slash = programPath.find_last_of('/');
  std::string_view name =
      slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title(name);
  // Byte-wise: only ASCII letters change case, multi-byte characters stay as they are.
  for (std::size_t i = 1; i < title.size(); ++i)
    if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
  return title;
}

std::string ErrorBoxText(std::string message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  return message;
}

}  // namespace quarvel::ui
