#include "reference_extractor.h"

#include <algorithm>
#include <stdexcept>

namespace testsupport {

bool countsBytes(int type) { return type == 17 || type == 21 || type == 22; }

size_t frameLength(const Bytes& payload) {
  const Bytes h = swapped(payload, 6);
  const unsigned bits =
      unsigned((unsigned char)h[1]) << 16 | (unsigned char)h[2] << 8 | (unsigned char)h[3];
  auto field = [&](int at, int width) { return bits >> (24 - at - width) & ((1u << width) - 1); };
  if ((unsigned char)h[0] != 0xFF) return 0;
  if (field(0, 4) == 15 && field(5, 2) == 0) {  // ADTS: the 13 bits after the first 30
    return field(22, 2) << 11 | (unsigned char)h[4] << 3 | (unsigned char)h[5] >> 5;
  }
  const unsigned version = field(3, 2), layer = 4 - field(5, 2), index = field(8, 4);
  if (field(0, 3) != 7 || version == 1 || layer == 4 || index % 15 == 0 || field(12, 2) == 3) {
    return 0;
  }
  // Bitrates in kbit/s, by index: MPEG-1 layers I to III, then MPEG-2 and 2.5.
  static const int kbits[5][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  const unsigned bitrate = 1000 * kbits[version == 3 ? layer - 1 : layer == 1 ? 3 : 4][index];
  static const unsigned rates[3] = {44100, 48000, 32000};
  const unsigned rate = rates[field(12, 2)] / (version == 3 ? 1 : version == 2 ? 2 : 4);
  // Samples a frame, and the slot in bytes.
  const unsigned samples = layer == 1 ? 384 : layer == 3 && version != 3 ? 576 : 1152;
  const unsigned slot = layer == 1 ? 4 : 1;
  return (samples / 8 / slot * bitrate / rate + field(14, 1)) * slot;
}

Expected reference(const Bytes& d, const std::vector<long long>& readEnds) {
  static const char* labels[] = {"Null burst",
                                 "Dolby Digital (AC-3)",
                                 "タイムスタンプ",
                                 "ポーズ",
                                 "MPEG-1 Audio Layer-1",
                                 "MPEG-1 Audio Layer-2",
                                 "MPEG-1 Audio Layer-3 ?",
                                 "MPEG-2 AAC",
                                 "MPEG-1 Audio Layer-1 low frequency",
                                 "MPEG-2 Audio",
                                 "不明",
                                 "dts-1 (512-sample bursts)",
                                 "dts-2 (1024-sample bursts)",
                                 "dts-3 (2048-sample bursts)"};
  const unsigned char preamble[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0x72, 0xF8, 0x1F, 0x4E};
  Expected e;
  auto say = [&](const std::string& line) {
    e.report += line;
    e.writtenBefore.push_back(e.output.size());
  };
  long long count = 0;
  int type = -1;
  bool reported = false;
  size_t pos = 0;
  while (pos + 16 <= d.size()) {
    bool match = true;
    for (size_t i = 0; i < 12; ++i) match = match && (unsigned char)d[pos + i] == preamble[i];
    if (!match) {
      ++pos;
      continue;
    }
    ++count;
    if (!reported) {
      say(found(count, (long long)pos));
      reported = true;
    }
    const int t = (unsigned char)d[pos + 12] & 0x1F;
    if (t != type) {
      say(dataType(t < 14 ? labels[t] : "不明"));
      type = t;
    }
    if (t == 3) {
      --count;
      reported = false;
      ++pos;
      continue;
    }
    const size_t code = (unsigned char)d[pos + 14] | (unsigned char)d[pos + 15] << 8;
    size_t length = countsBytes(t) ? code : code >> 3;
    const size_t avail = d.size() - pos - 16;
    // MPEG audio and AAC: a stuffing byte counted in the length code is dropped.
    const bool framed = (t >= 4 && t <= 10) || t == 19 || t == 20;
    if (framed && length % 2 == 0 && length >= 8 && avail >= 8 &&
        frameLength(d.substr(pos + 16, 8)) == length - 1) {
      --length;
    }
    if (avail < length + (length & 1)) {
      const auto headerRead =
          std::lower_bound(readEnds.begin(), readEnds.end(), (long long)pos + 16);
      if (headerRead == readEnds.end()) throw std::logic_error("truncated burst: reads needed");
      // The part in the header's block is written before the cut shows.
      const size_t first = (size_t(*headerRead) - pos - 16) & ~size_t(1);
      e.output += swapped(d.substr(pos + 16), first);
      if (*headerRead < (long long)d.size()) say(kTruncated);
      e.output += swapped(d.substr(pos + 16 + first), (avail & ~size_t(1)) - first);
      break;
    }
    e.output += swapped(d.substr(pos + 16, length + 1), length);
    pos += 16 + length + (length & 1);
  }
  e.summary = summary(count, (long long)e.output.size());
  e.writtenBefore.push_back(e.output.size());
  return e;
}

}  // namespace testsupport
