#include "platform/system.h"

#include <chrono>
#include <cstdlib>

#include "platform/memory.h"

namespace {
const SystemOps* inForce = &kPlatformOps;
bool ranOut = false;
}  // namespace

const SystemOps& systemOps() { return *inForce; }
void setSystemOps(const SystemOps& ops) { inForce = &ops; }

void* zeroedBlock(size_t n) { return std::calloc(1, n); }

int64_t steadyClock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void* memoryAllocate(size_t n) {
  void* block = systemOps().allocate(n);
  ranOut = ranOut || !block;
  return block;
}

void memoryRelease(void* block) { std::free(block); }

bool memoryRanOut() { return ranOut; }

int32_t fileReadFull(const SystemOps& ops, FileHandle file, void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    const long got = ops.readSome(file, out + done, static_cast<uint32_t>(count - done));
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

bool fileWriteAll(const SystemOps& ops, FileHandle file, const void* data, uint32_t n) {
  const auto* in = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const long done = ops.writeSome(file, in, n);
    if (done <= 0) return false;
    in += done;
    n -= static_cast<uint32_t>(done);
  }
  return true;
}
