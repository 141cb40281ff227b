// SPDX-License-Identifier: GPL-3.0-or-later
// The "Bus monitor" window of the simulated edition: every message the board received, what
// its devices now hold, and whether the board is tuned where the panel says it is.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/SimulatedBoard.h"

class QBoxLayout;
class QLabel;
class QScrollArea;
class QResizeEvent;
class QTableWidget;

namespace quarvel::sim {

inline constexpr int kDefaultMonitorRows = 2000;

class HexImageModel;

class BusMonitor : public QWidget {
  Q_OBJECT

 public:
  // panelTunedKhz gives the frequency the panel is tuned to, offset left out; the monitor
  // compares it with the board's after every burst. The window subscribes to the board's
  // changes until it is destroyed; it reads the board, so the board must outlive it. Without a
  // parent it is a top-level window; with one it is still a window of its own, kept above its
  // parent.
  BusMonitor(SimulatedBoard& board, std::function<double()> panelTunedKhz,
             QWidget* parent = nullptr, int rowLimit = kDefaultMonitorRows);
  ~BusMonitor() override;

  // Takes in what the board received since the last refresh: appends the new rows (the
  // oldest go past the row limit) and updates the state shown. Runs on every burst.
  void Refresh();

  // How the monitor writes a frequency in kHz: the panel's way, given by whoever puts the two
  // windows together, so that both write it alike ("130,5 kHz"). "6060 kHz", "130.5 kHz"
  // until one is given.
  void SetFrequencyText(std::function<QString(double khz)> text) {
    frequencyText_ = std::move(text);
  }

  // The smallest size that shows every part at once, side by side, with the widest values the
  // board's state has shown so far; a smaller window scrolls its parts.
  QSize FullViewSize() const { return fullView_; }

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void AppendRows();
  void ShowState();
  void ShowComparison();
  void CopySelectedMessages();
  void ShowFaults();
  void ShowAlarmsInTheDesktopsColours();
  // Measures the full view again once a value has grown wider than any shown before, and
  // arranges the parts for the window's width.
  void FitFullView();
  void Arrange();

  SimulatedBoard& board_;
  std::function<double()> panelTunedKhz_;
  std::function<QString(double khz)> frequencyText_ = [](double khz) {
    return QString::number(khz, 'g', 15) + QStringLiteral(" kHz");
  };
  port::Subscription boardChanged_;  // ends with the window
  int rowLimit_;
  std::uint64_t lastSerial_ = 0;

  QScrollArea* view_ = nullptr;
  QWidget* content_ = nullptr;  // everything the window shows, inside view_
  QBoxLayout* top_ = nullptr;   // the message list and the board's state
  QSize fullView_;              // both side by side, the images below
  // The labels whose texts set the width of the state column: the text measured last and the
  // widest each has shown so far.
  struct ValueWidth {
    QLabel* label;
    QString measured;
    int widestPx;
  };
  std::vector<ValueWidth> valueWidths_;
  QTableWidget* messages_ = nullptr;
  QLabel* input_ = nullptr;
  QLabel* attenuator_ = nullptr;
  QLabel* clockRegisters_ = nullptr;
  QLabel* divider_ = nullptr;
  QLabel* trim_ = nullptr;
  QLabel* oscillator_ = nullptr;
  QLabel* tuned_ = nullptr;
  QLabel* level_ = nullptr;
  QLabel* traffic_ = nullptr;
  QLabel* comparison_ = nullptr;
  QLabel* faults_ = nullptr;
  // The register file and the EEPROM as 16 x 16 hex tables.
  HexImageModel* registers_ = nullptr;
  HexImageModel* eeprom_ = nullptr;
};

}  // namespace quarvel::sim
