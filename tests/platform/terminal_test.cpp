// Messages on a terminal read in the character set of the user's locale;
// files and pipes (every other test) get the Shift_JIS bytes as always. A
// long run shows a progress line on a terminal, and the screen ends as
// without it.
#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "driver/progress_line.h"
#include "loop_runner.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// The C library's character set of the locale name, or "" where the system
// lacks that locale.
std::string installedCharset(const char* name) {
  const locale_t locale = newlocale(LC_CTYPE_MASK, name, locale_t(0));
  if (!locale) return "";
  const std::string charset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return charset;
}

// The runs are on a pseudo-terminal with a type and a clock that never moves:
// no progress line, however long a run takes.
TEST(Terminal, MessagesReadInTheLocalesCharacterSet) {
  const TempDir dir;
  // A program name of the user's own, in the terminal's UTF-8: never
  // converted from Shift_JIS.
  const std::string program = dir / "抽出";
  copyProgram(SARVIK, program);
  // A burst in the first block, and a read failure in the third: the report
  // on standard output, then the failure on standard error.
  const int offset = 1000;
  Bytes data = Bytes(offset, '\0') + ac3Burst(noise(1536, 1));
  data.resize(700000, '\0');
  writeFile(dir / "in.wav", pcmWav(data));
  const std::string failRead = "SARVIK_FAIL_READ_AT=" + std::to_string(44 + 600000);
  const std::string report = "1つ目のヘッダが" + std::to_string(offset) +
                             "バイト目に見つかりました。\n"
                             "データタイプ: Dolby Digital (AC-3)\n";
  const std::string readError = "読み取りエラーです\n";
  const struct {
    std::vector<std::string> locale;  // LC_ALL, LC_CTYPE, LANG
    const char* charset;              // "": the Shift_JIS bytes as they are
    const char* installed = "";       // the row needs this locale, of this charset
  } locales[] = {
      {{"", "", "C.UTF-8"}, "UTF-8"},
      {{"", "C.UTF-8", "C"}, "UTF-8"},  // the first that is set counts
      {{"", "C", "C.UTF-8"}, ""},
      {{"C.UTF-8", "C", "C"}, "UTF-8"},
      {{"C", "C.UTF-8", "C.UTF-8"}, ""},  // ASCII holds no Japanese
      // Locales this system lacks: the name tells, in the same order.
      {{"", "", "xx_XX.utf8"}, "UTF-8"},
      {{"", "", "sr_RS.UTF-8@latin"}, "UTF-8"},
      {{"xx_XX.eucJP", "yy_YY.UTF-8", "C"}, "EUC-JP"},
      {{"", "xx_XX.ujis", "yy_YY.UTF-8"}, "EUC-JP"},
      {{"", "", "ja_JP.SJIS"}, ""},  // the bytes are already right
      {{"", "", "xx_XX.cp932"}, ""},
      {{"", "", "xx_XX"}, ""},  // no character set known
      // Installed: the C library tells, whatever the name.
      {{"", "", "ja_JP.eucjp"}, "EUC-JP"},
      // A locale name with no character set, which only the C library can tell.
      {{"", "", "ja_JP"}, "EUC-JP", "EUC-JP"},
      {{"", "", "en_US.ISO-8859-1"}, ""},  // cannot hold the text
      {{"", "", "POSIX"}, ""},
  };
  std::string skipped;
  for (const auto& row : locales) {
    if (*row.installed && installedCharset(row.locale[2].c_str()) != row.installed) {
      skipped += " " + row.locale[2];
      continue;
    }
    RunOptions options;
    options.env = {"LC_ALL=" + row.locale[0],
                   "LC_CTYPE=" + row.locale[1],
                   "LANG=" + row.locale[2],
                   failRead,
                   "TERM=xterm",
                   "SARVIK_CLOCK_STEP=0"};
    auto shown = [&](const std::string& text) {
      return encoded(*row.charset ? row.charset : "CP932", text);
    };
    const std::string what = row.locale[0] + "," + row.locale[1] + "," + row.locale[2];

    // Each stream decides for itself: the other one, a file, keeps the bytes.
    for (const int terminal : {1, 2}) {
      options.terminal = terminal;
      Outcome run = runOn(SARVIK_FAULTY, dir / "in.wav", dir / "out.ac3", options);
      EXPECT_EQ(run.out, terminal == 1 ? shown(report) : sjis(report)) << what;
      EXPECT_EQ(run.err, terminal == 2 ? shown(readError) : sjis(readError)) << what;
      EXPECT_EQ(run.status, 1) << what;
    }
    // The name stays the user's text either way; the rest is converted or not.
    Outcome wrong = runProgram(program, {program}, options);
    EXPECT_EQ(wrong.err,
              shown("引数が不正です。\nusage: ") + program + " [input file] [output file]\n")
        << what;
  }
  if (!skipped.empty()) {
    GTEST_SKIP() << "the rows of the locales this system lacks:" << skipped
                 << " (ja_JP is made by `localedef -i ja_JP -f EUC-JP ja_JP`)";
  }
}

// What a terminal shows of the bytes: a carriage return goes to the start of
// the row, a line feed to the start of the next (as the terminal's line
// discipline makes it), ESC [ K erases the rest of the row, and every other
// byte takes a column.
std::vector<std::string> screen(const std::string& bytes) {
  std::vector<std::string> rows(1);
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string& row = rows.back();
    if (bytes[i] == '\r') {
      column = 0;
    } else if (bytes[i] == '\n') {
      rows.emplace_back();
      column = 0;
    } else if (bytes.compare(i, 3, "\x1b[K") == 0) {
      row.resize(std::min(row.size(), column));
      i += 2;
    } else {
      if (column >= row.size()) row.resize(column + 1, ' ');
      row[column++] = bytes[i];
    }
  }
  return rows;
}

// The progress lines drawn: each text between a carriage return and ESC [ K.
std::vector<std::string> drawnLines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (size_t at = bytes.find('\r'); at != std::string::npos; at = bytes.find('\r', at + 1)) {
    const size_t end = bytes.find("\x1b[K", at);
    if (end > at + 1 && end != std::string::npos && bytes.find_first_of("\r\n", at + 1) > end) {
      lines.push_back(bytes.substr(at + 1, end - at - 1));
    }
  }
  return lines;
}

// A run of 8 MiB that "lasts" 10 seconds on the stepped clock, with reports
// before, between and after the lines; finished, failed by a read or a write
// error part-way, or interrupted. The line counts from the data's start to
// the end of the file, also with the sizes unknown or a tag after the data.
TEST(Terminal, ProgressLineLeavesTheScreenAsWithoutIt) {
  const Bytes data = progressData();
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(data));
  writeFile(dir / "streaming.wav", streamingHeader() + data);
  writeFile(dir / "tagged.wav", pcmWav(data) + "TAG" + Bytes(125, ' '));
  const std::string at = std::to_string(44 + (6 << 20));
  const std::string none = "SARVIK_NO_FAULT=";
  const struct {
    std::string program, input, fault;
    int status;
  } runs[] = {
      {SARVIK_FAULTY, "in.wav", none, 0},
      {SARVIK_FAULTY, "in.wav", "SARVIK_FAIL_READ_AT=" + at, 1},
      {SARVIK_FAULTY, "in.wav", "SARVIK_FAIL_WRITE_AT=5000", 1},
      {SARVIK_FAULTY, "in.wav", "SARVIK_SIGNAL_AT=" + at, -1},
      {SARVIKD_FAULTY, "in.wav", none, 0},
      {SARVIKD_FAULTY, "in.wav", "SARVIK_FAIL_READ_AT=" + at, 1},
      {SARVIKD_FAULTY, "in.wav", "SARVIK_FAIL_WRITE_AT=5000", 1},
      {SARVIKD_FAULTY, "in.wav", "SARVIK_SIGNAL_AT=" + at, -1},
      {SARVIK_FAULTY, "streaming.wav", none, 0},
      {SARVIK_FAULTY, "tagged.wav", none, 0},
  };
  const struct {
    int columns;
    const char* term;
    int terminal;  // the stream that is the terminal: 1, 2, or 3 for both
    bool drawn;
    int narrowed = 0;  // the width after the first line, where it changes
  } ways[] = {
      {60, "xterm", 3, true},
      {0, "xterm", 3, true},
      {30, "xterm", 3, true},  // narrower than the whole line
      {60, "dumb", 3, false},
      {60, "", 3, false},  // a terminal that names no type counts as dumb
      {60, "xterm", 1, false},
      {30, "xterm", 2, true},  // the width is standard error's; the report is in a file
      {60, "xterm", 2, true, 30},
  };
  for (const auto& r : runs) {
    const std::vector<std::string> args = {r.program, dir / r.input, dir / "out"};
    RunOptions options;
    options.env = {r.fault, "SARVIK_CLOCK_STEP=300", "LC_ALL=C", "TERM=xterm"};
    // Both streams in one file, and each in a file of its own: nothing drawn.
    options.errToOut = true;
    const Outcome plain = runProgram(r.program, args, options);
    options.errToOut = false;
    const Outcome apart = runProgram(r.program, args, options);
    EXPECT_EQ(plain.status, r.status) << r.program << r.fault;
    EXPECT_EQ(plain.out.find_first_of("\r\x1b"), std::string::npos) << r.program << r.fault;

    for (const auto& way : ways) {
      if (way.narrowed && kEmulated) continue;  // /proc shows the emulator's calls
      const std::string what = r.program + " " + r.input + " " + r.fault + " " +
                               std::to_string(way.columns) + " " + way.term + " " +
                               std::to_string(way.terminal);
      options.env.back() = std::string("TERM=") + way.term;
      options.terminal = way.terminal == 1 ? 1 : 2;
      options.errToOut = way.terminal == 3;
      options.columns = way.columns;
      options.columnsInWrite = way.narrowed;
      const Outcome run = runProgram(r.program, args, options);
      EXPECT_EQ(run.status, plain.status) << what;
      // The terminal's bytes, and what it would get without the line; a
      // stream in a file gets what it gets without a terminal.
      const std::string& shown = way.terminal == 1 ? run.out : run.err;
      const std::string& without = way.terminal == 3   ? plain.out
                                   : way.terminal == 1 ? apart.out
                                                       : apart.err;
      if (way.terminal != 3) {
        EXPECT_EQ(way.terminal == 1 ? run.err : run.out, way.terminal == 1 ? apart.err : apart.out)
            << what;
      }
      EXPECT_EQ(screen(shown), screen(without)) << what;
      const std::vector<std::string> lines = drawnLines(shown);
      if (!way.drawn) {
        EXPECT_EQ(shown, without) << what;
        continue;
      }
      EXPECT_FALSE(lines.empty()) << what;
      const int columns = way.narrowed ? way.narrowed : way.columns;
      if (plain.status == 0 && !lines.empty()) {
        EXPECT_EQ(lines.back().rfind(columns == 30 ? "100%  " : "8.0 MiB / 8.0 MiB  100%  ", 0), 0u)
            << what << ": " << lines.back();
      }
      for (size_t i = 0; i < lines.size(); ++i) {
        const int width = i == 0 ? way.columns : columns;
        EXPECT_LE(lines[i].size(), size_t(width > 0 ? width - 1 : 79)) << what;
        EXPECT_NE(lines[i].find("MiB/s"), std::string::npos) << what << ": " << lines[i];
      }
      // Report lines that go to a file leave the line alone: it is erased
      // once, at the end.
      if (way.terminal == 2) {
        size_t erases = 0;
        for (size_t i = shown.find("\r\x1b[K"); i != std::string::npos;
             i = shown.find("\r\x1b[K", i + 1))
          ++erases;
        EXPECT_EQ(erases, 1u) << what;
      }
    }
  }

  // Nor does a report that goes to a file go out line by line: killed after
  // lines were drawn and reported, the program leaves the file empty, the
  // report still in the stream's buffer.
  RunOptions killed;
  killed.env = {"SARVIK_SIGNAL_AT=" + at, "SARVIK_SIGNAL=9", "SARVIK_CLOCK_STEP=300", "LC_ALL=C",
                "TERM=xterm"};
  killed.terminal = 2;
  killed.columns = 60;
  const Outcome run = runOn(SARVIK_FAULTY, dir / "in.wav", dir / "out", killed);
  EXPECT_EQ(run.signal, 9);
  EXPECT_FALSE(drawnLines(run.err).empty());
  EXPECT_EQ(run.out, "");
}

// A line a second after the start, then at most every quarter second, the
// rate counted from the start. The clock steps 125 ms at each reading: the
// start's, then one a block, so the lines come with the 8th block and every
// other one after it.
TEST(Terminal, ProgressLineDueAfterASecondThenFourTimesASecond) {
  const Bytes data(8 << 20, '\0');
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(data));
  RunOptions options;
  options.env = {"SARVIK_CLOCK_STEP=125", "LC_ALL=C", "TERM=xterm"};
  options.terminal = 2;
  options.columns = 80;
  const Outcome run = runOn(SARVIK_FAULTY, dir / "in.wav", dir / "out", options);
  const std::vector<long long> ends = runLoop(data, kBlockSize).readEnds;
  std::vector<std::string> expected;
  for (size_t block = 8; block <= ends.size(); block += 2) {
    char text[128];
    progressText(text, sizeof text, ends[block - 1], int64_t(data.size()), int64_t(125 * block),
                 80);
    expected.push_back(text);
  }
  EXPECT_EQ(drawnLines(run.err), expected);
}

}  // namespace
