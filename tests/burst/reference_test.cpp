// sarvik against an obviously correct reference: the whole data stream in
// memory, the header test at every offset one byte at a time. Many random,
// boundary-heavy inputs, some larger than several blocks; the bytes written
// and the report lines must agree.
#include <gtest/gtest.h>

#include <random>

#include "reference_extractor.h"
#include "test_support.h"

using namespace testsupport;

namespace {

constexpr size_t kBlock = 262144;

// Streams built from pieces that make headers likely, near-misses common and
// block ends fall anywhere.
Bytes randomStream(std::mt19937& rng, size_t target) {
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  Bytes d;
  while (d.size() < target) {
    switch (pick(9)) {
      case 0:
        d += Bytes(pick(40), '\0');
        break;
      case 1:
        d += noise(pick(300), rng());
        break;
      case 2:
      case 3:
      case 4: {  // a burst of any type and length, usually with its payload
        const uint16_t pc = uint16_t(rng());
        const uint16_t pd = pick(4) == 0 ? uint16_t(rng()) : uint16_t(pick(2000) << 3 | pick(8));
        const size_t length = pd >> 3;
        d += burst(pc, pd, noise(pick(6) == 0 ? pick(length + 2) : length + (length & 1), rng()));
        break;
      }
      case 5: {  // a near miss: the preamble with one byte wrong
        Bytes b = burst(0x0001, 64, noise(8, rng()));
        b[pick(12)] ^= char(1 + pick(255));
        d += b;
        break;
      }
      case 6:  // a pause, whose payload the scan walks through
        d += burst(0x0003, uint16_t(pick(64) << 3), "");
        break;
      case 7:  // runs of the first sync byte
        for (size_t i = pick(50); i > 0; --i) d += i % 2 ? "\x72" : "\0";
        break;
      case 8:  // jump to just before a block end
        if (d.size() % kBlock < kBlock - 3000)
          d.resize(d.size() + (kBlock - 3000 - d.size() % kBlock) + pick(3000), '\0');
        break;
    }
  }
  d.resize(target);
  return d;
}

void compare(const Bytes& data, const std::string& what) {
  const Expected want = reference(data);
  Extraction got = extract(SARVIK, pcmWav(data));
  ASSERT_EQ(got.run.status, 0) << what;
  EXPECT_EQ(got.output, want.output) << what;
  EXPECT_TRUE(reportMatches(got.run.out, want)) << what << "\n" << got.run.out;
}

TEST(Reference, RandomSmallStreams) {
  std::mt19937 rng(1);
  for (int i = 0; i < 150; ++i) {
    const size_t size = 2 * (rng() % 6000);
    compare(randomStream(rng, size), "small stream " + std::to_string(i));
  }
}

TEST(Reference, RandomStreamsOfSeveralBlocks) {
  std::mt19937 rng(2);
  for (int i = 0; i < 40; ++i) {
    const size_t size = 2 * (kBlock / 2 + rng() % (kBlock * 3 / 2));
    compare(randomStream(rng, size), "large stream " + std::to_string(i));
  }
}

TEST(Reference, BurstsStraddlingTheFirstBlockEnd) {
  std::mt19937 rng(3);
  for (size_t back = 0; back < 80; ++back) {
    const size_t length = 1 + rng() % 700;
    Bytes data = Bytes(kBlock - back, '\0') +
                 burst(0x0001, uint16_t(length << 3), noise(length + (length & 1), uint32_t(back)));
    data += randomStream(rng, 2 * (rng() % 2000));
    if (data.size() % 2) data += '\0';
    compare(data, "header " + std::to_string(back) + " bytes before the block end");
  }
}

}  // namespace
