// The extraction loop: reads the PCM byte stream in blocks, finds IEC 61937
// burst headers at every byte offset, reports them and writes each payload,
// byte-swapped to big-endian order, to the output. Bursts and words cut by a
// block end are joined.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/output_file.h"
#include "wav/wav_reader.h"

// The programs' block: a read asks for this many bytes less those carried.
constexpr int32_t kBlockSize = 0x40000;

// Where the loop's blocks come from.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // Delivers up to wanted new bytes of the stream and points *at to them:
  // their count, 0 at the end, -1 on an error. The last 16 bytes delivered
  // before (fewer at the start) lie just before *at, so that a block can
  // begin with bytes carried from the one before without copying them.
  virtual int32_t next(int32_t wanted, const uint8_t** at) = 0;
  // Runs scan(context) over the bytes last delivered. True when they stayed
  // what was delivered meanwhile. False when they did not (a view of a file
  // that shrank or failed under it): *got is then what the last next() would
  // now deliver, at the same place (0 at the end, -1 on an error), and the
  // caller scans again.
  virtual bool scan(void (*scan)(void*), void* context, int32_t* /*got*/) {
    scan(context);
    return true;
  }
};

// The programs' source: views of the file where it gives them, each block
// handed out where it lies; otherwise the file is read in large pieces into
// one buffer, allocated once, and each block handed out where it lies there.
// Either way each call delivers what a read of wanted bytes would give then.
class ReaderSource final : public BlockSource {
 public:
  ReaderSource(WavReader& reader, int32_t largestWanted);
  // False when the buffer could not be had.
  bool allocated() const { return buffer_ != nullptr; }
  int32_t next(int32_t wanted, const uint8_t** at) override;
  bool scan(void (*scan)(void*), void* context, int32_t* got) override;

 private:
  int32_t read(int32_t wanted, const uint8_t** at);

  WavReader& reader_;
  bool viewing_ = true;
  const uint8_t* viewed_ = nullptr;  // the end of what the last view delivered
  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* target_ = nullptr;      // where the large reads land, 64-byte aligned
  const uint8_t* next_ = nullptr;  // the first byte not yet delivered
  const uint8_t* end_ = nullptr;   // the end of the bytes read
  int32_t last_ = 1;               // what the last large read gave: 0 at the end, -1 on an error
};

// The loop's work areas for blocks of up to blockSize bytes (16 at least),
// allocated once. A block's payloads, swapped, and its report lines wait here
// until its scan has run over bytes that stayed what they were.
class LoopWorkspace {
 public:
  explicit LoopWorkspace(int32_t blockSize);
  ~LoopWorkspace();
  LoopWorkspace(const LoopWorkspace&) = delete;
  LoopWorkspace& operator=(const LoopWorkspace&) = delete;
  // False when an area could not be had.
  bool allocated() const;

  struct Write {
    int32_t textEnd;  // the report text that comes before it
    int32_t at;       // where it lies in staging
    int32_t n;
  };
  const int32_t blockSize;
  const int32_t textCapacity;  // the longest report text of one block
  char* const text;
  Write* const writes;  // at most one per 16 bytes of a block, and one more
  uint8_t* const staging;
};

enum class ExtractResult { ended, readFailed, writeFailed };

// Runs the loop over blocks of work.blockSize bytes. The rest of a split
// payload is taken from the next block alone, as the loop has always done:
// with the programs' blocks it always fits, while smaller blocks (for tests)
// keep the output exact only for payloads shorter than a block less one
// byte. ended: the data ran out and the summary line was printed to report
// (every byte handed to the output has been flushed). readFailed /
// writeFailed: the loop stopped at once; what was written before stays. A
// report line that cannot be written does not stop the loop. The diagnostic
// variant also traces every read, header and write, and reports every
// header found.
template <bool kDiagnostic>
ExtractResult extractBursts(BlockSource& source, LoopWorkspace& work, OutputFile* output,
                            FILE* report);

extern template ExtractResult extractBursts<false>(BlockSource&, LoopWorkspace&, OutputFile*,
                                                   FILE*);
extern template ExtractResult extractBursts<true>(BlockSource&, LoopWorkspace&, OutputFile*, FILE*);
