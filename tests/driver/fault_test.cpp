// Failing disks: reads and writes that fail part-way or come back short, a
// full device, failing seeks and a failing close. The faults are injected
// through sarvik_faulty, whose file seam tests/platform/faulty_file.cpp
// stands in for.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "loop_runner.h"
#include "reference_extractor.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// 40 AC-3 bursts of 1536 bytes every 6144 bytes: 245,760 data bytes.
Bytes ac3Stream(Bytes* expected) { return testsupport::ac3Stream(40, 1536, 6144, expected); }

// A read that meets an error fails its whole block, even where part of the
// block arrived (a bad sector): what the blocks before it held is written
// and reported, and nothing of that block, not even a truncation line.
TEST(Faults, AReadErrorFailsItsWholeBlock) {
  Bytes ignored;
  Bytes data = ac3Stream(&ignored);
  // A payload split by the end of the first block, the rest in the second.
  data.resize(261144, '\0');
  data += ac3Burst(noise(1536, 7)) + Bytes(300000, '\0');
  const Bytes wav = pcmWav(data);
  const struct {
    long long failAt;     // stream offset of the failing byte
    long long blocksEnd;  // stream offset where the blocks read in full end
  } cases[] = {{262144 + 200, 262144}, {100000, 0}, {2 * 262144 - 1, 262144}};
  for (const auto& c : cases) {
    const std::string fault = "SARVIK_FAIL_READ_AT=" + std::to_string(44 + c.failAt);
    const Expected before = reference(data.substr(0, size_t(c.blocksEnd)), {c.blocksEnd});
    Extraction e = extract(SARVIK_FAULTY, wav, {fault});
    EXPECT_EQ(failure(e.run), kReadError) << fault;
    EXPECT_EQ(e.run.out, before.report) << fault;
    EXPECT_EQ(e.output, before.output) << fault;
    // With both streams in one file, the report so far comes first.
    const TempDir dir;
    writeFile(dir / "in.wav", wav);
    RunOptions merged;
    merged.env = {fault};
    merged.errToOut = true;
    Outcome both = runOn(SARVIK_FAULTY, dir / "in.wav", dir / "out", merged);
    EXPECT_EQ(both.out, before.report + kReadError) << fault;
  }
}

// Failing reads and seeks while the chunks are walked, before, at and after
// the data chunk: the input cannot be opened, and an existing output is
// left as it was.
TEST(Faults, TheChunkWalkFailing) {
  Bytes ignored;
  const Bytes data = ac3Stream(&ignored);
  const Bytes fmt = chunk("fmt ", fmtBody(1, 2, 16));
  // The data chunk, and a chunk after it larger than the walk reads ahead.
  const Bytes dataFirst = riffWave(fmt + chunk("data", data) + chunk("LIST", Bytes(70000, 'l')));
  const std::string afterData = std::to_string(44 + data.size());
  // Before the data chunk, a chunk larger than the walk reads ahead.
  const Bytes junkFirst = riffWave(fmt + chunk("JUNK", Bytes(70000, 'j')) + chunk("data", data));
  const struct {
    const Bytes& wav;
    std::string fault;
  } cases[] = {
      {dataFirst, "SARVIK_FAIL_READ_AT=20"},
      {dataFirst, "SARVIK_FAIL_READ_AT=" + std::to_string(44 + 6144 * 3 + 20)},
      {dataFirst, "SARVIK_FAIL_SEEK_TO=" + afterData},
      {dataFirst, "SARVIK_FAIL_READ_AT=" + afterData},
      {junkFirst, "SARVIK_FAIL_SEEK_TO=70044"},
      // Where the walk ends: the position it leaves.
      {dataFirst, "SARVIK_FAIL_SEEK_TO=" + std::to_string(dataFirst.size())},
  };
  for (const auto& c : cases) {
    Extraction e = extract(SARVIK_FAULTY, c.wav, {c.fault});
    EXPECT_EQ(failure(e.run), kInputNotOpened) << c.fault;
    EXPECT_EQ(e.output, "old") << c.fault;
    EXPECT_EQ(extract(SARVIK_FAULTY, c.wav).run.status, 0) << c.fault;
  }
}

// Each block of a run, failing in turn: the memory message, and an existing
// output left as it was; past the last block the run succeeds.
TEST(Faults, EveryAllocationOfARunCanFail) {
  Bytes expected;
  const Bytes wav = pcmWav(ac3Stream(&expected));
  int n = 1;
  for (; n < 64; ++n) {
    Extraction e = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_ALLOCATION=" + std::to_string(n)});
    if (e.run.status == 0) {
      EXPECT_EQ(e.output, expected);
      break;
    }
    EXPECT_EQ(failure(e.run), kOutOfMemory) << n;
    EXPECT_EQ(e.run.out, "") << n;
    EXPECT_EQ(e.output, "old") << n;
  }
  // The reader, its read-ahead, the format and its copy, the read buffer,
  // the output with its buffers: six blocks.
  EXPECT_EQ(n, 7);
}

#ifdef _WIN32
// Ctrl+C, Ctrl+Break and a closed console, as the seam hands them over.
const int kInterrupts[] = {0, 1, 2};
bool endedBy(const Outcome& run, int) { return run.status == int(0xC000013A); }
#else
const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
bool endedBy(const Outcome& run, int sent) { return run.signal == sent; }
#endif

// An interrupt stops the run at the next block: every payload extracted
// from the blocks read is written, the block being read when it came
// included, and the process ends by the interrupt. Nothing more is printed:
// no summary, no message, no trace of a read that is not made. A second one
// ends the process at once; one that comes while the chunks are walked
// leaves every file as it was, whatever the input turns out to be.
TEST(Faults, AnInterruptKeepsWhatWasExtracted) {
  Bytes data = testsupport::ac3Stream(400, 1536, 6144);
  // Zeros to the end of a read that the data fills to the byte: the read
  // after it is the one that finds the end.
  data += Bytes(2 * size_t(kBlockSize), '\0');
  std::vector<long long> ends = runLoop(data, kBlockSize).readEnds;
  data.resize(size_t(ends[ends.size() - 2]));
  ends.pop_back();
  const Bytes wav = pcmWav(data);
  const std::string inFourth = std::to_string(44 + 3 * 262144 + 5000);
  const Bytes kept = data.substr(0, size_t(ends[3]));
  const Expected fourth = reference(kept, {ends[3]});
  const Expected first = reference(data.substr(0, size_t(ends[0])), {ends[0]});
  const Expected all = reference(data, ends);
  // sarvikd: the trace up to the read after the first or the fourth block,
  // which is not made, and the whole trace but the summary.
  auto traceTo = [&](long long end) {
    const std::string trace = runLoop(data.substr(0, size_t(end)), kBlockSize, {}, true).report;
    return trace.substr(0, trace.rfind("read data: "));
  };
  std::string allTrace = runLoop(data, kBlockSize, {}, true).report;
  allTrace.resize(allTrace.size() - all.summary.size());
  const Bytes fmt = chunk("fmt ", fmtBody(1, 2, 16));
  const Bytes mono = riffWave(chunk("fmt ", fmtBody(1, 1, 16)) + chunk("data", data));
  const Bytes noData = riffWave(fmt + chunk("LIST", data));
  const Bytes notRiff = "not a RIFF file" + data;
  const Bytes zeros(1 << 20, '\0');
  const std::string past = "1000000000000";  // reached only by the read that finds the end
  const int c = kInterrupts[0];
  const struct {
    const char* program;
    const Bytes& wav;
    std::string at;  // empty: while the report's first line waits on a held terminal
    int sent;
    Bytes output;
    std::string report;
    const char* then = "";  // the signals after the first, where not the same
  } rows[] = {
      {SARVIK_FAULTY, wav, inFourth, kInterrupts[0], fourth.output, fourth.report},
      {SARVIK_FAULTY, wav, inFourth, kInterrupts[1], fourth.output, fourth.report},
      {SARVIK_FAULTY, wav, inFourth, kInterrupts[2], fourth.output, fourth.report},
      {SARVIKD_FAULTY, wav, inFourth, c, fourth.output, traceTo(ends[3])},
      // During the last read, which finds the end.
      {SARVIK_FAULTY, wav, past, c, all.output, all.report},
      {SARVIKD_FAULTY, wav, past, c, all.output, allTrace},
      // A second one: nothing had been handed to the file yet, and the
      // report was still in the stream's buffer.
      {SARVIK_FAULTY, wav, inFourth + "," + inFourth, kInterrupts[0], "", ""},
      {SARVIK_FAULTY, wav, inFourth + "," + inFourth, kInterrupts[1], "", ""},
      // While the chunks are walked, of an input taken or refused.
      {SARVIK_FAULTY, wav, "100", kInterrupts[1], "old", ""},
      {SARVIK_FAULTY, notRiff, "100", c, "old", ""},
      {SARVIK_FAULTY, noData, "100", c, "old", ""},
      {SARVIKD_FAULTY, mono, "100", c, "old", ""},
      // A walk over 1 MiB of zeros, 64 KiB a read, reads no more: a read
      // past its first would end the process by SIGKILL.
      {SARVIK_FAULTY, zeros, "1,300000", c, "old", "", ",9"},
#ifndef _WIN32
      // The write that waits (a slow reader, Ctrl+S) goes on: not a byte of
      // the report is lost. The block read after it, as traced, is scanned.
      {SARVIKD_FAULTY, wav, "", SIGINT, first.output, traceTo(ends[0])},
#endif
  };
  for (const auto& row : rows) {
    const std::string what =
        std::string(row.program) + " at " + row.at + " by " + std::to_string(row.sent);
    RunOptions held;
    if (row.at.empty()) {
      if (kEmulated) continue;  // /proc shows the emulator's calls
      held.terminal = 1;
      held.signalInWrite = row.sent;
    }
    const Extraction e =
        extract(row.program, row.wav,
                {"SARVIK_SIGNAL_AT=" + row.at,
                 "SARVIK_SIGNAL=" + std::to_string(row.sent) + row.then, "LC_ALL=C"},
                held);
    EXPECT_TRUE(endedBy(e.run, row.sent)) << what << ": " << e.run.status << " " << e.run.signal;
    EXPECT_EQ(e.run.out, row.report) << what;
    EXPECT_EQ(e.run.err, "") << what;
    EXPECT_EQ(e.output, row.output) << what;
  }
}

// Reads and writes that the system cuts short are continued: the run is the
// same as without them. A burst straddles the end of the
// fourth block.
TEST(Faults, ShortReadsAndWritesAreContinued) {
  Bytes expected;
  Bytes data = ac3Stream(&expected);
  data.resize((1 << 20) - 1000, '\0');
  const Bytes payload = noise(1536, 99);
  data += burst(0x0001, 0x3000, payload) + noise(30001, 40);
  expected += swapped(payload, 1536);
  const Bytes wav = pcmWav(data);
  const Extraction plain = extract(SARVIK, wav);
  ASSERT_EQ(plain.output, expected);
  const std::vector<std::vector<std::string>> faults = {
      {"SARVIK_READ_CHUNK=7"},
      {"SARVIK_READ_CHUNK=4099"},
      {"SARVIK_WRITE_CHUNK=1"},
      {"SARVIK_WRITE_CHUNK=1000"},
      // A capture still being recorded, read while it grows: a block of 10
      // bytes holds the middle of a header, sync words included. (The
      // chunk walk reads the first 64 KiB ahead; this lies past them.)
      {"SARVIK_ENDS_AT=" + std::to_string(44 + 6144 * 11 + 2) + "," +
       std::to_string(44 + 6144 * 11 + 12)},
      // A run that "lasts" a second a block: its progress line never
      // reaches a file.
      {"SARVIK_CLOCK_STEP=1000"},
  };
  for (const auto& fault : faults) {
    Extraction e = extract(SARVIK_FAULTY, wav, fault);
    EXPECT_EQ(e.run.status, 0) << fault[0];
    EXPECT_EQ(e.run.err, "") << fault[0];
    EXPECT_EQ(e.run.out, plain.run.out) << fault[0];
    EXPECT_EQ(e.output, expected) << fault[0];
  }
}

TEST(Faults, WriteFailuresAreReported) {
  Bytes expected;
  const Bytes wav = pcmWav(ac3Stream(&expected));
  Extraction full = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_WRITE_AT=5000"});
  EXPECT_EQ(failure(full.run), kWriteError);
  EXPECT_EQ(full.output, expected.substr(0, 5000));  // what the disk took stays
  // The summary is printed only after everything reached the file.
  EXPECT_EQ(full.run.out.find(summary(40, 61440)), std::string::npos);

  Extraction stuck = extract(SARVIK_FAULTY, wav, {"SARVIK_WRITE_NO_PROGRESS=1"});
  EXPECT_EQ(failure(stuck.run), kWriteError);

  Extraction close = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_CLOSE=1"});
  EXPECT_EQ(failure(close.run), kWriteError);
}

// Only the driver's seekData(0) seeks to the first data byte (offset 44):
// the chunk walk reads the header before it.
TEST(Faults, AFailedSeekToTheDataIsAReadError) {
  Bytes expected;
  Extraction e = extract(SARVIK_FAULTY, pcmWav(ac3Stream(&expected)), {"SARVIK_FAIL_SEEK_TO=44"});
  EXPECT_EQ(failure(e.run), kReadError);
  EXPECT_EQ(e.run.out, "");
}

// A capture cut short after it was opened (SARVIK_ENDS_AT twice at the cut:
// the block that reaches it ends there, and the next read gives nothing):
// the data ends at the cut, as any end of the data, with a truncation line
// for the payload that the cut ran into.
TEST(Faults, AnInputCutAfterItWasOpened) {
  Bytes data;
  for (uint32_t i = 0; data.size() < (4u << 20); ++i) {
    data += burst(0x0001, 6000 * 8, noise(6000, i)) + Bytes(128, '\0');
  }
  const long long cut =
      (2LL << 20) + 1234;  // inside a payload whose header came in the block before
  const Bytes kept = data.substr(0, size_t(cut));
  const Expected expected = reference(kept, runLoop(kept, 0x40000).readEnds);
  Extraction e =
      extract(SARVIK_FAULTY, pcmWav(data),
              {"SARVIK_ENDS_AT=" + std::to_string(44 + cut) + "," + std::to_string(44 + cut)});
  EXPECT_EQ(e.run.status, 0);
  EXPECT_EQ(e.run.err, "");
  EXPECT_EQ(e.run.out, expected.report + expected.summary);
  EXPECT_EQ(e.output, expected.output);
  EXPECT_NE(expected.report.find(kTruncated), std::string::npos);
}

TEST(Faults, FullDevice) {
#ifdef _WIN32
  GTEST_SKIP() << "no full device here; write failures are injected through the file seam";
#endif
  Bytes expected;
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(ac3Stream(&expected)));
  for (const char* program : {SARVIK, SARVIKD}) {
    Outcome run = runOn(program, dir / "in.wav", "/dev/full");
    EXPECT_EQ(failure(run), kWriteError);
  }
}

// Run as an unprivileged user: permissions do not bind root. The program is
// copied where that user can run it.
TEST(Faults, UnreadableInputAndReadOnlyOutputDirectory) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine does not enforce file permissions";
#else
  const int user = geteuid() == 0 ? 65534 : -1;
  const TempDir dir;
  chmod(dir.path().c_str(), 0777);
  const std::string program = dir / "sarvik";
  copyProgram(SARVIK, program);
  writeFile(dir / "in.wav", pcmWav(Bytes(64, '\0')));
  chmod((dir / "in.wav").c_str(), 0);
  RunOptions asUser;
  asUser.uid = user;
  Outcome unreadable = runOn(program, dir / "in.wav", dir / "out", asUser);
  EXPECT_EQ(failure(unreadable), kInputNotOpened);

  chmod((dir / "in.wav").c_str(), 0644);
  mkdir((dir / "ro").c_str(), 0555);
  Outcome readOnly = runOn(program, dir / "in.wav", dir / "ro/out", asUser);
  EXPECT_EQ(failure(readOnly), kOutputNotCreated);
#endif
}

}  // namespace
