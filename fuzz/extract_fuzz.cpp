// Arbitrary data streams through the extraction loop, checked against the
// whole-buffer reference: bytes written and report lines. When the first
// byte's top bit is set, the first two bytes put up to 256 KiB of zeros in
// front, so that the interesting bytes meet block ends. Both variants of the
// loop must write the same output.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "burst/burst_extractor.h"
#include "fuzz_file.h"
#include "reference_extractor.h"
#include "test_support.h"

namespace {

template <bool kDiagnostic>
std::string run(const std::string& in, const std::string& out, std::string* report) {
  static const std::string capture = scratchPath("stdout");
  fflush(stdout);
  const int saved = dup(1);
  const int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 1);
  close(fd);
  WavReader reader;
  if (reader.open(in.c_str()) != 1 || reader.seekData(0) != 1) __builtin_trap();
  OutputFile* output = outputCreate(out.c_str());
  if (!output) __builtin_trap();
  ReaderSource source(reader, kBlockSize);
  if (extractBursts<kDiagnostic>(source, kBlockSize, output, stdout) != ExtractResult::ended) {
    __builtin_trap();
  }
  if (!outputClose(output)) __builtin_trap();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  *report = testsupport::readFile(capture);
  return testsupport::readFile(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t lead = data[0] & 0x80 ? size_t((data[0] & 0x7F) << 8 | data[1]) * 8 : 0;
  std::string stream(lead, '\0');
  stream.append(reinterpret_cast<const char*>(data + 2), size - 2);
  if (stream.size() % 2) stream += '\0';  // the pad byte is read like data
  if (stream.empty()) return 0;           // no data chunk: nothing to extract

  static const std::string in = scratchPath("in.wav"), out = scratchPath("out");
  testsupport::writeFile(in, testsupport::pcmWav(stream));
  std::string report, traced;
  const std::string written = run<false>(in, out, &report);
  const testsupport::Expected want = testsupport::reference(stream);
  if (written != want.output || !testsupport::reportMatches(report, want)) __builtin_trap();
  if (run<true>(in, out, &traced) != written) __builtin_trap();
  return 0;
}
