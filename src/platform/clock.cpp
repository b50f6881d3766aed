#include "platform/clock.h"

#include <chrono>

int64_t systemClock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t (*clockSource)() = systemClock;
