// SPDX-License-Identifier: GPL-3.0-or-later
// The pure rules of the window side: the dispatch's box caption and text, the decimal
// separator taken from a locale, and the simulated edition's command line.
#include <gtest/gtest.h>

#include <QLocale>

#include <sstream>

#include "ui/DispatchTexts.h"
#include "ui/QtPlatform.h"
#include "ui/SimEdition.h"

namespace quarvel {
namespace {

TEST(ApplicationTitle, FileNameCutAtTheFirstDotAndLowerCasedAfterTheFirstCharacter) {
  const struct {
    const char* path;
    const char* title;
  } rows[] = {
      {"QuarvelSDR-sim", "Quarvelsdr-sim"},
      {"/work/build/src/ui/QuarvelSDR", "Quarvelsdr"},
      {"./QuarvelSDR.exe", "Quarvelsdr"},
      {"/opt/panel.d/SDR.tar.gz", "Sdr"},  // a dot in a directory does not cut
      {"quarvel", "quarvel"},              // the first character keeps its case
      {"x", "x"},
      {".hidden", ""},
      {"/usr/bin/", ""},
      {"", ""},
      {"\xC3\x9C"
       "BUNG",
       "\xC3\x9C"
       "bung"},  // "ÜBUNG": multi-byte characters stay whole
  };
  for (const auto& row : rows) EXPECT_EQ(ui::ApplicationTitle(row.path), row.title) << row.path;
}

TEST(ErrorBoxText, DotAppendedWhenTheLastByteSortsAfterDot) {
  const struct {
    const char* message;
    const char* text;
  } rows[] = {
      {"E/A-Fehler 5", "E/A-Fehler 5."},
      {"Eigenschaft Scrollbar außerhalb des zulässigen Bereichs",
       "Eigenschaft Scrollbar außerhalb des zulässigen Bereichs."},
      {"x)", "x)"},                                   // ')' is 0x29
      {"a-", "a-"},                                   // 0x2D
      {"done.", "done."},                             // the dot itself
      {"a/", "a/."},                                  // 0x2F, the first byte after '.'
      {"Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F."},  // bytes above 0x7F sort after '.'
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(ui::ErrorBoxText(row.message), row.text) << row.message;
}

TEST(DecimalSeparatorOf, FirstCharacterOfTheLocalesDecimalPoint) {
  EXPECT_EQ(ui::DecimalSeparatorOf(QLocale(QLocale::German, QLocale::Germany)), ',');
  EXPECT_EQ(ui::DecimalSeparatorOf(QLocale(QLocale::English, QLocale::UnitedStates)), '.');
  EXPECT_EQ(ui::DecimalSeparatorOf(QLocale::c()), '.');
  // Arabic uses U+066B, which is no single byte: the point stands in for it.
  EXPECT_EQ(ui::DecimalSeparatorOf(QLocale(QLocale::Arabic, QLocale::Egypt)), '.');
}

// A box's line on the trace, as a script reads it: one line, the two quoted fields told apart
// by escaping the quote, and valid UTF-8 whatever bytes the caption or text hold.
TEST(BoxLine, OneLineTwoFieldsAndValidUtf8WhateverTheTextHolds) {
  struct Null : port::ErrorReporter {
    void ShowError(const std::string&, const std::string&) override {}
  } next;
  const struct {
    const char* caption;
    const char* text;
    const char* line;
  } rows[] = {
      {"Fehler", "FT_Write - Invalid handle...",
       R"(MessageBox caption="Fehler" text="FT_Write - Invalid handle...")"},
      {"Quarvelsdr-sim", R"("/tmp/a" text="b.bin" is 3 bytes long)",
       R"(MessageBox caption="Quarvelsdr-sim" text="\"/tmp/a\" text=\"b.bin\" is 3 bytes long")"},
      {"Q\"x", "back\\slash\ttab\nnew",
       R"(MessageBox caption="Q\"x" text="back\\slash\ttab\nnew")"},
      // Valid UTF-8 stands; C1 and the line separator are escaped; bytes of no character are.
      {"Q\xFFy", "\xC3\xA4 \xE2\x82\xAC \xF0\x9F\x93\xBB \xC2\x85 \xE2\x80\xA8",
       "MessageBox caption=\"Q\\xFFy\" text=\"\xC3\xA4 \xE2\x82\xAC \xF0\x9F\x93\xBB \\xC2\\x85 "
       "\\xE2\\x80\\xA8\""},
      {"stray \x80", "cut \xE2\x82 long \xC0\xAF surrogate \xED\xA0\x80",
       R"(MessageBox caption="stray \x80" text="cut \xE2\x82 long \xC0\xAF surrogate \xED\xA0\x80")"},
      // DEL and the last C1 character; past U+10FFFF and an overlong three-byte form.
      {"del\x7F", "c1 \xC2\x9F high \xF4\x90\x80\x80 long \xE0\x80\x80",
       R"(MessageBox caption="del\x7F" text="c1 \xC2\x9F high \xF4\x90\x80\x80 long \xE0\x80\x80")"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::ostringstream out;
    ui::AnnouncingReporter(out, next).ShowError(row.caption, row.text);
    EXPECT_EQ(out.str(), std::string(row.line) + "\n");
  }
}

TEST(SimArguments, AcceptedOptions) {
  using port::DriverCall;
  std::string error;
  auto none = ui::ParseSimArguments({}, &error);
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->noDevice);
  EXPECT_TRUE(none->statuses.empty());

  auto all = ui::ParseSimArguments({"--status", "FT_Write=10", "--no-device", "--status",
                                    "FT_Open=4294967295", "--status", "FT_Close=0"},
                                   &error);
  ASSERT_TRUE(all) << error;
  EXPECT_TRUE(all->noDevice);
  const std::vector<std::pair<DriverCall, port::FtStatus>> expected = {
      {DriverCall::Write, 10}, {DriverCall::Open, 4294967295u}, {DriverCall::Close, 0}};
  EXPECT_EQ(all->statuses, expected);

  for (const char* call : {"FT_Open", "FT_SetBitMode", "FT_SetBaudRate", "FT_Write", "FT_Close"})
    EXPECT_TRUE(ui::ParseSimArguments({"--status", std::string(call) + "=3"}, &error)) << call;
}

TEST(SimArguments, RefusedOptions) {
  const std::vector<std::vector<std::string>> rows = {
      {"--bogus"},
      {"--no-device", "extra"},
      {"--status"},                 // value missing
      {"--status", "FT_Write"},     // no '='
      {"--status", "FT_Write="},    // no number
      {"--status", "FT_Read=1"},    // unknown call
      {"--status", "ft_write=1"},   // names are exact
      {"--status", "FT_Write=-1"},  // unsigned
      {"--status", "FT_Write=+1"},
      {"--status", "FT_Write=0x10"},        // decimal only
      {"--status", "FT_Write=4294967296"},  // beyond 32 bits
      {"--status", "FT_Write=1 "},
      {"--status=FT_Write=1"},
      {"-platform", "offscreen"},  // the toolkit's options are not read either
  };
  for (const auto& args : rows) {
    std::string error;
    EXPECT_FALSE(ui::ParseSimArguments(args, &error)) << args.back();
    EXPECT_FALSE(error.empty()) << args.back();
  }
  // What was typed is echoed on one line in double quotes, a terminal's control sequences (C0
  // and C1) and the characters that turn a line around written as escapes.
  const std::pair<std::vector<std::string>, std::string> echoed[] = {
      {{"--x\x1b]2;t\a\n"}, "unknown option \"--x\\x1B]2;t\\x07\\n\""},
      {{"--x\xC2\x9B"
        "2J"},
       "unknown option \"--x\\xC2\\x9B2J\""},
      {{"--a'b\"c"}, "unknown option \"--a'b\\\"c\""},
      {{"--\u202Eexe"}, "unknown option \"--\\u202Eexe\""},
      {{"--status", "FT_Write=\x1b[2J"}, "bad --status value \"FT_Write=\\x1B[2J\""},
  };
  for (const auto& [args, said] : echoed) {
    std::string error;
    EXPECT_FALSE(ui::ParseSimArguments(args, &error));
    EXPECT_EQ(error, said);
  }
}

}  // namespace
}  // namespace quarvel
