// The extraction loop over the programs' blocks, in the test process: headers
// at every kind of position, cuts by the block ends, odd lengths, pauses,
// types, truncation, and the diagnostic trace line by line.
#include <gtest/gtest.h>

#include <cstdio>

#include "loop_runner.h"

using namespace testsupport;

namespace {

constexpr size_t kBlock = 262144;

std::string format(const char* f, long long a, long long b = 0, long long c = 0) {
  char line[200];
  snprintf(line, sizeof line, f, a, b, c);
  return line;
}
std::string readTrace(long long n) { return format("read data: %lldbyte\n", n); }
std::string headerTrace(int pc, long long length) {
  return format("data_type=%02llx%02llx length=%lld | ", pc >> 8, pc & 0xFF, length);
}
std::string writeTrace(long long n, long long offset) {
  return format("write data: %lldbyte / offset=%lld (%llx)\n", n, offset, offset);
}
std::string remainingTrace(long long n, long long offset) {
  return format("write remaining frame data: %lldbyte / offset=%lld (%llx)\n", n, offset, offset);
}

struct Case {
  const char* what;
  Bytes data;
  bool diagnostic;
  std::string report;
  Bytes output;
};

std::vector<Case> cases() {
  const std::string& ac3 = kAc3Type;
  std::vector<Case> c;

  const Bytes p1 = noise(1536, 1), p2 = noise(1536, 2);
  const Bytes two = ac3Burst(p1) + Bytes(6144 - 16 - 1536, '\0') + ac3Burst(p2) + Bytes(3000, '\0');
  c.push_back({"two AC-3 bursts in one block", two, false, found(1, 0) + ac3 + summary(2, 3072),
               swapped(p1, 1536) + swapped(p2, 1536)});
  // The scan ends 15 bytes before the end of the first block.
  c.push_back({"two AC-3 bursts in one block, traced", two, true,
               readTrace(262144) + headerTrace(0x0001, 1536) + found(1, 0) + ac3 +
                   writeTrace(1536, 0) + headerTrace(0x0001, 1536) + found(2, 6144) +
                   writeTrace(1536, 1536) + readTrace(262144 - 15) + summary(2, 3072),
               swapped(p1, 1536) + swapped(p2, 1536)});

  const Bytes p3 = noise(32, 3);
  c.push_back({"a preamble at offset 0", ac3Burst(p3).substr(8), false, summary(0, 0), ""});
  c.push_back({"eight zero bytes before it", ac3Burst(p3), false,
               found(1, 0) + ac3 + summary(1, 32), swapped(p3, 32)});
  // A non-zero byte anywhere among the eight hides the header.
  for (size_t i = 0; i < 8; ++i) {
    Bytes spoiled = ac3Burst(p3);
    spoiled[i] = 1;
    c.push_back({"a non-zero byte among the eight", spoiled, false, summary(0, 0), ""});
  }

  // 511 bytes and the filler; the last byte written is the high byte of the
  // 256th word.
  const Bytes p4 = noise(512, 4);
  c.push_back({"odd offsets and odd lengths",
               Bytes(3, '\x05') + burst(0x0001, 0x0FF8, p4) + ac3Burst(noise(4, 5)), false,
               found(1, 3) + ac3 + summary(2, 515), swapped(p4, 511) + swapped(noise(4, 5), 4)});

  // A header pattern inside a pause payload is found: the scan walks through it.
  const Bytes inner = ac3Burst(noise(8, 6));
  const Bytes pauses = ac3Burst(noise(16, 7)) + burst(0x0003, uint16_t(inner.size() * 8), inner) +
                       ac3Burst(noise(16, 8));
  const Bytes pausesOut =
      swapped(noise(16, 7), 16) + swapped(noise(8, 6), 8) + swapped(noise(16, 8), 16);
  const std::string pause = sjis("データタイプ: ポーズ\n");
  c.push_back({"pauses are reported, neither counted nor written", pauses, false,
               found(1, 0) + ac3 + pause + found(2, 48) + ac3 + summary(3, 40), pausesOut});
  c.push_back({"pauses, traced", pauses, true,
               readTrace(262144) + headerTrace(1, 16) + found(1, 0) + ac3 + writeTrace(16, 0) +
                   headerTrace(3, 24) + found(2, 32) + pause + headerTrace(1, 8) + found(2, 48) +
                   ac3 + writeTrace(8, 16) + headerTrace(1, 16) + found(3, 72) +
                   writeTrace(16, 24) + readTrace(262144) + summary(3, 40),
               pausesOut});

  const Bytes hidden = ac3Burst(noise(8, 9));
  c.push_back({"a header inside an extracted payload", ac3Burst(hidden), false,
               found(1, 0) + ac3 + summary(1, 24), swapped(hidden, 24)});

  const Bytes p = noise(4, 10);
  Bytes eight;
  for (int i = 0; i < 8; ++i) eight += swapped(p, 4);
  c.push_back({"labels at every change, and Null bursts",
               burst(0x0000, 0, "") + burst(0x0001, 32, p) + burst(0x0001, 32, p) +
                   burst(0x000A, 32, p) + burst(0x0E0E, 32, p) + burst(0x001F, 32, p) +
                   burst(0x0002, 32, p) + burst(0x000B, 32, p) + burst(0x0007, 32, p),
               false,
               found(1, 0) + dataType("Null burst") + ac3 +
                   // Types 10, 14 and 31 differ, though they share a label.
                   dataType("不明") + dataType("不明") + dataType("不明") +
                   dataType("タイムスタンプ") + dataType("dts-1 (512-sample bursts)") +
                   dataType("MPEG-2 AAC") + summary(9, 32),
               eight});

  // 1536 payload bytes, 1001 of them in the first block: 1000 written, one
  // held back as the first byte of a cut word.
  const size_t splitAt = kBlock - 16 - 1001;
  const Bytes p13 = noise(1536, 13);
  c.push_back({"a split payload", Bytes(splitAt, '\0') + ac3Burst(p13) + Bytes(100, '\0'), true,
               readTrace(262144) + headerTrace(1, 1536) + found(1, long(splitAt)) + ac3 +
                   writeTrace(1000, 0) + readTrace(262144 - 1) + remainingTrace(536, 1000) +
                   readTrace(262144 - 15) + summary(1, 1536),
               swapped(p13, 1536)});

  const Bytes p14 = noise(1536, 14);
  c.push_back({"a header ending at the block end writes nothing first",
               Bytes(kBlock - 16, '\0') + ac3Burst(p14), true,
               readTrace(262144) + headerTrace(1, 1536) + found(1, long(kBlock - 16)) + ac3 +
                   writeTrace(0, 0) + readTrace(262144) + remainingTrace(1536, 0) +
                   readTrace(262144) + summary(1, 1536),
               swapped(p14, 1536)});

  // The scan stopped 15 bytes before the end: those are carried.
  const Bytes p15 = noise(64, 15);
  c.push_back({"a header cut by the block end is found in the next pass",
               Bytes(kBlock - 10, '\0') + ac3Burst(p15), true,
               readTrace(262144) + readTrace(262144 - 15) + headerTrace(1, 64) +
                   found(1, long(kBlock - 10)) + ac3 + writeTrace(64, 0) + readTrace(262144) +
                   summary(1, 64),
               swapped(p15, 64)});

  // The payload ends 5 bytes before the end of the block.
  const Bytes p16 = noise(100, 16);
  const size_t tailAt = kBlock - 5 - 116;
  c.push_back({"the tail carried after a burst ending near the block end",
               Bytes(tailAt, '\0') + ac3Burst(p16) + Bytes(50, '\0'), true,
               readTrace(262144) + headerTrace(1, 100) + found(1, long(tailAt)) + ac3 +
                   writeTrace(100, 0) + readTrace(262139) + readTrace(262144 - 15) +
                   summary(1, 100),
               swapped(p16, 100)});

  const Bytes p17 = noise(1536, 17);
  const Bytes cut = ac3Burst(p17).substr(0, 16 + 700);
  c.push_back({"a payload cut within its header's block: no truncation line",
               Bytes(100, '\0') + cut, false, found(1, 100) + ac3 + summary(1, 700),
               swapped(p17, 700)});
  const size_t laterAt = kBlock - 16 - 200;
  c.push_back({"a payload cut in a later block: the truncation line first",
               Bytes(laterAt, '\0') + cut, true,
               readTrace(262144) + headerTrace(1, 1536) + found(1, long(laterAt)) + ac3 +
                   writeTrace(200, 0) + readTrace(262144) + kTruncated + remainingTrace(500, 200) +
                   readTrace(262144) + summary(1, 700),
               swapped(p17, 700)});

  // The header trace gives the length that the length code gives: in bytes
  // for E-AC-3, and with an MPEG frame's stuffing byte, which is not written.
  const Bytes eac3 = noise(10000, 20), mp2 = frame(523, mpeg(3, 2, 9, 0, 1));
  c.push_back({"length codes in bytes and a stuffing byte counted, traced",
               burst(0x0015, 10000, eac3) + burst(0x0005, 524 * 8, mp2), true,
               readTrace(262144) + headerTrace(0x15, 10000) + found(1, 0) + dataType("不明") +
                   writeTrace(10000, 0) + headerTrace(5, 524) + found(2, 10016) +
                   dataType("MPEG-1 Audio Layer-2") + writeTrace(523, 10000) + readTrace(262144) +
                   summary(2, 10523),
               swapped(eac3, 10000) + swapped(mp2, 523)});

  // 300,000 bytes: one full block, the 15 carried bytes and the rest, then the end.
  c.push_back({"a run without bursts", noise(300000, 19), true,
               readTrace(262144) + readTrace(262144 - 15) + readTrace(262144 - 15) + summary(0, 0),
               ""});
  return c;
}

TEST(Loop, OverTheProgramsBlocks) {
  for (const Case& c : cases()) {
    const LoopRun run = runLoop(c.data, kBlockSize, {}, c.diagnostic);
    EXPECT_EQ(run.result, ExtractResult::ended) << c.what;
    EXPECT_EQ(run.report, c.report) << c.what;
    EXPECT_EQ(run.output, c.output) << c.what;
  }
}

}  // namespace
