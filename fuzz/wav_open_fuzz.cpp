// Arbitrary file bytes through WavReader::open. Whatever opens holds up: the
// data start inside the file and end inside the RIFF chunk (or have a
// streaming size), the format record is the start of a "fmt " chunk, and a
// second open gives the same answer.
#include <array>
#include <cstdint>
#include <string>

#include "fuzz_file.h"
#include "test_support.h"
#include "wav/little_endian.h"
#include "wav/wav_reader.h"

namespace {

uint32_t le32(const std::string& s, size_t at) {
  return readLe32(reinterpret_cast<const uint8_t*>(s.data()) + at);
}

// The format record, the other accessors' results, the bytes read from
// seekData(0) on; all empty when the file does not open.
std::array<std::string, 3> answer(const std::string& path) {
  WavReader reader;
  std::array<std::string, 3> a;
  if (reader.open(path.c_str()) < 0 || reader.seekData(0) < 0) return a;
  a[0].assign(reinterpret_cast<const char*>(reader.format()), reader.formatSize());
  for (uint32_t value : {reader.dataSize(), uint32_t{reader.blockAlign()}, reader.sampleCount()}) {
    a[1].append(reinterpret_cast<const char*>(&value), 4);
  }
  char block[4096];
  for (int32_t got; (got = reader.read(sizeof block, block)) > 0;) a[2].append(block, size_t(got));
  return a;
}

// Where the first top-level "RIFF" chunk of form "WAVE" ends.
uint64_t riffEnd(const std::string& file) {
  for (uint64_t at = 0, n = 0; at + 12 <= file.size(); at += 8 + n + (n & 1)) {
    n = le32(file, at + 4);
    if (!file.compare(at, 4, "RIFF") && !file.compare(at + 8, 4, "WAVE")) return at + 8 + n;
  }
  __builtin_trap();
}

bool startsAFmtChunk(const std::string& file, const std::string& record) {
  for (size_t at = 0; (at = file.find("fmt ", at)) != std::string::npos; ++at) {
    if (at + 8 <= file.size() && le32(file, at + 4) >= record.size() &&
        !file.compare(at + 8, record.size(), record)) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchPath("in.wav");
  const std::string file(reinterpret_cast<const char*>(data), size);
  testsupport::writeFile(path, file);
  const std::array<std::string, 3> first = answer(path);
  if (answer(path) != first) __builtin_trap();
  const auto& [record, values, bytes] = first;
  if (record.empty()) return 0;
  // Past 18 bytes (never for PCM and float), the record is the chunk's own.
  const uint16_t tag = readLe16(reinterpret_cast<const uint8_t*>(record.data()));
  if (record.size() < 18 || ((tag == 1 || tag == 3) && record.size() != 18)) __builtin_trap();
  if (record.size() > 18 && !startsAFmtChunk(file, record)) __builtin_trap();
  // Reads deliver the rest of the file from just after a "data" header.
  const size_t dataOffset = size - bytes.size();
  if (bytes.size() + 8 > size || file.compare(dataOffset, bytes.size(), bytes) ||
      file.compare(dataOffset - 8, 4, "data") || le32(file, dataOffset - 4) != le32(values, 0)) {
    __builtin_trap();
  }
  const uint64_t dataEnd = dataOffset + uint64_t{le32(values, 0)};
  if (dataEnd > riffEnd(file) && dataEnd < (uint64_t{1} << 32)) __builtin_trap();
  return 0;
}
