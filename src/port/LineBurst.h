// SPDX-License-Identifier: GPL-3.0-or-later
// One burst: the line states the bridge plays out one after another, built by the bus and
// handed to the port link, which writes it in one driver call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quarvel::port {

// The bridge's transmit queue holds this many line states; a longer burst is never sent.
inline constexpr std::size_t kWaveQueueSize = 65536;

class LineBurst {
 public:
  // Appends one line state. States past the queue's size are counted but not kept.
  void Queue(std::uint8_t state) {
    if (static_cast<std::size_t>(waveLength_) < kWaveQueueSize) waveQueue_.push_back(state);
    if (waveLength_ < INT32_MAX) ++waveLength_;
  }
  // Empties the burst; the storage is kept for the next one.
  void Clear() {
    waveQueue_.clear();
    waveLength_ = 0;
  }

  // How many states were queued, kept or not.
  std::int32_t WaveLength() const { return waveLength_; }
  // The states kept, in order: all of them unless the burst overran the queue.
  std::span<const std::uint8_t> WaveQueue() const { return waveQueue_; }
  bool Overflowed() const { return static_cast<std::size_t>(waveLength_) > kWaveQueueSize; }

 private:
  std::vector<std::uint8_t> waveQueue_;
  std::int32_t waveLength_ = 0;
};

}  // namespace quarvel::port
