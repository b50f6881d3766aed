// Messages on a terminal read in the character set of the user's locale;
// files and pipes (every other test) get the Shift_JIS bytes as always.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"

using namespace testsupport;

namespace {

const std::string kReport =
    "1つ目のヘッダが96000バイト目に見つかりました。\n"
    "データタイプ: Dolby Digital (AC-3)\n"
    "ビットストリーム: 125フレーム, 96000バイト\n";

TEST(Terminal, MessagesReadInTheLocalesCharacterSet) {
  const TempDir dir;
  // A program name of the user's own, in the terminal's UTF-8: never
  // converted from Shift_JIS.
  const std::string program = dir / "抽出";
  writeFile(program, readFile(SARVIK));
  chmod(program.c_str(), 0755);
  const std::string usage = "引数が不正です。\nusage: " + program + " [input file] [output file]\n";
  const struct {
    std::vector<std::string> locale;  // LC_ALL, LC_CTYPE, LANG
    bool converted;
  } locales[] = {
      {{"", "", "C.UTF-8"}, true},
      {{"", "C.UTF-8", "C"}, true},           // the first that is set counts
      {{"", "", "ja_JP.UTF-8"}, true},        // also when it is not installed
      {{"C", "", "C.UTF-8"}, false},          // ASCII holds no Japanese
      {{"", "", "ja_JP.SJIS"}, false},        // the bytes are already right
      {{"", "", "en_US.ISO-8859-1"}, false},  // cannot hold the text
      {{"", "", "POSIX"}, false},
  };
  for (const auto& row : locales) {
    RunOptions options;
    options.env = {"LC_ALL=" + row.locale[0], "LC_CTYPE=" + row.locale[1], "LANG=" + row.locale[2]};
    auto shown = [&](const std::string& text) { return row.converted ? text : sjis(text); };
    const std::string what = row.locale[0] + "," + row.locale[1] + "," + row.locale[2];

    options.terminal = 1;
    Outcome report =
        runProgram(program, {program, SAMPLE_DIR "/sample.wav", dir / "out.ac3"}, options);
    EXPECT_EQ(report.out, shown(kReport)) << what;
    EXPECT_EQ(report.status, 0) << what;

    options.terminal = 2;
    Outcome failure = runProgram(program, {program, dir / "missing.wav", dir / "out.ac3"}, options);
    EXPECT_EQ(failure.err, shown("読み取りファイルが開けませんでした。\n")) << what;
    EXPECT_EQ(failure.status, 1) << what;
    // The name stays the user's text either way; the rest is converted or not.
    Outcome wrong = runProgram(program, {program}, options);
    EXPECT_EQ(wrong.err, row.converted ? usage
                                       : sjis("引数が不正です。\nusage: ") + program +
                                             " [input file] [output file]\n")
        << what;
  }
}

}  // namespace
