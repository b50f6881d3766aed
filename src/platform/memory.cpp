#include "platform/memory.h"

#include <cstdlib>

#include "platform/system.h"

namespace {
bool ranOut = false;
}  // namespace

void* memoryAllocate(size_t n) {
  void* block = systemOps().allocate(n);
  ranOut = ranOut || !block;
  return block;
}

void memoryRelease(void* block) { std::free(block); }

bool memoryRanOut() { return ranOut; }
