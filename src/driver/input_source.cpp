#include "driver/input_source.h"

#include <algorithm>
#include <cstring>

#include "driver/progress_line.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/terminal.h"

namespace {
// The first line comes this long after the start, the next ones at most
// this often; ms.
constexpr int64_t kFirstLineMs = 1000;
constexpr int64_t kLineEveryMs = 250;
}  // namespace

InputSource::InputSource(WavReader& reader)
    : reader_(reader),
      // Room for the 16 bytes delivered last, then the read, whose target is
      // 64-byte aligned: the system copies into aligned memory faster.
      buffer_(memoryBytes(kBurstHeaderSize + static_cast<size_t>(kBlockSize) + 63)),
      shown_(progressAvailable()),
      size_(reader.bytesToEnd()),
      start_(shown_ ? systemOps().clock() : 0),
      due_(start_ + kFirstLineMs) {
  if (!buffer_) return;
  const auto room = reinterpret_cast<uintptr_t>(buffer_.get()) + kBurstHeaderSize;
  target_ = reinterpret_cast<uint8_t*>(room + (64 - room % 64) % 64);
}

bool InputSource::stopped() const { return interruptCame(); }

int32_t InputSource::next(int32_t wanted, const uint8_t** at) {
  // The 16 bytes delivered last (fewer at the start) move to just before
  // the read.
  std::memmove(target_ - kBurstHeaderSize, target_ + delivered_ - kBurstHeaderSize,
               kBurstHeaderSize);
  const int32_t got = reader_.read(wanted, target_);
  delivered_ = std::max(got, 0);
  *at = target_;
  if (shown_ && got > 0) showProgress(got);
  return got;
}

void InputSource::showProgress(int32_t got) {
  read_ += got;
  const int64_t now = systemOps().clock();
  if (now < due_) return;
  due_ = now + kLineEveryMs;
  char text[128];
  const size_t n = progressText(text, sizeof text, read_, size_, now - start_, progressWidth());
  progressDraw(text, n);
}
