#include "reference_extractor.h"

#include <algorithm>
#include <stdexcept>

namespace testsupport {

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
    const size_t length = ((unsigned char)d[pos + 14] | (unsigned char)d[pos + 15] << 8) >> 3;
    const size_t avail = d.size() - pos - 16;
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
