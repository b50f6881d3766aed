// Failing disks: reads and writes that fail part-way or come back short, a
// full device, failing seeks and a failing close. The faults are injected
// through sarvik_faulty, whose file seam tests/platform/faulty_file.cpp
// stands in for.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "reference_extractor.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// 40 AC-3 bursts of 1536 bytes every 6144 bytes: 245,760 data bytes.
Bytes ac3Stream(Bytes* expected) {
  Bytes data;
  for (int i = 0; i < 40; ++i) {
    Bytes payload = noise(1536, uint32_t(i));
    data += burst(0x0001, 0x3000, payload) + Bytes(6144 - 16 - 1536, '\0');
    *expected += swapped(payload, 1536);
  }
  return data;
}

// A read that fails part-way: the bytes before the failure are scanned, and
// their bursts written and reported, before the read error ends the run.
TEST(Faults, ReadFailingPartWayKeepsWhatWasWritten) {
  Bytes ignored;
  const Bytes data = ac3Stream(&ignored) + Bytes(300000, '\0');
  const Bytes wav = pcmWav(data);
  // In the zeros of the second block; inside a payload in the middle of the
  // first; within what the chunk walk reads ahead, at a burst's first byte.
  for (const long long failAt : {262144 + 100, 100000, 6144 * 3 + 20}) {
    const std::string fault = "SARVIK_FAIL_READ_AT=" + std::to_string(44 + failAt);
    const Expected before = reference(data.substr(0, size_t(failAt)), {failAt});
    Extraction e = extract(SARVIK_FAULTY, wav, {fault});
    EXPECT_EQ(e.run.status, 1) << fault;
    EXPECT_EQ(e.run.err, kReadError) << fault;
    EXPECT_EQ(e.output, before.output) << fault;
    // With both streams in one file, the report so far comes first.
    const TempDir dir;
    writeFile(dir / "in.wav", wav);
    RunOptions merged;
    merged.env = {fault};
    merged.errToOut = true;
    Outcome both = runProgram(SARVIK_FAULTY, {SARVIK_FAULTY, dir / "in.wav", dir / "out"}, merged);
    EXPECT_EQ(both.out, before.report + kReadError) << fault;
  }
  // Failing inside the chunk walk is a failure to open.
  Extraction early = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_READ_AT=20"});
  EXPECT_EQ(early.run.status, 1);
  EXPECT_EQ(early.run.err, kInputNotOpened);
}

// Reads and writes that the system cuts short or interrupts are continued:
// the run is the same as without them. A burst straddles the end of the
// fourth block.
TEST(Faults, ShortAndInterruptedReadsAndWritesAreContinued) {
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
      {"SARVIK_INTERRUPT=1"},
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
  EXPECT_EQ(full.run.status, 1);
  EXPECT_EQ(full.run.err, kWriteError);
  EXPECT_EQ(full.output, expected.substr(0, 5000));  // what the disk took stays
  // The summary is printed only after everything reached the file.
  EXPECT_EQ(full.run.out.find(summary(40, 61440)), std::string::npos);

  Extraction stuck = extract(SARVIK_FAULTY, wav, {"SARVIK_WRITE_NO_PROGRESS=1"});
  EXPECT_EQ(stuck.run.status, 1);
  EXPECT_EQ(stuck.run.err, kWriteError);

  Extraction close = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_CLOSE=1"});
  EXPECT_EQ(close.run.status, 1);
  EXPECT_EQ(close.run.err, kWriteError);
}

TEST(Faults, FailedSeeks) {
  // The chunk walk never seeks to the first data byte (offset 44); only the
  // driver's seekData(0) does.
  Bytes expected;
  Extraction e = extract(SARVIK_FAULTY, pcmWav(ac3Stream(&expected)), {"SARVIK_FAIL_SEEK_TO=44"});
  EXPECT_EQ(e.run.status, 1);
  EXPECT_EQ(e.run.err, kReadError);
  EXPECT_EQ(e.run.out, "");
  // A chunk larger than the walk reads ahead makes it seek to the next
  // header, at 12 + 24 + 8 + 70000: failing there fails the open.
  const Bytes wav = riffWave(chunk("fmt ", fmtBody(1, 2, 16)) + chunk("JUNK", Bytes(70000, 'j')) +
                             chunk("data", ac3Stream(&expected)));
  Extraction walk = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_SEEK_TO=70044"});
  EXPECT_EQ(walk.run.status, 1);
  EXPECT_EQ(walk.run.err, kInputNotOpened);
  EXPECT_EQ(extract(SARVIK_FAULTY, wav).run.status, 0);
}

// A capture cut short while the run reads it, from another thread: the data
// ends at the new end of the file, as the read there ends it. What was
// written is the stream's output so far, at least up to the new end.
TEST(Faults, InputCutWhileTheRunReadsIt) {
  std::vector<Bytes> payloads;
  for (uint32_t i = 0; i < 8; ++i) payloads.push_back(noise(6000, i));
  Bytes data;
  Bytes full;
  for (uint32_t i = 0; data.size() < (32u << 20); ++i) {
    data += burst(0x0001, 6000 * 8, payloads[i % 8]) + Bytes(128, '\0');
    full += swapped(payloads[i % 8], 6000);
  }
  const long long cutAt = 44 + (16LL << 20) + 1234;
  const Bytes expected = reference(data.substr(0, size_t(cutAt - 44)), {cutAt - 44}).output;
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(data));
  RunOptions slowed;  // small writes, so that the cut comes while the run goes on
  slowed.env = {"SARVIK_WRITE_CHUNK=4096"};
  Outcome run;
  std::atomic<bool> ended{false};
  std::thread program([&] {
    run = runProgram(SARVIK_FAULTY, {SARVIK_FAULTY, dir / "in.wav", dir / "out"}, slowed);
    ended = true;
  });
  while (!ended && (!exists(dir / "out") || std::filesystem::file_size(dir / "out") < (1u << 20))) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::filesystem::resize_file(dir / "in.wav", uintmax_t(cutAt));
  program.join();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const Bytes out = readFile(dir / "out");
  EXPECT_GE(out.size(), expected.size());
  EXPECT_LT(out.size(), full.size()) << "the cut came after the run";
  EXPECT_EQ(full.compare(0, out.size(), out), 0);
}

TEST(Faults, FullDevice) {
#ifdef _WIN32
  GTEST_SKIP() << "no full device here; write failures are injected through the file seam";
#endif
  Bytes expected;
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(ac3Stream(&expected)));
  for (const char* program : {SARVIK, SARVIKD}) {
    Outcome run = runProgram(program, {program, dir / "in.wav", "/dev/full"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, kWriteError);
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
  writeFile(program, readFile(SARVIK));
  chmod(program.c_str(), 0755);
  writeFile(dir / "in.wav", pcmWav(Bytes(64, '\0')));
  chmod((dir / "in.wav").c_str(), 0);
  RunOptions asUser;
  asUser.uid = user;
  Outcome unreadable = runProgram(program, {program, dir / "in.wav", dir / "out"}, asUser);
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(unreadable.err, kInputNotOpened);

  chmod((dir / "in.wav").c_str(), 0644);
  mkdir((dir / "ro").c_str(), 0555);
  Outcome readOnly = runProgram(program, {program, dir / "in.wav", dir / "ro/out"}, asUser);
  EXPECT_EQ(readOnly.status, 1);
  EXPECT_EQ(readOnly.err, kOutputNotCreated);
#endif
}

}  // namespace
