// The progress line on a Windows console, read back from the console's
// screen as the POSIX terminal test reads a pseudo-terminal's: drawn in
// place, with spaces where the console takes no escape sequences and with
// ESC [ K where it does, erased before every other line and at the end, so
// that the screen ends as without it. Needs a console: Wine gives one to a
// program that runs on a pseudo-terminal.
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>

#include "platform/terminal.h"
#include "test_support.h"

using namespace testsupport;

namespace {

HANDLE console() {
  static const HANDLE screen =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  return screen;
}

// The console's mode with or without escape sequences.
DWORD modeWith(bool escapes) {
  DWORD mode = 0;
  GetConsoleMode(console(), &mode);
  return escapes ? mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING
                 : mode & ~DWORD(ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// The cursor's row, without its trailing spaces, and the cursor's column.
std::wstring cursorRow(int* column) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  GetConsoleScreenBufferInfo(console(), &info);
  std::wstring row(size_t(info.dwSize.X), L' ');
  DWORD got = 0;
  ReadConsoleOutputCharacterW(console(), row.data(), DWORD(row.size()),
                              {0, info.dwCursorPosition.Y}, &got);
  row.resize(row.find_last_not_of(L' ') + 1);
  *column = info.dwCursorPosition.X;
  return row;
}

// Drawn through the terminal module of this process. A line redrawn shorter
// leaves nothing of the longer one, and an erased line an empty row, the
// cursor at its start. Wine's console keeps an escape sequence as the
// characters it is made of: they show what was written, where a console of
// the system's erases.
TEST(Console, ProgressLineDrawnInPlace) {
  ASSERT_NE(console(), INVALID_HANDLE_VALUE) << "no console: run the test on one";
  const DWORD before = modeWith(false);
  for (const bool escapes : {false, true}) {
    SetConsoleMode(console(), modeWith(escapes));
    terminalSetUp();
    DWORD done = 0;
    WriteConsoleW(console(), L"\r\n", 2, &done, nullptr);
    progressDraw("a longer line", 13);
    progressDraw("short", 5);
    int column = -1;
    const std::wstring drawn = cursorRow(&column);
    progressErase();
    int erasedColumn = -1;
    const std::wstring erased = cursorRow(&erasedColumn);
    if (escapes) {
      EXPECT_EQ(drawn.substr(0, 8), L"short\x1b[K");
      EXPECT_EQ(erased.substr(0, 3), L"\x1b[K");
    } else {
      EXPECT_EQ(drawn, L"short");
      EXPECT_EQ(column, 5);
      EXPECT_EQ(erased, L"");
      EXPECT_EQ(erasedColumn, 0);
    }
  }
  SetConsoleMode(console(), before);
}

// Runs of sarvik_faulty, its clock stepping, on a console that takes no
// escape sequences: finished, failed part-way, interrupted, and killed while
// the line stands; and texts that end without a line feed. With both
// streams on the console and with standard output in a file, the screen ends
// as without the line, every report line on a row of its own; a killed run
// leaves the line, whole.
TEST(Console, ProgressLineLeavesTheScreenAsWithoutIt) {
  ASSERT_NE(console(), INVALID_HANDLE_VALUE) << "no console: run the test on one";
  const DWORD before = modeWith(false);
  SetConsoleMode(console(), before);
  const Bytes data = progressData();
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(data));
  const std::vector<std::string> files = {"sarvik", dir / "in.wav", dir / "out"};
  const std::string at = "SARVIK_SIGNAL_AT=" + std::to_string(44 + (6 << 20));
  const std::regex line("[0-9.]+ MiB / 8\\.0 MiB  [0-9]+%  [0-9.]+ MiB/s  [0-9]+:[0-9]{2}");
  const struct {
    std::vector<std::string> faults;
    bool killed;
    const char* program;
    std::vector<std::string> args;
  } runs[] = {
      {{}, false, SARVIK_FAULTY, files},
      {{"SARVIK_FAIL_READ_AT=" + std::to_string(44 + (6 << 20))}, false, SARVIK_FAULTY, files},
      {{at, "SARVIK_SIGNAL=0"}, false, SARVIK_FAULTY, files},
      {{at, "SARVIK_SIGNAL=9"}, true, SARVIK_FAULTY, files},
      // Texts that end without a line feed: sarvikd's trace of a header,
      // completed by the next write, and the usage's program name.
      {{}, false, SARVIKD_FAULTY, files},
      {{}, false, SARVIK_FAULTY, {"sarvik"}},
  };
  std::string finished;  // both streams' text, of the first run
  for (const auto& r : runs) {
    RunOptions options;
    options.env = r.faults;
    options.env.push_back("SARVIK_CLOCK_STEP=300");
    const Outcome apart = runProgram(r.program, r.args, options);
    options.errToOut = true;
    const Outcome plain = runProgram(r.program, r.args, options);
    EXPECT_EQ(plain.out.find_first_of("\r\x1b"), std::string::npos) << plain.out;
    if (&r == runs) finished = plain.out;
    options.terminal = 2;
    for (const bool both : {true, false}) {
      const std::string what = std::string(r.program) + " " + std::to_string(r.args.size()) + " " +
                               (r.faults.empty() ? "" : r.faults.back()) + (both ? " both" : "");
      options.errToOut = both;
      const Outcome run = runProgram(r.program, r.args, options);
      EXPECT_EQ(run.status, plain.status) << what;
      EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << what;
      if (!both) {
        EXPECT_EQ(run.out, apart.out) << what;
      }
      if (!r.killed) {
        EXPECT_EQ(run.err, both ? plain.out : apart.err) << what;
        continue;
      }
      // The report so far, on rows of its own, then the line.
      const size_t last = run.err.rfind('\n') + 1;
      EXPECT_TRUE(std::regex_match(run.err.substr(last), line)) << what << ": " << run.err;
      EXPECT_EQ(run.err.substr(0, last), (both ? finished : std::string()).substr(0, last)) << what;
    }
  }
}

}  // namespace
