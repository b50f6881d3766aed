// Messages on a terminal read in the character set of the user's locale;
// files and pipes (every other test) get the Shift_JIS bytes as always.
#include <gtest/gtest.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <cstring>

#include "test_support.h"

using namespace testsupport;

namespace {

// The UTF-8 text in charset; in Shift_JIS when charset is empty.
std::string shownIn(const char* charset, const std::string& utf8) {
  if (!*charset) return sjis(utf8);
  const iconv_t cd = iconv_open(charset, "UTF-8");
  std::string out(4 * utf8.size(), '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = &out[0];
  size_t toLeft = out.size();
  EXPECT_NE(iconv(cd, &in, &inLeft, &to, &toLeft), static_cast<size_t>(-1)) << charset;
  iconv_close(cd);
  out.resize(out.size() - toLeft);
  return out;
}

// The C library's character set of the locale name, or "" where the system
// lacks that locale.
std::string installedCharset(const char* name) {
  const locale_t locale = newlocale(LC_CTYPE_MASK, name, locale_t(0));
  if (!locale) return "";
  const std::string charset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return charset;
}

TEST(Terminal, MessagesReadInTheLocalesCharacterSet) {
  // A locale name with no character set, which only the C library can tell.
  ASSERT_EQ(installedCharset("ja_JP"), "EUC-JP") << "the locale ja_JP (EUC-JP) is missing: create "
                                                    "it with `localedef -i ja_JP -f EUC-JP ja_JP`";
  const TempDir dir;
  // A program name of the user's own, in the terminal's UTF-8: never
  // converted from Shift_JIS.
  const std::string program = dir / "抽出";
  writeFile(program, readFile(SARVIK));
  chmod(program.c_str(), 0755);
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
      {{"", "", "ja_JP"}, "EUC-JP"},
      {{"", "", "en_US.ISO-8859-1"}, ""},  // cannot hold the text
      {{"", "", "POSIX"}, ""},
  };
  for (const auto& row : locales) {
    RunOptions options;
    options.env = {"LC_ALL=" + row.locale[0], "LC_CTYPE=" + row.locale[1], "LANG=" + row.locale[2],
                   failRead};
    auto shown = [&](const std::string& text) { return shownIn(row.charset, text); };
    const std::string what = row.locale[0] + "," + row.locale[1] + "," + row.locale[2];

    // Each stream decides for itself: the other one, a file, keeps the bytes.
    for (const int terminal : {1, 2}) {
      options.terminal = terminal;
      Outcome run =
          runProgram(SARVIK_FAULTY, {SARVIK_FAULTY, dir / "in.wav", dir / "out.ac3"}, options);
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
}

}  // namespace
