// SPDX-License-Identifier: GPL-3.0-or-later
// The real window on the simulated board, with error boxes, pauses and the file dialog
// replaced by recorders, so nothing is modal and nothing waits.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "FormAccess.h"
#include "TestRig.h"
#include "bus/TwoWireDecoder.h"
#include "ui/SDRquarvel.h"

namespace quarvel::ui_test {

inline constexpr const char* kTitle = "Quarvelsdr-sim";

using Bytes = std::vector<std::uint8_t>;
using Burst = std::vector<Bytes>;  // the decoded messages of one burst

struct WindowRig {
  testing::Rig rig;
  std::unique_ptr<ui::TForm1> form;

  explicit WindowRig(bool open = true) {
    if (open) Open();
  }
  // Creates and shows the window (FormCreate runs in between).
  ui::TForm1& Open() {
    form = std::make_unique<ui::TForm1>(rig.rx, rig.controls, rig.reporter, kTitle);
    ShowActive(*form);
    return *form;
  }

  template <class W = QWidget>
  W* Find(const char* name) {
    return FindIn<W>(*form, name);
  }
  void Click(const char* name) { ClickIn(*form, name); }
  QScrollBar* Bar(const char* name) { return Find<QScrollBar>(name); }
  std::string Text(const char* name) { return TextIn(*form, name).toStdString(); }
  // Moves a scroll bar the way the user would, by a key on the focused bar.
  void Key(const char* bar, Qt::Key key) { KeyOn(Bar(bar), key); }

  void Forget() { rig.Forget(); }
  std::vector<Burst> Bursts() const { return rig.Messages(); }
  // The bursts that went to the clock generator.
  std::vector<Burst> ClockBursts() const {
    std::vector<Burst> out;
    for (const Burst& b : rig.Messages())
      if (!b.empty() && b.front().front() == 0xD2) out.push_back(b);
    return out;
  }
};

}  // namespace quarvel::ui_test
