// The extraction loop, run in the test process, against an obviously
// correct reference: the whole data stream in memory, the header test at
// every offset one byte at a time. Small blocks put every cut position of a
// header and a payload within reach of a sweep; random streams, read sizes
// and the programs' own block size cover the rest.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "loop_runner.h"
#include "reference_extractor.h"

using namespace testsupport;

namespace {

// Streams built from pieces that make headers likely, near-misses common and
// block ends fall anywhere. Payloads are at most maxLength bytes.
Bytes randomStream(std::mt19937& rng, size_t target, size_t maxLength, size_t block) {
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  Bytes d;
  while (d.size() < target) {
    switch (pick(10)) {
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
        const bool inBytes = countsBytes(pc & 0x1F);
        const size_t length = pick(std::min<size_t>(maxLength, inBytes ? 0xFFFF : 0x1FFF) + 1);
        const uint16_t pd = uint16_t(inBytes ? length : length << 3 | pick(8));
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
        if (block > 3000 && d.size() % block < block - 3000)
          d.resize(d.size() + (block - 3000 - d.size() % block) + pick(3000), '\0');
        break;
      case 9: {  // an MPEG audio or ADTS frame, its stuffing byte counted or not
        if (maxLength < 10) break;
        const Bytes header =
            mpeg(int(pick(4)), 1 + int(pick(3)), int(pick(16)), int(pick(4)), int(pick(2)));
        size_t length = frameLength(frame(8, header));
        const bool adts = length < 8 || length >= maxLength;
        if (adts) length = 8 + pick(std::min<size_t>(maxLength, 8192) - 8);
        const uint16_t types[] = {4, 5, 6, 7, 8, 9, 10, 19, 20};
        d += burst(types[pick(9)], uint16_t((length + pick(2)) << 3),
                   frame(length, adts ? "" : header));
        break;
      }
    }
  }
  d.resize(target);
  return d;
}

void compare(const Bytes& data, int32_t block, const std::string& what, const Reads& reads = {}) {
  const LoopRun got = runLoop(data, block, reads);
  const Expected want = reference(data, got.readEnds);
  ASSERT_EQ(got.result, ExtractResult::ended) << what;
  EXPECT_EQ(got.output, want.output) << what;
  EXPECT_EQ(got.report, want.report + want.summary) << what;
}

// A header and an odd AAC frame placed at every offset within the first
// blocks, its stuffing byte counted in the length code and not: each cut
// position of the header, of the frame's header, of the payload and of the
// word whose low byte is held, also with the data ending at every byte after
// the header.
TEST(Reference, EveryCutOverSmallBlocks) {
  for (int32_t block : {16, 17, 31, 48}) {
    const size_t length = size_t(block) - 2 - (block % 2 == 0);  // odd, and fits a block
    const Bytes next = burst(0x0001, 4 * 8, "wxyz");
    for (size_t lead = 0; lead < size_t(2 * block); ++lead) {
      for (size_t code : {length, length + 1}) {
        const std::string what = "block " + std::to_string(block) + " lead " +
                                 std::to_string(lead) + " code " + std::to_string(code);
        const Bytes whole =
            Bytes(lead, '\0') + burst(0x0007, uint16_t(code << 3), frame(length)) + next;
        compare(whole + "tail", block, what);
        for (size_t end = lead + 16; end < lead + 16 + length + 1; ++end) {
          compare(whole.substr(0, end), block, what + " end " + std::to_string(end));
        }
      }
    }
  }
}

// A burst whose header or payload the programs' first block end cuts at
// each position in turn, of an even and of an odd length, also where the
// data ends in the next block; the types whose length code counts bytes
// carry payloads of up to 65,535 bytes.
TEST(Reference, CutsAtTheProgramsBlockEnd) {
  const std::pair<uint16_t, size_t> bursts[] = {
      {0x0001, 1536}, {0x0001, 511}, {0x0015, 20000}, {0x0011, 40001}, {0x0016, 65535}};
  for (const auto& [pc, length] : bursts) {
    const Bytes payload = noise(length + 1, uint32_t(length));
    const Bytes tail = burst(0x0001, 64 * 8, noise(64, 11)) + noise(40, 12);
    std::vector<size_t> backs = {length + 16, length + 17, length + 15, length / 2};
    for (size_t back = 0; back <= 40; ++back) backs.push_back(back);
    for (size_t back : backs) {
      const Bytes data = Bytes(size_t(kBlockSize) - back, '\0') +
                         burst(pc, uint16_t(countsBytes(pc) ? length : length << 3),
                               payload.substr(0, length + (length & 1))) +
                         tail;
      const std::string what = std::to_string(length) + " bytes, header " + std::to_string(back) +
                               " bytes before the block end";
      compare(data, kBlockSize, what);
      compare(data.substr(0, size_t(kBlockSize) + length / 2), kBlockSize, what + ", cut");
    }
  }
}

TEST(Reference, EdgesOfTheData) {
  const Bytes p = noise(32, 1);
  std::vector<Bytes> streams = {
      // A header of length 0 in the very last 16 bytes, just after a burst.
      burst(0x0001, 32 * 8, p) + burst(0x0000, 0, ""),
      burst(0x0001, 32 * 8, p) + Bytes(5, '\x01') + burst(0x0001, 0, ""),
      // Headers 13, 14 and 15 bytes into a pause header, whose last bytes
      // are zeros: the scan walks through the pause byte by byte.
      burst(0x0003, 0, "").substr(0, 13) + burst(0x0001, 32 * 8, p),
      burst(0x0003, 0, "").substr(0, 14) + burst(0x0001, 32 * 8, p),
      burst(0x0003, 0, "").substr(0, 15) + burst(0x0001, 32 * 8, p),
      // 800 bursts back to back, 1.2 MB of output.
      ac3Stream(800, 1536, 16 + 1536),
  };
  // MPEG audio frames of every layer and version, with and without padding,
  // their stuffing byte counted, not counted and lengths near theirs, and
  // headers that give no length.
  for (const Bytes& header :
       {mpeg(3, 1, 14, 2, 1), mpeg(3, 2, 9, 0, 1), mpeg(3, 3, 9, 0, 1), mpeg(3, 3, 9, 0, 0),
        mpeg(2, 3, 5, 1, 1), mpeg(0, 3, 3, 0, 1), mpeg(2, 1, 1, 2, 1), mpeg(2, 2, 9, 0, 1),
        mpeg(3, 3, 0, 0, 1), mpeg(3, 3, 15, 0, 1), mpeg(3, 3, 9, 3, 1), mpeg(1, 3, 9, 0, 1)}) {
    const size_t length = std::max<size_t>(frameLength(frame(8, header)), 417);
    for (size_t code = length - 4; code <= length + 4; ++code) {
      streams.push_back(burst(0x0005, uint16_t(code << 3), frame(length, header)) + p);
    }
  }
  // A payload shorter than 8 bytes is not read as a frame.
  streams.push_back(burst(0x0007, 6 * 8, frame(5)) + p);
  for (size_t i = 0; i < streams.size(); ++i) {
    for (int32_t block : {kBlockSize, 4096}) {
      compare(streams[i], block, "stream " + std::to_string(i));
    }
  }
}

TEST(Reference, RandomStreamsInRandomReads) {
  std::mt19937 rng(1);
  for (int i = 0; i < 300; ++i) {
    const int32_t block = int32_t(16 + rng() % 200);
    // Short reads, each one still holding the rest of a split payload.
    Reads reads;
    for (int k = 0; k < 5; ++k) reads.sizes.push_back(int32_t(block / 2 + rng() % size_t(block)));
    const size_t maxLength = size_t(block) / 2 - 1;
    compare(randomStream(rng, 2 * (rng() % 3000), maxLength, size_t(block)), block,
            "stream " + std::to_string(i), reads);
  }
}

TEST(Reference, RandomStreamsOfTheProgramsBlocks) {
  std::mt19937 rng(2);
  for (int i = 0; i < 40; ++i) {
    const size_t size = 2 * (size_t(kBlockSize) / 2 + rng() % (size_t(kBlockSize) * 3 / 2));
    compare(randomStream(rng, size, 0xFFFF, kBlockSize), kBlockSize, "stream " + std::to_string(i));
  }
}

TEST(Reference, AReadFailureStopsTheLoopAtOnce) {
  Bytes data;
  for (uint32_t i = 0; i < 20; ++i) data += burst(0x0001, 0x0FF8, noise(512, i)) + Bytes(100, '\0');
  for (int failing = 0; failing < 12; ++failing) {
    const LoopRun got = runLoop(data, 1000, {{}, failing});
    EXPECT_EQ(got.result, ExtractResult::readFailed) << failing;
    // Everything the reads before delivered is written, and no summary.
    const long long delivered = got.readEnds.empty() ? 0 : got.readEnds.back();
    EXPECT_EQ(got.output, reference(data.substr(0, size_t(delivered)), got.readEnds).output)
        << failing;
    EXPECT_EQ(got.report.find(summary(0, 0).substr(0, 10)), std::string::npos) << failing;
  }
}

// The lines of a report, each with the output bytes written before it, as
// one write per burst makes them.
struct Lines {
  std::vector<std::string> text;
  std::vector<size_t> writtenBefore;
};

Lines split(const std::string& report, const std::vector<size_t>& writtenBefore) {
  Lines lines;
  lines.writtenBefore = writtenBefore;
  for (size_t at = 0; at < report.size();) {
    const size_t end = report.find('\n', at) + 1;
    lines.text.push_back(report.substr(at, end - at));
    at = end;
  }
  return lines;
}

// Of a trace, the bytes before each line follow from its write lines.
Lines traced(const std::string& trace) {
  Lines lines = split(trace, {});
  long long written = 0;
  for (const std::string& line : lines.text) {
    lines.writtenBefore.push_back(size_t(written));
    long long n, offset;
    if (std::sscanf(line.c_str(), "write data: %lldbyte / offset=%lld", &n, &offset) == 2 ||
        std::sscanf(line.c_str(), "write remaining frame data: %lldbyte / offset=%lld", &n,
                    &offset) == 2) {
      EXPECT_EQ(offset, written);
      written += n;
    }
  }
  return lines;
}

// A write that fails at any byte ends the report where one write per burst
// ends it: every line before which the output took no more than the bytes
// that fit, and nothing after. The writes overlap the scan and are gathered
// in a large buffer, so that a line which did not wait for the payloads
// before it would follow a failed write. A read that fails after the failed
// write does not hide it.
TEST(Reference, AWriteFailureEndsTheReportWhereOneWritePerBurstEndsIt) {
  // Type changes, a pause, an odd payload split by a block end at an odd
  // count, a burst of length 0, and a last burst cut by the end of the data.
  const Bytes data = Bytes(5, '\0') + burst(0x0001, 20 * 8, noise(20, 1)) +
                     burst(0x0005, 12 * 8, noise(12, 2)) + burst(0x0003, 4 * 8, noise(4, 3)) +
                     burst(0x0005, 10 * 8, noise(10, 4)) + Bytes(11, '\0') +
                     burst(0x0001, 21 * 8, noise(22, 5)) + burst(0x0000, 0, "") +
                     burst(0x0007, 30 * 8, noise(16, 6));
  const int32_t block = 48;
  // The reads come in the same order in both programs: sarvikd's trace tells
  // which read follows the failed write.
  const Lines trace = traced(runLoop(data, block, {}, true).report);
  for (const bool diagnostic : {false, true}) {
    const LoopRun full = runLoop(data, block, {}, diagnostic);
    const Expected want = reference(data, full.readEnds);
    ASSERT_EQ(full.output, want.output);
    ASSERT_NE(want.report.find(kTruncated), std::string::npos);
    const Lines lines = diagnostic ? trace : split(full.report, want.writtenBefore);
    ASSERT_EQ(lines.text.size(), lines.writtenBefore.size());
    for (size_t failAt = 0; failAt < full.output.size(); ++failAt) {
      std::string expected;
      for (size_t i = 0; i < lines.text.size() && lines.writtenBefore[i] <= failAt; ++i) {
        expected += lines.text[i];
      }
      int readAfter = 0;
      for (size_t i = 0; i < trace.text.size() && trace.writtenBefore[i] <= failAt; ++i) {
        readAfter += trace.text[i].rfind("read data: ", 0) == 0;
      }
      for (const int failingRead : {-1, readAfter}) {
        Reads reads;
        reads.failing = failingRead;
        reads.failWriteAt = (long long)failAt;
        const LoopRun got = runLoop(data, block, reads, diagnostic);
        const std::string what = std::string(diagnostic ? "sarvikd" : "sarvik") + " failing at " +
                                 std::to_string(failAt) + ", read " + std::to_string(failingRead);
        EXPECT_EQ(got.result, ExtractResult::writeFailed) << what;
        EXPECT_EQ(got.report, expected) << what;
        EXPECT_EQ(got.output, full.output.substr(0, failAt)) << what;
      }
    }
  }
}

}  // namespace
