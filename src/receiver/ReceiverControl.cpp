// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/ReceiverControl.h"

#include "receiver/ClockRegisters.h"
#include "receiver/FrequencyText.h"
#include "receiver/TrackingLevel.h"

namespace quarvel::receiver {

namespace {
constexpr std::uint8_t kLevelControlByte = 0x40;
}  // namespace

ReceiverControl::ReceiverControl(bus::TwoWireBus& bus, PanelControls& controls, Sleeper& sleeper,
                                 ImageChooser& chooser, FileApi& files)
    : bus_(bus), c_(controls), sleeper_(sleeper), chooser_(chooser), files_(files) {}

void ReceiverControl::ConnectControls() {
  c_.ScrollBar1.OnChange = [this] { ScrollBar1Change(); };
  c_.ScrollBar2.OnChange = [this] { ScrollBar2Change(); };
  c_.ScrollBar3.OnChange = [this] { ScrollBar3Change(); };
  c_.ScrollBar4.OnChange = [this] { ScrollBar4Change(); };
}

double ReceiverControl::TunedKhz() const {
  return c_.ScrollBar1.Position() * freqFactor_ / 4;
}

double ReceiverControl::ShownKhz() const {
  return TunedKhz() + c_.ScrollBar2.Position();
}

void ReceiverControl::ShowFrequency(bool withOffset) {
  freqKhz_ = withOffset ? ShownKhz() : TunedKhz();
  c_.Freq.SetText(FrequencyText(freqKhz_, decimalSeparator_));
}

void ReceiverControl::ProgramClockGenerator(std::int32_t tuningPosition, bool highBand,
                                            std::int32_t divider) {
  bus_.BeginBurst();
  targetAddress_ = bus::ClockGenerator;
  const ClockRegisters r = ComputeClockRegisters(tuningPosition, highBand);
  oddBit_ = r.oddBit;
  register40_ = r.r40;
  register41_ = r.r41;
  register42_ = r.r42;

  bus_.BusIdle();
  bus_.BusMessage({targetAddress_, 0x40, register40_, register41_, register42_});
  // The queue is not sent yet: the pause delays the whole burst and leaves no gap on the bus.
  sleeper_.SleepMs(kClockPauseMs);
  bus_.BusMessage({targetAddress_, 0x0C, static_cast<std::uint8_t>(divider & 0xFF)});
  bus_.BusMessage(
      {targetAddress_, 0x13, static_cast<std::uint8_t>(c_.ScrollBar3.Position() & 0xFF)});
  SendBurst();
  clockLost_ = !lastBurstReached_;
}

void ReceiverControl::FormCreate() {
  const Nesting operation(depth_);
  const Band& band = kBands[kBand10_40];
  bandDivider_ = band.divider;
  highBandFlag_ = band.highBand;
  c_.ScrollBar1.SetMax(band.max);
  c_.ScrollBar1.SetMin(band.min);
  c_.LabelFmin.SetText(std::string(band.labelMin));
  c_.LabelFmax.SetText(std::string(band.labelMax));
  freqFactor_ = band.freqFactor;
  c_.Offset.SetText(std::to_string(c_.ScrollBar2.Position()));
  tuningPosition_ = c_.ScrollBar1.Position();
  ShowFrequency(true);
  SelectInputBits(0);
  ProgramClockGenerator();
  // The level converter is set from the start-up frequency, as the band's button would.
  UpdateTracking(false);
  ResendLostSettings();
}

void ReceiverControl::BandClick(const Band& band) {
  const Nesting operation(depth_);
  // The flag goes with the divider, so that every burst of this click, the re-tune in the
  // range change included, uses the new band's register 0x42 base.
  bandDivider_ = band.divider;
  highBandFlag_ = band.highBand;
  c_.LabelFmin.SetText(std::string(band.labelMin));
  c_.LabelFmax.SetText(std::string(band.labelMax));
  freqFactor_ = band.freqFactor;
  // With the offset, as every other change shows it: the shown frequency keeps one meaning.
  ShowFrequency(true);
  ProgramClockGenerator();
  // Runs ScrollBar1Change (a second burst) when the position has to move into the range.
  c_.ScrollBar1.SetMax(band.max);
  c_.ScrollBar1.SetMin(band.min);
  c_.ScrollBar1.SetPageStep(band.pageStep);
  // The band multiplies the tuned frequency: the level follows it as a tuning step would
  // (above 3000 kHz), instead of staying at the previous band's level until the next step.
  UpdateTracking(true);
  ResendLostSettings();
}

void ReceiverControl::Cmd10_40Click() {
  const Nesting operation(depth_);
  BandClick(kBands[kBand10_40]);
  UpdateTracking(false);
  ResendLostSettings();
}

void ReceiverControl::ScrollBar1Change() {
  const Nesting operation(depth_);
  tuningPosition_ = c_.ScrollBar1.Position();
  ShowFrequency(true);
  ProgramClockGenerator();
  UpdateTracking(true);
  ResendLostSettings();
}

void ReceiverControl::ScrollBar2Change() {
  c_.Offset.SetText(std::to_string(c_.ScrollBar2.Position()));
  tuningPosition_ = c_.ScrollBar1.Position();
  ShowFrequency(true);
}

void ReceiverControl::ScrollBar3Change() {
  const Nesting operation(depth_);
  ProgramClockGenerator();
  ResendLostSettings();
}

void ReceiverControl::UpdateTracking(bool onlyAboveThreshold) {
  const auto f = static_cast<float>(TunedKhz());
  if (onlyAboveThreshold && !(f > kTrackingThresholdKhz)) return;
  // Runs ScrollBar4Change only when the level actually changes.
  c_.ScrollBar4.SetPosition(ComputeTrackingLevel(f));
}

void ReceiverControl::ScrollBar4Change() {
  const Nesting operation(depth_);
  bus_.BeginBurst();
  const std::int32_t level = c_.ScrollBar4.Position();
  c_.Edit1.SetText(std::to_string(level));
  bus_.BusIdle();
  bus_.BusMessage(
      {bus::LevelConverter, kLevelControlByte, static_cast<std::uint8_t>(level & 0xFF)});
  SendBurst();
  levelLost_ = !lastBurstReached_;
  ResendLostSettings();
}

void ReceiverControl::SendBurst() {
  lastBurstReached_ = bus_.SendWaveform();
  // Whatever the burst was for, the board it did not reach may have lost its power, and with
  // it every setting; so may a board that was plugged in again since the burst before, even
  // where no burst failed meanwhile.
  if (!lastBurstReached_ || bus_.ReachedAgain()) levelLost_ = clockLost_ = true;
}

void ReceiverControl::ResendLostSettings() {
  // Every burst carries the selection, and every clock burst all the clock generator's
  // settings; but the level is sent only when it changes, and a hand-set level or an upload
  // to the EEPROM sends no clock burst. So what was lost while the board was away would stay
  // lost: the outermost operation whose bursts get through again ends by sending it.
  if (depth_ != 1 || !lastBurstReached_) return;
  if (clockLost_) ProgramClockGenerator();
  if (levelLost_ && lastBurstReached_) ScrollBar4Change();
}

void ReceiverControl::SelectInputBits(int index) {
  inputIndex_ = index;
  bus_.SetSelection(inputIndex_, attenuatorIndex_);
}

void ReceiverControl::SelectInput(int index) {
  const Nesting operation(depth_);
  SelectInputBits(index);
  ProgramClockGenerator();
  ResendLostSettings();
}

void ReceiverControl::SelectAttenuator(int index) {
  const Nesting operation(depth_);
  attenuatorIndex_ = index;
  bus_.SetSelection(inputIndex_, attenuatorIndex_);
  ProgramClockGenerator();
  ResendLostSettings();
}

void ReceiverControl::UploadImageFile(std::uint8_t target) {
  const Nesting operation(depth_);
  const std::optional<std::string> chosen = chooser_.ChooseImageFile("*.bin");
  if (!chosen || chosen->empty()) return;  // cancelled: nothing read, nothing sent

  // Throws, with nothing sent and the previous image kept, for a file that cannot be used.
  uploadImage_ = ReadImageFile(*chosen, files_);
  targetAddress_ = target;

  bool everyPageReached = true;
  for (int page = 0; page < kPageCount; ++page) {
    bus_.BeginBurst();
    bus_.BusIdle();
    bus_.BusStart();
    bus_.BusWriteByte(targetAddress_);
    bus_.BusWriteByte(static_cast<std::uint8_t>(page * kPageSize));
    for (int i = 0; i < kPageSize; ++i)
      bus_.BusWriteByte(uploadImage_[static_cast<std::size_t>(page * kPageSize + i)]);
    bus_.BusStop();
    SendBurst();
    // A page that reached a board plugged in again does not complete the pages before it: the
    // clock generator lost them with the power, and another board put in the socket meanwhile
    // never had them. The same board's EEPROM keeps them, but the panel cannot tell the same
    // board from another, so the upload is not counted as whole (sending it again is safe).
    everyPageReached = everyPageReached && lastBurstReached_ && !(page > 0 && bus_.ReachedAgain());
    c_.ProgressBar1.SetPosition(page * kPageSize + kPageSize - 1);
    sleeper_.IdleMs(kPagePauseMs);
    c_.ProgressBar1.SetPosition(0);
  }
  // A whole image in the clock generator replaces every register the panel's clock burst
  // sets; sending that burst now would undo the upload.
  if (targetAddress_ == bus::ClockGenerator && everyPageReached) clockLost_ = false;
  ++uploadsSent_;
  lastUploadReached_ = everyPageReached;
  ResendLostSettings();
}

}  // namespace quarvel::receiver
