// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SimEdition.h"

#include <charconv>
#include <limits>

#include "port/Hex.h"
#include "receiver/ImageFile.h"

namespace quarvel::ui {

const char* const kSimUsage =
    "usage: QuarvelSDR-sim [--no-device] [--no-trace] [--status CALL=N]... | --help\n"
    "  --no-device      the board is absent: FT_Open answers 2 (device not found)\n"
    "  --no-trace       print nothing on standard output (no driver trace, no box lines)\n"
    "  --status CALL=N  CALL answers status N from then on; CALL is one of FT_Open,\n"
    "                   FT_SetBitMode, FT_SetBaudRate, FT_Write, FT_Close; N is a decimal\n"
    "                   32-bit unsigned number. May be repeated. After an FT_Open that\n"
    "                   failed, the burst's other calls answer 1 (invalid handle).\n"
    "  --help, -h       print this and end\n";

namespace {

constexpr std::size_t kSimRecordLimit = 500;  // driver calls, 100 bursts

// "CALL=N" with a known call name and N a decimal 32-bit unsigned number.
std::optional<std::pair<port::DriverCall, port::FtStatus>> ParseStatus(const std::string& arg) {
  const std::size_t eq = arg.find('=');
  if (eq == std::string::npos) return std::nullopt;
  const std::optional<port::DriverCall> call = port::DriverCallFromName(arg.substr(0, eq));
  const char* first = arg.data() + eq + 1;
  const char* last = arg.data() + arg.size();
  if (!call || first == last) return std::nullopt;
  for (const char* p = first; p != last; ++p)
    if (*p < '0' || *p > '9') return std::nullopt;  // no sign, blank or hex prefix
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || value > std::numeric_limits<port::FtStatus>::max())
    return std::nullopt;
  return std::make_pair(*call, static_cast<port::FtStatus>(value));
}

// The text on one line, its control characters written as escapes (below).
std::string OneLine(const std::string& text);

// An argument as a message echoes it: on one line, and with the characters that set the
// writing direction as their codes, so that it cannot turn the terminal's line around.
std::string Echoed(const std::string& arg) {
  return receiver::ShownName(OneLine(arg));
}

}  // namespace

std::optional<SimOptions> ParseSimArguments(const std::vector<std::string>& args,
                                            std::string* error) {
  SimOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      // Asked for: the usage goes to standard output and the program ends without an error.
      options.help = true;
      return options;
    }
    if (arg == "--no-device") {
      options.noDevice = true;
    } else if (arg == "--no-trace") {
      options.noTrace = true;
    } else if (arg == "--status") {
      if (i + 1 == args.size()) {
        if (error) *error = "--status needs CALL=N";
        return std::nullopt;
      }
      const auto status = ParseStatus(args[++i]);
      if (!status) {
        if (error) *error = "bad --status value \"" + Echoed(args[i]) + "\"";
        return std::nullopt;
      }
      options.statuses.push_back(*status);
    } else {
      if (error) *error = "unknown option \"" + Echoed(arg) + "\"";
      return std::nullopt;
    }
  }
  return options;
}

namespace {

// How many bytes at text[i] make a character that ends a line for some reader: a control
// character (C0, DEL, C1 in UTF-8) or the Unicode line and paragraph separators; 0 for none.
std::size_t LineBreakingAt(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
  };
  if (at(i) < 0x20 || at(i) == 0x7F) return 1;
  if (at(i) == 0xC2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F) return 2;
  if (at(i) == 0xE2 && at(i + 1) == 0x80 && (at(i + 2) == 0xA8 || at(i + 2) == 0xA9)) return 3;
  return 0;
}

// How many bytes at text[i] make one character in UTF-8 (1 for ASCII); 0 where they do not
// (a stray continuation byte, a sequence cut short, an overlong or surrogate form).
std::size_t Utf8At(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
  };
  const unsigned lead = at(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return length;
}

// One line per box, whatever a file name in the text holds, with its two fields told apart:
// a backslash, a double quote and every character that could end a line are written as C
// escapes (\\, \", \n, \r, \t, else \xHH per byte), and so is every byte that is not part of
// a UTF-8 character (a program file name may hold any); everything else as it stands.
std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const std::size_t breaking = LineBreakingAt(text, i);
    const std::size_t character = Utf8At(text, i);
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '"') {
      line += "\\\"";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else if (breaking > 0) {
      for (std::size_t k = 0; k < breaking; ++k)
        line += "\\x" + port::Hex2(static_cast<unsigned char>(text[i + k]));
      i += breaking - 1;
    } else if (character == 0) {
      line += "\\x" + port::Hex2(static_cast<unsigned char>(c));
    } else {
      line.append(text, i, character);
      i += character - 1;
    }
  }
  return line;
}

}  // namespace

void AnnouncingReporter::ShowError(const std::string& caption, const std::string& text) {
  out_ << "MessageBox caption=\"" << OneLine(caption) << "\" text=\"" << OneLine(text) << "\""
       << std::endl;
  next_.ShowError(caption, text);
}

SimEdition::SimEdition(const SimOptions& options, std::ostream& out, std::string applicationTitle)
    : out_(out), title_(std::move(applicationTitle)) {
  driver_.SetTrace(&out_);
  // The trace and the board model see every call; the driver's own record only needs the
  // latest ones, and must not grow for as long as the program runs.
  driver_.SetRecordLimit(kSimRecordLimit);
  driver_.SetPresent(!options.noDevice);
  for (const auto& [call, status] : options.statuses) driver_.SetStatus(call, status);
}

TForm1& SimEdition::Start() {
  if (!panel_) {
    panel_ = std::make_unique<Panel>(driver_, reporter_, sleeper_, title_);
    boxes_.Attach(&panel_->Form());
  }
  return panel_->Form();
}

}  // namespace quarvel::ui
