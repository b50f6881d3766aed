#include "test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testsupport {

Bytes le16(uint16_t v) { return Bytes{char(v & 0xFF), char(v >> 8)}; }
Bytes le32(uint32_t v) { return le16(uint16_t(v)) + le16(uint16_t(v >> 16)); }

Bytes chunkSized(const char* id, uint32_t size, const Bytes& body) {
  Bytes c = Bytes(id, 4) + le32(size) + body;
  if (body.size() % 2) c += '\0';
  return c;
}
Bytes chunk(const char* id, const Bytes& body) {
  return chunkSized(id, uint32_t(body.size()), body);
}

Bytes fmtBody(uint16_t tag, uint16_t channels, uint16_t bits) {
  uint16_t align = uint16_t(channels * bits / 8);
  return le16(tag) + le16(channels) + le32(48000) + le32(48000u * align) + le16(align) + le16(bits);
}

Bytes riffWave(const Bytes& children) { return chunk("RIFF", "WAVE" + children); }

Bytes pcmWav(const Bytes& data) {
  return riffWave(chunk("fmt ", fmtBody(1, 2, 16)) + chunk("data", data));
}

Bytes streamingHeader() {
  return chunkSized("RIFF", 0xFFFFFFFF, "WAVE").substr(0, 12) + chunk("fmt ", fmtBody(1, 2, 16)) +
         chunkSized("data", 0xFFFFFFFF, "");
}

Bytes burst(uint16_t pc, uint16_t pd, const Bytes& payload) {
  return Bytes(8, '\0') + le16(0xF872) + le16(0x4E1F) + le16(pc) + le16(pd) + payload;
}

Bytes ac3Burst(const Bytes& payload) {
  return burst(0x0001, uint16_t(payload.size() * 8), payload);
}

Bytes ac3Stream(uint32_t count, size_t payload, size_t period, Bytes* written) {
  Bytes stream;
  for (uint32_t i = 0; i < count; ++i) {
    const Bytes bytes = noise(payload, i);
    stream += ac3Burst(bytes) + Bytes(period - 16 - payload, '\0');
    if (written) *written += swapped(bytes, payload);
  }
  return stream;
}

Bytes frame(size_t length, Bytes header) {
  if (header.empty()) {  // ADTS, with its 13-bit frame length
    header = Bytes("\xFF\xF1\x50") + char(0x80 | length >> 11) + char(length >> 3) +
             char((length & 7) << 5 | 0x1F) + '\xFC';
  }
  Bytes f = header + noise(length + 1, uint32_t(length));
  f.resize(length + (length & 1));
  return swapped(f, f.size());
}

Bytes mpeg(int version, int layer, int bitrate, int rate, int padding) {
  return Bytes{'\xFF', char(0xE1 | version << 3 | (4 - layer) << 1),
               char(bitrate << 4 | rate << 2 | padding << 1), '\xC4'};
}

Bytes progressData() {
  Bytes data = Bytes(1 << 20, '\0') + ac3Stream(10, 768, 6144);
  data.resize(3 << 20, '\0');
  data += burst(0x0003, 32, Bytes(4, '\0'));
  data.resize(5 << 20, '\0');
  data += ac3Stream(10, 768, 6144);
  data.resize(8 << 20, '\0');
  return data;
}

Bytes swapped(const Bytes& p, size_t length) {
  Bytes out(length, '\0');
  for (size_t k = 0; k < length; ++k) out[k] = p.at(k ^ 1);
  return out;
}

Bytes noise(size_t n, uint32_t seed) {
  Bytes b(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x >> 24);
  }
  return b;
}

const std::string kInputNotOpened = sjis("読み取りファイルが開けませんでした。\n");
const std::string kOutputNotCreated = sjis("書き込みファイルが開けませんでした。\n");
const std::string kReadError = sjis("読み取りエラーです\n");
const std::string kWriteError = sjis("書き込みエラーです\n");
const std::string kOutOfMemory = sjis("メモリが足りません。\n");

std::string found(long long n, long long offset) {
  return sjis(std::to_string(n) + "つ目のヘッダが" + std::to_string(offset) +
              "バイト目に見つかりました。\n");
}

std::string dataType(const std::string& label) { return sjis("データタイプ: " + label + "\n"); }
const std::string kAc3Type = dataType("Dolby Digital (AC-3)");
const std::string kTruncated = sjis("最終フレームは途切れています。\n");

std::string summary(long long frames, long long bytes) {
  return sjis("ビットストリーム: " + std::to_string(frames) + "フレーム, " + std::to_string(bytes) +
              "バイト\n");
}

TempDir::TempDir() {
  static std::mt19937_64 rng(std::random_device{}());
  for (;;) {
    const auto candidate = std::filesystem::temp_directory_path() /
                           ("sarvik-test-" + std::to_string(rng() % 1000000000));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.generic_string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(fsPath(path), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  if (!f) throw std::runtime_error("write " + path);
}

Bytes readFile(const std::string& path) {
  std::ifstream f(fsPath(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(fsPath(path), ignored);
}

std::vector<std::string> environmentWith(const std::vector<std::string>& inherited,
                                         const std::vector<std::string>& added) {
  std::vector<std::string> env = added;
  for (const std::string& entry : inherited) {
    const bool replaced = std::any_of(added.begin(), added.end(), [&](const std::string& a) {
      return entry.compare(0, a.find('=') + 1, a, 0, a.find('=') + 1) == 0;
    });
    if (!replaced) env.push_back(entry);
  }
  return env;
}

void copyProgram(const std::string& program, const std::string& path) {
  writeFile(path, readFile(program));
  std::filesystem::permissions(fsPath(path), std::filesystem::perms(0755));
}

Outcome runOn(const std::string& program, const std::string& input, const std::string& output,
              const RunOptions& options) {
  return runProgram(program, {program, input, output}, options);
}

std::string failure(const Outcome& run) {
  if (run.status == 1) return run.err;
  return "status " + std::to_string(run.status) + ", signal " + std::to_string(run.signal) + ": " +
         run.err;
}

Extraction extract(const std::string& program, const Bytes& wav,
                   const std::vector<std::string>& env, RunOptions options) {
  const TempDir dir;
  writeFile(dir / "in.wav", wav);
  writeFile(dir / "out", "old");
  options.env = env;
  Extraction e;
  e.run = runOn(program, dir / "in.wav", dir / "out", options);
  e.output = readFile(dir / "out");
  return e;
}

}  // namespace testsupport
