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

  // The clock burst for the current tuning.
  void ProgramClockGenerator() {
    ProgramClockGenerator(tuningPosition_, highBandFlag_, bandDivider_);
  }
  // The clock burst for a tuning position of a band, the tuning itself unchanged: registers
  // 0x40-0x42 from the position, the band's output divider (0x0C), the crystal trim from its
  // bar (0x13).
  void ProgramClockGenerator(std::int32_t tuningPosition, bool highBand, std::int32_t divider);
  void UploadImageFile(std::uint8_t target);
  void SelectInput(int index);
  void SelectAttenuator(int index);

  // The tuned frequency without the offset, kHz.
  double TunedKhz() const;
  // The frequency the panel shows, offset included, kHz.
  double ShownKhz() const;
  // The number the frequency text shows now, kHz.
  double FreqKhz() const { return freqKhz_; }

  // The first character of the locale's decimal separator; the window hands it in at start
  // and whenever the locale changes. The next frequency text uses it.
  void SetDecimalSeparator(char separator) { decimalSeparator_ = separator; }
  char DecimalSeparator() const { return decimalSeparator_; }

  // The tuning: the position last tuned to and the band's divider, register 0x42 base and
  // kHz per 4 steps.
  std::int32_t TuningPosition() const { return tuningPosition_; }
  std::int32_t BandDivider() const { return bandDivider_; }
  bool HighBandFlag() const { return highBandFlag_; }
  double FreqFactor() const { return freqFactor_; }
  // The selections.
  int InputIndex() const { return inputIndex_; }
  int AttenuatorIndex() const { return attenuatorIndex_; }
  // The values of the last clock burst or upload.
  std::uint8_t TargetAddress() const { return targetAddress_; }
  int OddBit() const { return oddBit_; }
  std::uint8_t Register40() const { return register40_; }
  std::uint8_t Register41() const { return register41_; }
  std::uint8_t Register42() const { return register42_; }
  const Image& UploadImage() const { return uploadImage_; }
  // The uploads that sent their sixteen pages (not the cancelled ones, nor those whose file
  // could not be used), and whether every page of the last of them reached the board.
  std::uint64_t UploadsSent() const { return uploadsSent_; }
  bool LastUploadReached() const { return lastUploadReached_; }

 private:
  void BandClick(const Band& band);
  void ShowFrequency(bool withOffset);
  void SelectInputBits(int index);
  void UpdateTracking(bool onlyAboveThreshold);
  // Sends the burst built since BeginBurst and notes whether it reached the board.
  void SendBurst();
  // At the end of an operation (not of one nested in another) whose last burst reached the
  // board: sends the clock burst again when a burst since the last one that reached the board
  // did not (a whole image uploaded to the clock generator since counts as reaching it), then
  // the level when a burst since the level last reached the board did not. A board that went away
  // may have lost its power and its settings with it; the panel shows them, so the board must hold
  // them too.
  void ResendLostSettings();
  // Counts the operations in progress, the outermost first, for ResendLostSettings.
  struct Nesting {
    explicit Nesting(int& depth) noexcept : depth_(depth) { ++depth_; }
    ~Nesting() { --depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
    int& depth_;
  };

  bus::TwoWireBus& bus_;
  PanelControls& c_;
  Sleeper& sleeper_;
  ImageChooser& chooser_;
  FileApi& files_;

  char decimalSeparator_ = '.';
  std::int32_t tuningPosition_ = 0;
  std::int32_t bandDivider_ = 0;
  bool highBandFlag_ = false;
  double freqFactor_ = 0;
  double freqKhz_ = 0;  // what the frequency text shows
  int inputIndex_ = 0;
  int attenuatorIndex_ = 0;
  std::uint8_t targetAddress_ = 0;
  int oddBit_ = 0;
  std::uint8_t register40_ = 0, register41_ = 0, register42_ = 0;
  Image uploadImage_{};
  bool lastBurstReached_ = false;
  bool levelLost_ = false;
  // A burst since the last clock burst that reached the board (or the last whole image in
  // the clock generator) did not reach it.
  bool clockLost_ = false;
  int depth_ = 0;  // operations in progress
  std::uint64_t uploadsSent_ = 0;
  bool lastUploadReached_ = false;
};

}  // namespace quarvel::receiver
