// The programs in the surroundings a user gives them on POSIX, set up by
// bash as a user would: closed standard descriptors, pipes whose reader
// quits, resource limits. A clear message or a complete run, never a hang, a
// silent death or a destroyed file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

using namespace testsupport;

namespace {

// Pause and AC-3 burst pairs: every AC-3 header is reported again, so the
// report runs far past 4 KiB, and the output is 1,536,000 bytes.
struct Capture {
  Bytes wav;
  Bytes output;
  std::string report;
};
const Capture& many() {
  static Capture c;
  if (!c.wav.empty()) return c;
  Bytes data;
  for (uint32_t i = 0; i < 1000; ++i) {
    const Bytes payload = noise(1536, i);
    data += burst(0x0003, 0, "") + burst(0x0001, 0x3000, payload);
    c.output += swapped(payload, 1536);
  }
  c.wav = pcmWav(data);
  return c;
}

// Runs the bash command with $0 the program, $1 the input and $2 the output.
Outcome shell(const std::string& command, const std::string& program, const TempDir& dir,
              const RunOptions& options = {}) {
  return runProgram("/bin/bash", {"/bin/bash", "-c", command, program, dir / "in.wav", dir / "o"},
                    options);
}

TEST(Surroundings, ClosedStandardDescriptorsNeverTakeTheFiles) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  for (const char* closing : {"<&- >&-", "<&- >&- 2>&-", ">&-"}) {
    Outcome run = shell(std::string("\"$0\" \"$1\" \"$2\" ") + closing, SARVIK, dir);
    EXPECT_EQ(run.status, 0) << closing;
    EXPECT_EQ(readFile(dir / "o"), c.output) << closing;
  }
}

TEST(Surroundings, AReportReaderThatQuitsLeavesTheOutputComplete) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  for (const char* program : {SARVIK, SARVIKD}) {
    for (const char* reader : {"head -n 2", "head -c 1"}) {
      Outcome run = shell(
          std::string("\"$0\" \"$1\" \"$2\" | ") + reader + " >/dev/null; exit ${PIPESTATUS[0]}",
          program, dir);
      EXPECT_EQ(run.status, 0) << program << " | " << reader;
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(readFile(dir / "o"), c.output) << program << " | " << reader;
    }
  }
}

TEST(Surroundings, AnOutputPipeThatClosesIsAWriteError) {
  const TempDir dir;
  writeFile(dir / "in.wav", many().wav);
  Outcome run = shell("\"$0\" \"$1\" >(head -c 100 >/dev/null)", SARVIK, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, kWriteError);
}

TEST(Surroundings, AFileSizeLimitIsAWriteErrorAndKeepsWhatFitted) {
  const Capture& c = many();
  const TempDir dir;
  writeFile(dir / "in.wav", c.wav);
  Outcome run = shell("ulimit -f 1024; \"$0\" \"$1\" \"$2\"", SARVIK, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, kWriteError);
  EXPECT_EQ(readFile(dir / "o"), c.output.substr(0, 1 << 20));
}

TEST(Surroundings, LittleMemoryOrStackLeavesAnExistingOutputAlone) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under ulimit -v";
#endif
  if (kEmulated) GTEST_SKIP() << "the emulator's own memory does not fit under ulimit -v";
  const Bytes p1 = noise(1536, 1), p2 = noise(1536, 2);
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(burst(1, 0x3000, p1) + burst(1, 0x3000, p2)));
  writeFile(dir / "o", "old\n");
  Outcome starved = shell("ulimit -v 6000; \"$0\" \"$1\" \"$2\"", SARVIK, dir);
  EXPECT_EQ(starved.status, 1);
  // Which buffer was not to be had depends on the memory the process
  // started with: the reader's (here) or the output's.
  EXPECT_TRUE(starved.err == kInputNotOpened || starved.err == kOutputNotCreated) << starved.err;
  EXPECT_EQ(readFile(dir / "o"), "old\n");
  // The work buffer is on the heap: a small stack is enough.
  Outcome smallStack = shell("ulimit -s 256; \"$0\" \"$1\" \"$2\"", SARVIK, dir);
  EXPECT_EQ(smallStack.status, 0);
  EXPECT_EQ(readFile(dir / "o"), swapped(p1, 1536) + swapped(p2, 1536));
}

// Memory for the input's buffer but not for the output's: the output is
// refused before it is created, and an existing one is left as it was. Where
// that band of limits lies depends on the machine, so it is measured: the
// smallest limit under which the run succeeds, then the limits just below.
TEST(Surroundings, MemoryForTheInputButNotForTheOutput) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under ulimit -v";
#endif
  if (kEmulated) GTEST_SKIP() << "the emulator's own memory does not fit under ulimit -v";
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(burst(1, 0x3000, noise(1536, 1))));
  auto runWith = [&](long kib) {
    writeFile(dir / "o", "old\n");
    return shell("ulimit -v " + std::to_string(kib) + "; \"$0\" \"$1\" \"$2\"", SARVIK, dir);
  };
  long failing = 1024, passing = 1 << 20;
  while (passing - failing > 8) {
    const long middle = (failing + passing) / 2;
    (runWith(middle).status == 0 ? passing : failing) = middle;
  }
  bool outputRefused = false;
  for (long kib = passing - 8; kib > passing - 4096; kib -= 32) {
    const Outcome run = runWith(kib);
    if (run.status == 0) continue;
    EXPECT_EQ(readFile(dir / "o"), "old\n") << kib << " KiB: " << run.err;
    outputRefused = outputRefused || run.err == kOutputNotCreated;
  }
  EXPECT_TRUE(outputRefused) << "no limit below " << passing << " KiB refused only the output";
}

// With no thread to spare (ulimit -u, as a user other than root, who is
// exempt), each full buffer is written as it fills: the same output, and the
// same write error.
TEST(Surroundings, NoThreadToSpareWritesInTurn) {
  if (kEmulated) GTEST_SKIP() << "the emulator starts a thread of its own";
  const Capture& c = many();
  const TempDir dir;
  chmod(dir.path().c_str(), 0777);
  const std::string program = dir / "sarvik";
  writeFile(program, readFile(SARVIK));
  chmod(program.c_str(), 0755);
  writeFile(dir / "in.wav", c.wav);
  RunOptions asUser;
  asUser.uid = geteuid() == 0 ? 65534 : -1;
  // LeakSanitizer's check at the exit would need a thread of its own.
  const std::string noThread =
      "export ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\"; ulimit -u 1 && ";
  Outcome run = shell(noThread + "exec \"$0\" \"$1\" \"$2\"", program, dir, asUser);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readFile(dir / "o"), c.output);
  Outcome limited =
      shell(noThread + "ulimit -f 1024 && exec \"$0\" \"$1\" \"$2\"", program, dir, asUser);
  EXPECT_EQ(limited.status, 1);
  EXPECT_EQ(limited.err, kWriteError);
  EXPECT_EQ(readFile(dir / "o"), c.output.substr(0, 1 << 20));
}

}  // namespace
