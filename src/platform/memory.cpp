#include "platform/memory.h"

#include <cstdlib>

namespace {
void* zeroed(size_t n) { return std::calloc(1, n); }
bool ranOut = false;
}  // namespace

void* (*memorySource)(size_t n) = zeroed;

void* memoryAllocate(size_t n) {
  void* block = memorySource(n);
  ranOut = ranOut || !block;
  return block;
}

void memoryRelease(void* block) { std::free(block); }

bool memoryRanOut() { return ranOut; }
