// The blocking pauses of the panel (10 ms before a clock burst, 200 ms after an upload page).
#pragma once

#include <chrono>
#include <thread>
#include <vector>

namespace quarvel::receiver {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMs(int ms) = 0;
  // A pause between two bursts (after an upload page): the window may repaint and run its
  // timers meanwhile but takes no input. Without a window it is SleepMs.
  virtual void IdleMs(int ms) { SleepMs(ms); }
};

class RealSleeper : public Sleeper {
 public:
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

// Returns at once and remembers the pauses asked for.
class RecordingSleeper : public Sleeper {
 public:
  void SleepMs(int ms) override { pauses.push_back(ms); }
  std::vector<int> pauses;
};

}  // namespace quarvel::receiver
