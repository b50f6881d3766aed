// A scratch file for a fuzz input, in memory-backed storage where there is any.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

inline std::string scratchPath(const char* name) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/sarvik-fuzz-" + std::to_string(getpid()) + "-" + name;
}
