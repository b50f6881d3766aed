// Runs the extraction loop in the test process over a stream in memory, with
// the block size and the reads chosen by the test.
#pragma once

#include <vector>

#include "burst/burst_extractor.h"
#include "test_support.h"

namespace testsupport {

struct Reads {
  // Each read delivers at most this many bytes, taken in turn and cycled;
  // none: as many as the loop asks for.
  std::vector<int32_t> sizes;
  int failing = -1;            // this read, counted from 0, fails
  long long failWriteAt = -1;  // the output takes this many bytes, then its writes fail
};

struct LoopRun {
  ExtractResult result = ExtractResult::ended;
  Bytes output;                     // the output file
  std::string report;               // the report lines, LF-ended
  std::vector<long long> readEnds;  // stream offset at the end of each read that delivered bytes
};

// Each read hands the loop a heap block of exactly the bytes it delivers,
// with the 16 before them, so that the sanitizers see any access outside.
// The output goes to memory, and only when the loop flushes it, so that a
// report line that does not wait for the payloads before it shows.
LoopRun runLoop(const Bytes& stream, int32_t blockSize, const Reads& reads = {},
                bool diagnostic = false);

}  // namespace testsupport
