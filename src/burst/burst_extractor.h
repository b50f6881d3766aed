// The extraction loop: reads the PCM byte stream in blocks, finds IEC 61937
// burst headers at every byte offset, reports them and writes each payload,
// byte-swapped to big-endian order, to the output. Bursts and words cut by a
// block end are joined.
#pragma once

#include <cstddef>
#include <cstdint>

// The programs' block: a read asks for this many bytes less those carried.
constexpr int32_t kBlockSize = 0x40000;
// A burst header: eight zero bytes, Pa, Pb, Pc and Pd.
constexpr int32_t kBurstHeaderSize = 16;
// The largest payload: the largest length code, where it counts bytes.
constexpr uint32_t kLargestPayload = 0xFFFF;

// Where the loop's blocks come from.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // Delivers up to wanted new bytes of the stream and points *at to them:
  // their count, 0 at the end, -1 on an error. The last kBurstHeaderSize
  // bytes delivered before (fewer at the start) lie just before *at, so that
  // a block can begin with bytes carried from the one before without
  // copying them.
  virtual int32_t next(int32_t wanted, const uint8_t** at) = 0;
  // True once the run is to stop where it is (an interrupt came): no block
  // is asked for after that.
  virtual bool stopped() const { return false; }
};

// Where the loop's payloads go.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Room for n more bytes (n at most kLargestPayload), to be filled and then
  // appended with commit. Null when a write has failed: nothing more is
  // written.
  virtual uint8_t* reserve(uint32_t n) = 0;
  virtual void commit(uint32_t n) = 0;
  // Writes every byte appended so far; false when a write failed. Each
  // report line waits here first, so that the report never runs ahead of
  // the writes.
  virtual bool flush() = 0;
};

// Where the loop's report and trace lines go, as Shift_JIS bytes.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  // A line, or the start of one: the header trace ends without a line feed.
  virtual void line(const char* text, size_t n) = 0;
};

enum class ExtractResult { ended, stopped, readFailed, writeFailed };

// Runs the loop over blocks of blockSize bytes, at least 16. The rest of a
// split payload is taken from the next block alone: the programs' blocks
// always hold it, while smaller ones (for tests) keep the output exact only
// for payloads shorter than a block less one byte. Each report line first
// flushes the output, so that the report never runs ahead of the writes.
// ended: the data ran out and the summary was printed. stopped: the source
// stopped, before a block was asked for or in a read that gave the end or
// an error; nothing more was traced or printed (a block that the read gave
// was scanned). readFailed, writeFailed: the loop stopped at once; a read
// error after a failed write is the write failure. Except after writeFailed,
// every byte handed to the output has been written. The diagnostic variant
// also traces every read, header and write, and reports every header found.
template <bool kDiagnostic>
ExtractResult extractBursts(BlockSource& source, int32_t blockSize, OutputSink& output,
                            ReportSink& report);

extern template ExtractResult extractBursts<false>(BlockSource&, int32_t, OutputSink&, ReportSink&);
extern template ExtractResult extractBursts<true>(BlockSource&, int32_t, OutputSink&, ReportSink&);
