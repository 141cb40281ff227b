// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the panel's controls mean for the hardware: clock programming, the band plan,
// the tracking level, input and attenuator selection and image upload. Each public operation
// is the body of one window event.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bus/TwoWireBus.h"
#include "receiver/BandPlan.h"
#include "receiver/Controls.h"
#include "receiver/ImageFile.h"
#include "receiver/Sleeper.h"

namespace quarvel::receiver {

// The file-open dialog (OpenDialog1): asked for a file with the name box preset; returns the
// chosen path, or nothing when the user cancels.
class ImageChooser {
 public:
  virtual ~ImageChooser() = default;
  virtual std::optional<std::string> ChooseImageFile(const std::string& presetName) = 0;
};

inline constexpr int kClockPauseMs = 10;
inline constexpr int kPagePauseMs = 200;
inline constexpr int kPageSize = 16;
inline constexpr int kPageCount = 16;
inline constexpr float kTrackingThresholdKhz = 3000.0f;

class ReceiverControl {
 public:
  ReceiverControl(bus::TwoWireBus& bus, PanelControls& controls, Sleeper& sleeper,
                  ImageChooser& chooser, FileApi& files = DefaultFileApi());

  // Connects the scroll bars' change operations; done once the start values are in place.
  void ConnectControls();

  // Start-up: the "2...10 MHz" band, the first clock burst and the tracking level.
  void FormCreate();

  void CMD1_4Click() { BandClick(kBands[kBand1_4]); }
  void CMD2_8Click() { BandClick(kBands[kBand2_8]); }
  void Cmd4_16Click() { BandClick(kBands[kBand4_16]); }
  void Cmd10_40Click();
  void Cmd25_100Click() { BandClick(kBands[kBand25_100]); }
  void CmdhighClick() { BandClick(kBands[kBandHigh]); }

  void ScrollBar1Change();  // tuning
  void ScrollBar2Change();  // display offset
  void ScrollBar3Change();  // crystal trim
  void ScrollBar4Change();  // tracking level

  void Mux0Click() { SelectInput(0); }
  void Mux1Click() { SelectInput(1); }
  void Mux2Click() { SelectInput(2); }
  void Mux3Click() { SelectInput(3); }
  void Mux4Click() { SelectInput(4); }
  void Mux5Click() { SelectInput(5); }
  void Mux6Click() { SelectInput(6); }
  void Mux7Click() { SelectInput(7); }
  void db0Click() { SelectAttenuator(0); }
  void db10Click() { SelectAttenuator(1); }
  void db20Click() { SelectAttenuator(2); }

  void FlashBinClick() { UploadImageFile(bus::ConfigEeprom); }
  void RAMbinClick() { UploadImageFile(bus::ClockGenerator); }

  void ProgramClockGenerator();
  void UploadImageFile(std::uint8_t target);
  void SelectInput(int index);
  void SelectAttenuator(int index);

  // The tuned frequency without the offset, kHz.
  double TunedKhz() const;
  // The frequency the panel shows, offset included, kHz.
  double ShownKhz() const;

  // The first character of the locale's decimal separator; the window keeps it current.
  char DecimalSeparator = '.';

  // Tuning state.
  std::int32_t TuningPosition = 0;
  std::int32_t BandDivider = 0;
  bool HighBandFlag = false;
  double FreqFactor = 0;
  // Selections.
  int InputIndex = 0;
  int AttenuatorIndex = 0;
  // The values of the last clock burst or upload.
  std::uint8_t TargetAddress = 0;
  int OddBit = 0;
  std::uint8_t Register40 = 0, Register41 = 0, Register42 = 0;
  Image UploadImage{};

 private:
  void BandClick(const Band& band);
  void ShowFrequency(bool withOffset);
  void SelectInputBits(int index);
  void UpdateTracking(bool onlyAboveThreshold);

  bus::TwoWireBus& bus_;
  PanelControls& c_;
  Sleeper& sleeper_;
  ImageChooser& chooser_;
  FileApi& files_;
};

}  // namespace quarvel::receiver
