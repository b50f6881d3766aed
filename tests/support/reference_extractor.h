// A whole-buffer, byte-by-byte model of the extraction, for comparing the
// real loop with: the data stream in memory, the header test at every offset.
#pragma once

#include <string>

#include "test_support.h"

namespace testsupport {

struct Expected {
  Bytes output;
  std::string report;  // every line but the summary
  std::string summary;
  bool truncated = false;  // the last burst ran past the end of the data
};

// What sarvik writes and reports for the data stream d (from the first data
// byte to the end of the file).
Expected reference(const Bytes& d);

// True when a run's standard output is the expected report and summary.
// Whether the truncation line shows depends on where the block ends fall,
// which the blockless model does not know: for a truncated stream it may
// stand just before the summary.
bool reportMatches(std::string out, const Expected& want);

}  // namespace testsupport
