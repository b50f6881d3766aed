// Arbitrary data streams through the extraction loop, checked against the
// whole-buffer reference: bytes written and report lines. When the first
// byte's top bit is set, the first two bytes put up to 256 KiB of zeros in
// front, so that the interesting bytes meet block ends. Both variants of the
// loop must write the same output.
#include <cstdint>

#include "loop_runner.h"
#include "reference_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t lead = data[0] & 0x80 ? size_t((data[0] & 0x7F) << 8 | data[1]) * 8 : 0;
  std::string stream(lead, '\0');
  stream.append(reinterpret_cast<const char*>(data + 2), size - 2);

  const testsupport::LoopRun run = testsupport::runLoop(stream, kBlockSize);
  const testsupport::Expected want = testsupport::reference(stream, run.readEnds);
  if (run.output != want.output || run.report != want.report + want.summary) __builtin_trap();
  if (testsupport::runLoop(stream, kBlockSize, {}, true).output != run.output) __builtin_trap();
  return 0;
}
