// The time a run has taken, for the progress line: a seam like the file
// seam and the allocation seam, so that a test build can make a run "last"
// as long as it needs without waiting.
#pragma once

#include <cstdint>

// Milliseconds on the system's steady clock, from an arbitrary start.
int64_t systemClock();

// Where the programs read the time: systemClock, unless a test build has
// put another clock in its place before main. It never goes back.
extern int64_t (*clockSource)();
