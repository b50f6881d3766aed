// A whole-buffer, byte-by-byte model of the extraction, for comparing the
// real loop with: the data stream in memory, the header test at every offset.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

namespace testsupport {

struct Expected {
  Bytes output;
  std::string report;  // every line but the summary
  std::string summary;
  // For each line of report, then for the summary: the output bytes written
  // before it, one write per burst.
  std::vector<size_t> writtenBefore;
};

// What the loop writes and reports for the data stream d (from the first
// data byte to the end of the file). readEnds, the stream offset at the end
// of each read that delivered bytes, tells whether the truncation line shows
// for a last burst cut by the end of the data: it does when the data ends in
// a later read than the one in which the header was found. Needed only then.
Expected reference(const Bytes& d, const std::vector<long long>& readEnds = {});

// Whether a data type's length code counts bytes (else bits).
bool countsBytes(int type);
// The length of the ADTS or MPEG audio frame that a payload opens (in file
// order: 16-bit little-endian words), 0 when it opens none or one of free
// format.
size_t frameLength(const Bytes& payload);

}  // namespace testsupport
