// The programs' source of blocks: the input, read one block at a time into
// one buffer, allocated once, where the block is scanned. A buffer of one
// block stays in the processor's cache while it is scanned, which makes this
// faster than larger reads. It is stopped once an interrupt has come, and
// where standard error shows the progress line, it draws the line as the
// blocks come: the clock is read once a block, the terminal's width only
// when a line is due.
#pragma once

#include <cstdint>

#include "burst/burst_extractor.h"
#include "platform/memory.h"
#include "wav/wav_reader.h"

class InputSource final : public BlockSource {
 public:
  // Reads from the reader's position, blocks of at most kBlockSize bytes.
  explicit InputSource(WavReader& reader);
  // False when the buffer could not be had.
  bool allocated() const { return buffer_ != nullptr; }
  int32_t next(int32_t wanted, const uint8_t** at) override;
  bool stopped() const override;

 private:
  void showProgress(int32_t got);

  WavReader& reader_;
  Owned<uint8_t> buffer_;
  uint8_t* target_ = nullptr;  // where the reads land, 64-byte aligned
  int32_t delivered_ = 0;      // by the last read
  // The progress line: whether it is shown, the input's size, the bytes
  // read, and the times of the start and of the next line, in ms.
  const bool shown_;
  const int64_t size_;
  int64_t read_ = 0;
  const int64_t start_;
  int64_t due_;
};
