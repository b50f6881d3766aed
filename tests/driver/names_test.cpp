// File names as people type them: any script, accents and symbols, and
// paths longer than the classic Windows limit. On Windows the names must
// reach the file system as typed, never through the ANSI code page, which
// would turn some into other names (é into e, ¥ into \) and refuse others.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

#include "test_support.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

void makeDirectories(const std::string& path) { fs::create_directories(fs::u8path(path)); }

TEST(Names, TheNamedFilesAreReadAndCreatedAndNoOther) {
#ifdef _WIN32
  // ctest runs this test under both ANSI code pages, which Wine takes from LANG.
  const std::string lang = getenv("LANG") ? getenv("LANG") : "";
  ASSERT_TRUE(lang == "ja_JP.UTF-8" || lang == "en_US.UTF-8") << lang;
  ASSERT_EQ(GetACP(), lang[0] == 'j' ? 932u : 1252u) << lang << ": is the locale generated?";
#endif
  const struct {
    const char* input;
    const char* output;
  } cases[] = {
      {"録音.wav", "ライブ〜東京.ac3"},   {"녹음.wav", "🎵.ac3"},      {"🎵.wav", "녹음.ac3"},
      {"ライブ〜東京.wav", "録音−1.ac3"}, {"café.wav", "Müller.ac3"}, {"録音−1.wav", "録音.ac3"},
      {"capture.wav", "price¥100.ac3"},
  };
  for (const auto& names : cases) {
    const TempDir dir;
    // What a code page's best fit makes of the names: none may be touched.
    writeFile(dir / "cafe.wav", pcmWav(ac3Burst(noise(8, 2))));
    writeFile(dir / "Muller.ac3", "keep");
    makeDirectories(dir / "price");
    const Bytes payload = noise(32, 1);
    writeFile(dir / names.input, pcmWav(ac3Burst(payload)));

    Outcome run = runProgram(SARVIK, {SARVIK, dir / names.input, dir / names.output});
    EXPECT_EQ(run.status, 0) << names.input;
    EXPECT_EQ(run.err, "") << names.input;
    EXPECT_EQ(run.out, found(1, 0) + sjis("データタイプ: Dolby Digital (AC-3)\n") + summary(1, 32));
    EXPECT_EQ(readFile(dir / names.output), swapped(payload, 32)) << names.output;
    EXPECT_EQ(readFile(dir / "Muller.ac3"), "keep");
    EXPECT_FALSE(exists(dir / "price/100.ac3"));
    EXPECT_FALSE(exists(dir / "cafe.ac3"));

    // The same file under another spelling is still refused as the output.
    makeDirectories(dir / "sub");
    Outcome same = runProgram(
        SARVIK, {SARVIK, dir / names.input, dir / ("sub/../" + std::string(names.input))});
    EXPECT_EQ(same.status, 1) << names.input;
    EXPECT_EQ(same.err, kOutputNotCreated) << names.input;
    EXPECT_EQ(readFile(dir / names.input), pcmWav(ac3Burst(payload)));
  }
}

TEST(Names, PathsOfMoreThan300Characters) {
  const TempDir dir;
  std::string deep = dir.path();
  for (int i = 0; deep.size() <= 300; ++i) deep += "/" + std::string(40, char('a' + i)) + "録音";
  makeDirectories(deep);
  const Bytes payload = noise(32, 3);
  writeFile(deep + "/in.wav", pcmWav(ac3Burst(payload)));
  for (const std::string& output : {dir / "out.ac3", deep + "/out.ac3"}) {
    Outcome run = runProgram(SARVIK, {SARVIK, deep + "/in.wav", output});
    EXPECT_EQ(run.status, 0) << output.size();
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(output), swapped(payload, 32));
  }
}

}  // namespace
