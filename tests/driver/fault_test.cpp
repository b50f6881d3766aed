// Failing disks: reads and writes that fail part-way, writes the system takes
// only in part, a full device and a failing close. The faults are injected
// through sarvik_faulty, whose system calls tests/platform/failing_io.cpp
// stands in for.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

using namespace testsupport;

namespace {

const std::string kReadError = sjis("読み取りエラーです\n");
const std::string kWriteError = sjis("書き込みエラーです\n");

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

TEST(Faults, ReadFailingPartWayKeepsWhatWasWritten) {
  Bytes expected;
  const Bytes wav = pcmWav(ac3Stream(&expected) + Bytes(300000, '\0'));
  // The header walk reads 36 bytes before the data; the first block then
  // holds 262,144 data bytes (all 40 bursts) and the second read fails.
  Extraction e =
      extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_READ_AT=" + std::to_string(36 + 262144 + 100)});
  EXPECT_EQ(e.run.status, 1);
  EXPECT_EQ(e.run.err, kReadError);
  EXPECT_EQ(e.output, expected);
  // Failing inside the chunk walk is a failure to open.
  Extraction early = extract(SARVIK_FAULTY, wav, {"SARVIK_FAIL_READ_AT=20"});
  EXPECT_EQ(early.run.status, 1);
  EXPECT_EQ(early.run.err, sjis("読み取りファイルが開けませんでした。\n"));
}

TEST(Faults, PartialWritesAreCompleted) {
  Bytes expected;
  const Bytes wav = pcmWav(ac3Stream(&expected));
  for (const char* chunk : {"SARVIK_WRITE_CHUNK=1", "SARVIK_WRITE_CHUNK=1000"}) {
    Extraction e = extract(SARVIK_FAULTY, wav, {chunk});
    EXPECT_EQ(e.run.status, 0) << chunk;
    EXPECT_EQ(e.run.err, "");
    EXPECT_EQ(e.output, expected);
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

TEST(Faults, FailedSeekToTheDataIsAReadError) {
  // The chunk walk never seeks to the first data byte (offset 44); only the
  // driver's seekData(0) does.
  Bytes expected;
  Extraction e = extract(SARVIK_FAULTY, pcmWav(ac3Stream(&expected)), {"SARVIK_FAIL_SEEK_TO=44"});
  EXPECT_EQ(e.run.status, 1);
  EXPECT_EQ(e.run.err, kReadError);
  EXPECT_EQ(e.run.out, "");
}

TEST(Faults, FullDevice) {
  Bytes expected;
  const std::string dir = tempDir();
  writeFile(dir + "/in.wav", pcmWav(ac3Stream(&expected)));
  for (const char* program : {SARVIK, SARVIKD}) {
    Outcome run = runProgram(program, {program, dir + "/in.wav", "/dev/full"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, kWriteError);
  }
}

// Run as an unprivileged user: permissions do not bind root.
TEST(Faults, UnreadableInputAndReadOnlyOutputDirectory) {
  const int user = geteuid() == 0 ? 65534 : -1;
  const std::string dir = tempDir();
  chmod(dir.c_str(), 0777);
  writeFile(dir + "/in.wav", pcmWav(Bytes(64, '\0')));
  chmod((dir + "/in.wav").c_str(), 0);
  Outcome unreadable = runProgram(SARVIK, {SARVIK, dir + "/in.wav", dir + "/out"}, {}, user);
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(unreadable.err, sjis("読み取りファイルが開けませんでした。\n"));

  chmod((dir + "/in.wav").c_str(), 0644);
  mkdir((dir + "/ro").c_str(), 0555);
  Outcome readOnly = runProgram(SARVIK, {SARVIK, dir + "/in.wav", dir + "/ro/out"}, {}, user);
  EXPECT_EQ(readOnly.status, 1);
  EXPECT_EQ(readOnly.err, sjis("書き込みファイルが開けませんでした。\n"));
}

}  // namespace
