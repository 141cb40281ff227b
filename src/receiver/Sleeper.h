// SPDX-License-Identifier: GPL-3.0-or-later
// The blocking pauses of the panel (10 ms before a clock burst, 200 ms after an upload page).
#pragma once

#include <chrono>
#include <thread>

namespace quarvel::receiver {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMs(int ms) = 0;
  // A pause between two bursts (after an upload page): the window may repaint and deliver
  // posted events (queued calls, zero-delay timers) meanwhile, but runs no other timers and
  // takes no input. Without a window it is SleepMs.
  virtual void IdleMs(int ms) { SleepMs(ms); }
};

class RealSleeper : public Sleeper {
 public:
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace quarvel::receiver
