// Arbitrary file bytes through WavReader::open and the driver's use of it:
// the format copy of formatSize() bytes, the checks, seekData and reads to
// the end of the file.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_file.h"
#include "test_support.h"
#include "wav/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchPath("in.wav");
  testsupport::writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
  WavReader reader;
  if (reader.open(path.c_str()) < 0) {
    if (reader.format() != nullptr || reader.formatSize() != 0) __builtin_trap();
    return 0;
  }
  const uint32_t formatSize = reader.formatSize();
  if (formatSize < 18) __builtin_trap();
  std::vector<uint8_t> copy(reader.format(), reader.format() + formatSize);
  volatile bool pcm = copy[0] == 1 && copy[2] == 2 && copy[14] == 16;
  (void)pcm;
  if (reader.seekData(0) != 1) return 0;
  uint8_t block[4096];
  size_t total = 0;
  for (int32_t got; (got = reader.read(sizeof block, block)) > 0;) total += size_t(got);
  if (total > size) __builtin_trap();
  reader.close();
  reader.close();
  return 0;
}
