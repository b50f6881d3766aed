// The extraction loop, run through the built programs: headers at every kind
// of position, cuts by the programs' block ends, odd lengths, pauses, types,
// truncation, and the diagnostic trace of sarvikd line by line.
#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"

using namespace testsupport;

namespace {

constexpr size_t kBlock = 262144;

std::string dataType(const std::string& label) { return sjis("データタイプ: " + label + "\n"); }
const std::string kTruncated = sjis("最終フレームは途切れています。\n");

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

Extraction run(const char* program, const Bytes& data) {
  Extraction e = extract(program, pcmWav(data));
  EXPECT_EQ(e.run.status, 0);
  EXPECT_EQ(e.run.err, "");
  return e;
}

TEST(Headers, TwoAc3BurstsInOneBlock) {
  const Bytes p1 = noise(1536, 1), p2 = noise(1536, 2);
  const Bytes data =
      ac3Burst(p1) + Bytes(6144 - 16 - 1536, '\0') + ac3Burst(p2) + Bytes(3000, '\0');
  Extraction normal = run(SARVIK, data);
  EXPECT_EQ(normal.run.out, found(1, 0) + dataType("Dolby Digital (AC-3)") + summary(2, 3072));
  EXPECT_EQ(normal.output, swapped(p1, 1536) + swapped(p2, 1536));

  // The scan ends 15 bytes before the end of the first block.
  Extraction diagnostic = run(SARVIKD, data);
  EXPECT_EQ(diagnostic.run.out, readTrace(262144) + headerTrace(0x0001, 1536) + found(1, 0) +
                                    dataType("Dolby Digital (AC-3)") + writeTrace(1536, 0) +
                                    headerTrace(0x0001, 1536) + found(2, 6144) +
                                    writeTrace(1536, 1536) + readTrace(262144 - 15) +
                                    summary(2, 3072));
  EXPECT_EQ(diagnostic.output, normal.output);
}

TEST(Headers, PreambleNeedsEightZeroBytesBeforeIt) {
  const Bytes payload = noise(32, 3);
  Bytes bare = ac3Burst(payload).substr(8);
  EXPECT_EQ(run(SARVIK, bare).run.out, summary(0, 0));
  Extraction e = run(SARVIK, ac3Burst(payload));
  EXPECT_EQ(e.run.out, found(1, 0) + dataType("Dolby Digital (AC-3)") + summary(1, 32));
  // A non-zero byte anywhere among the eight hides the header.
  for (size_t i = 0; i < 8; ++i) {
    Bytes spoiled = ac3Burst(payload);
    spoiled[i] = 1;
    EXPECT_EQ(run(SARVIK, spoiled).run.out, summary(0, 0)) << i;
  }
}

TEST(Headers, OddOffsetsAndOddLengths) {
  const Bytes payload = noise(512, 4);  // 511 bytes and the filler
  const Bytes data = Bytes(3, '\x05') + burst(0x0001, 0x0FF8, payload) + ac3Burst(noise(4, 5));
  Extraction e = run(SARVIK, data);
  EXPECT_EQ(e.run.out, found(1, 3) + dataType("Dolby Digital (AC-3)") + summary(2, 515));
  EXPECT_EQ(e.output, swapped(payload, 511) + swapped(noise(4, 5), 4));
  EXPECT_EQ(e.output[510], payload[511]);  // the high byte of the 256th word
}

TEST(Headers, PausesAreReportedButNeitherCountedNorWritten) {
  // A header pattern inside a pause payload is found: the scan walks through it.
  const Bytes inner = ac3Burst(noise(8, 6));
  const Bytes data = ac3Burst(noise(16, 7)) + burst(0x0003, uint16_t(inner.size() * 8), inner) +
                     ac3Burst(noise(16, 8));
  Extraction e = run(SARVIK, data);
  const std::string ac3Label = dataType("Dolby Digital (AC-3)");
  EXPECT_EQ(e.run.out, found(1, 0) + ac3Label + sjis("データタイプ: ポーズ\n") + found(2, 48) +
                           ac3Label + summary(3, 40));
  EXPECT_EQ(e.output,
            swapped(noise(16, 7), 16) + swapped(noise(8, 6), 8) + swapped(noise(16, 8), 16));

  Extraction d = run(SARVIKD, data);
  EXPECT_EQ(d.run.out, readTrace(262144) + headerTrace(1, 16) + found(1, 0) + ac3Label +
                           writeTrace(16, 0) + headerTrace(3, 24) + found(2, 32) +
                           sjis("データタイプ: ポーズ\n") + headerTrace(1, 8) + found(2, 48) +
                           ac3Label + writeTrace(8, 16) + headerTrace(1, 16) + found(3, 72) +
                           writeTrace(16, 24) + readTrace(262144) + summary(3, 40));
}

TEST(Headers, HeaderInsideAnExtractedPayloadIsNotFound) {
  const Bytes inner = ac3Burst(noise(8, 9));
  Extraction e = run(SARVIK, ac3Burst(inner));
  EXPECT_EQ(e.run.out, found(1, 0) + dataType("Dolby Digital (AC-3)") + summary(1, 24));
}

TEST(Types, LabelsAtEveryChangeAndNullBursts) {
  const Bytes p = noise(4, 10);
  const Bytes data = burst(0x0000, 0, "") + burst(0x0001, 32, p) + burst(0x0001, 32, p) +
                     burst(0x000A, 32, p) + burst(0x0E0E, 32, p) + burst(0x001F, 32, p) +
                     burst(0x0002, 32, p) + burst(0x000B, 32, p) + burst(0x0007, 32, p);
  Extraction e = run(SARVIK, data);
  EXPECT_EQ(e.run.out, found(1, 0) + dataType("Null burst") + dataType("Dolby Digital (AC-3)") +
                           // Types 10, 14 and 31 differ, though they share a label.
                           dataType("不明") + dataType("不明") + dataType("不明") +
                           dataType("タイムスタンプ") + dataType("dts-1 (512-sample bursts)") +
                           dataType("MPEG-2 AAC") + summary(9, 32));
  Bytes expected;
  for (int i = 0; i < 8; ++i) expected += swapped(p, 4);
  EXPECT_EQ(e.output, expected);
}

TEST(BlockEnds, SplitPayloadTrace) {
  // 1536 payload bytes, 1001 of them in the first block: 1000 written, one
  // held back as the first byte of a cut word.
  const size_t start = kBlock - 16 - 1001;
  const Bytes payload = noise(1536, 13);
  const Bytes data = Bytes(start, '\0') + ac3Burst(payload) + Bytes(100, '\0');
  Extraction d = run(SARVIKD, data);
  EXPECT_EQ(d.run.out, readTrace(262144) + headerTrace(1, 1536) + found(1, long(start)) +
                           dataType("Dolby Digital (AC-3)") + writeTrace(1000, 0) +
                           readTrace(262144 - 1) + remainingTrace(536, 1000) +
                           readTrace(262144 - 15) + summary(1, 1536));
  EXPECT_EQ(d.output, swapped(payload, 1536));
}

TEST(BlockEnds, HeaderEndingAtTheBlockEndWritesNothingFirst) {
  const Bytes payload = noise(1536, 14);
  const Bytes data = Bytes(kBlock - 16, '\0') + ac3Burst(payload);
  Extraction d = run(SARVIKD, data);
  EXPECT_EQ(d.run.out, readTrace(262144) + headerTrace(1, 1536) + found(1, long(kBlock - 16)) +
                           dataType("Dolby Digital (AC-3)") + writeTrace(0, 0) + readTrace(262144) +
                           remainingTrace(1536, 0) + readTrace(262144) + summary(1, 1536));
}

TEST(BlockEnds, HeaderCutByTheBlockEndIsFoundInTheNextPass) {
  const Bytes payload = noise(64, 15);
  const size_t start = kBlock - 10;
  Extraction d = run(SARVIKD, Bytes(start, '\0') + ac3Burst(payload));
  // The scan stopped 15 bytes before the end: those are carried.
  EXPECT_EQ(d.run.out, readTrace(262144) + readTrace(262144 - 15) + headerTrace(1, 64) +
                           found(1, long(start)) + dataType("Dolby Digital (AC-3)") +
                           writeTrace(64, 0) + readTrace(262144) + summary(1, 64));
}

TEST(BlockEnds, CarriedTailAfterABurstEndingNearTheBlockEnd) {
  // The payload ends 5 bytes before the end of the block.
  const Bytes payload = noise(100, 16);
  const size_t start = kBlock - 5 - 116;
  Extraction d = run(SARVIKD, Bytes(start, '\0') + ac3Burst(payload) + Bytes(50, '\0'));
  EXPECT_EQ(d.run.out, readTrace(262144) + headerTrace(1, 100) + found(1, long(start)) +
                           dataType("Dolby Digital (AC-3)") + writeTrace(100, 0) +
                           readTrace(262139) + readTrace(262144 - 15) + summary(1, 100));
}

TEST(Truncation, PayloadRunningPastTheEnd) {
  const Bytes payload = noise(1536, 17);
  // Cut within the header's own block: the part present, no truncation line.
  Extraction same = run(SARVIK, Bytes(100, '\0') + ac3Burst(payload).substr(0, 16 + 700));
  EXPECT_EQ(same.run.out, found(1, 100) + dataType("Dolby Digital (AC-3)") + summary(1, 700));
  EXPECT_EQ(same.output, swapped(payload, 700));

  // Cut in the block after the header's: the truncation line comes first.
  const size_t start = kBlock - 16 - 200;
  Extraction later = run(SARVIKD, Bytes(start, '\0') + ac3Burst(payload).substr(0, 16 + 700));
  EXPECT_EQ(later.run.out, readTrace(262144) + headerTrace(1, 1536) + found(1, long(start)) +
                               dataType("Dolby Digital (AC-3)") + writeTrace(200, 0) +
                               readTrace(262144) + kTruncated + remainingTrace(500, 200) +
                               readTrace(262144) + summary(1, 700));
  EXPECT_EQ(later.output, swapped(payload, 700));
}

TEST(Traces, RunWithoutBursts) {
  Extraction d = run(SARVIKD, noise(300000, 19));
  // 300,000 bytes: one full block, the 15 carried bytes and the rest, then the end.
  EXPECT_EQ(d.run.out,
            readTrace(262144) + readTrace(262144 - 15) + readTrace(262144 - 15) + summary(0, 0));
  EXPECT_EQ(d.output, "");
}

TEST(Chunks, BurstsAfterTheDataChunkAreExtractedToo) {
  const Bytes payload = noise(32, 18);
  const Bytes wav = riffWave(chunk("fmt ", fmtBody(1, 2, 16)) + chunk("data", Bytes(7, '\0')) +
                             chunk("LIST", ac3Burst(payload)));
  Extraction e = extract(SARVIK, wav);
  // Offset: 7 data bytes, the pad byte, then the LIST header.
  EXPECT_EQ(e.run.out, found(1, 16) + dataType("Dolby Digital (AC-3)") + summary(1, 32));
  EXPECT_EQ(e.output, swapped(payload, 32));
}

}  // namespace
