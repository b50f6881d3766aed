// File names as people type them: any script, accents and symbols, and
// paths longer than the classic Windows limit. On Windows the names must
// reach the file system as typed, never through the ANSI code page, which
// would turn some into other names (é into e, ¥ into \) and refuse others.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#ifdef _WIN32
#include <windows.h>

#include "platform/win32_text.h"
#endif

#include "test_support.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

void makeDirectories(const std::string& path) { fs::create_directories(fsPath(path)); }

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

    Outcome run = runOn(SARVIK, dir / names.input, dir / names.output);
    EXPECT_EQ(run.status, 0) << names.input;
    EXPECT_EQ(run.err, "") << names.input;
    EXPECT_EQ(run.out, found(1, 0) + kAc3Type + summary(1, 32));
    EXPECT_EQ(readFile(dir / names.output), swapped(payload, 32)) << names.output;
    EXPECT_EQ(readFile(dir / "Muller.ac3"), "keep");
    EXPECT_FALSE(exists(dir / "price/100.ac3"));
    EXPECT_FALSE(exists(dir / "cafe.ac3"));
    // No name but the named ones: the four above and the output.
    EXPECT_EQ(std::distance(fs::directory_iterator(fsPath(dir.path())), {}), 5) << names.output;

    // The same file under another spelling is still refused as the output.
    makeDirectories(dir / "sub");
    Outcome same = runOn(SARVIK, dir / names.input, dir / ("sub/../" + std::string(names.input)));
    EXPECT_EQ(failure(same), kOutputNotCreated) << names.input;
    EXPECT_EQ(readFile(dir / names.input), pcmWav(ac3Burst(payload)));
  }
}

// NTFS allows a lone surrogate in a name (as WTF-8 here, beside a pair). The
// run reads and creates exactly that name, or where the system has no such
// names (Wine keeps them as UTF-8 on the host), refuses it: it never takes
// the name that a lossy conversion makes of it (U+FFFD).
TEST(Names, LoneSurrogatesNameThatFileAndNoOther) {
  const struct {
    const char *input, *output;
  } cases[] = {{"録音\xED\xA0\x80.wav", "out.ac3"}, {"in.wav", "\xED\xA0\x80🎵\xED\xB0\x80.ac3"}};
  for (const auto& names : cases) {
    const TempDir dir;
    writeFile(dir / "録音\uFFFD.wav", pcmWav(ac3Burst(noise(8, 2))));
    writeFile(dir / "\uFFFD🎵\uFFFD.ac3", "keep");
    bool systemHasThem = true;
    try {
      writeFile(dir / "\xED\xA0\x80", "");
      fs::remove(fsPath(dir / "\xED\xA0\x80"));
    } catch (const std::exception&) {
      systemHasThem = false;
    }
    const Bytes payload = noise(32, 1);
    if (systemHasThem || names.input == std::string("in.wav")) {
      writeFile(dir / names.input, pcmWav(ac3Burst(payload)));
    }

    Outcome run = runOn(SARVIK, dir / names.input, dir / names.output);
    if (systemHasThem) {
      EXPECT_EQ(run.status, 0) << names.output;
      EXPECT_EQ(readFile(dir / names.output), swapped(payload, 32));
    } else {
      EXPECT_EQ(run.status, 1) << names.output;
      EXPECT_EQ(run.err,
                names.input == std::string("in.wav") ? kOutputNotCreated : kInputNotOpened);
    }
    EXPECT_EQ(readFile(dir / "\uFFFD🎵\uFFFD.ac3"), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(fsPath(dir.path())), {}),
              2 + exists(dir / names.input) + systemHasThem);
  }
}

TEST(Names, PathsOfMoreThan300Characters) {
  const TempDir dir;
  std::string deep = dir.path();
  for (int i = 0; deep.size() <= 300; ++i) deep += "/" + std::string(40, char('a' + i)) + "録音";
  makeDirectories(deep);
  const Bytes payload = noise(32, 3);
  writeFile(deep + "/in.wav", pcmWav(ac3Burst(payload)));
  struct Run {
    std::string input, output, outputFile;
  };
  // An output whose full form is MAX_PATH characters, 260.
  const std::string exact = dir / std::string(259 - dir.path().size(), 'x');
  std::vector<Run> runs = {{deep + "/in.wav", dir / "out.ac3", dir / "out.ac3"},
                           {deep + "/in.wav", deep + "/out.ac3", deep + "/out.ac3"},
                           {deep + "/in.wav", exact, exact}};
#ifdef _WIN32
  // Typed in the system's verbatim or device form, a path is used as it is,
  // with no second prefix.
  std::string back = deep;
  std::replace(back.begin(), back.end(), '/', '\\');
  runs.push_back(
      {"\\\\?\\" + back + "\\in.wav", "\\\\?\\" + back + "\\out.ac3", deep + "/out.ac3"});
  runs.push_back({deep + "/in.wav", "\\\\.\\" + back + "\\out.ac3", deep + "/out.ac3"});
  runs.push_back({"//?/" + deep + "/in.wav", "//./" + deep + "/out.ac3", deep + "/out.ac3"});
#endif
  for (const Run& r : runs) {
    fs::remove(fsPath(r.outputFile));
    Outcome run = runOn(SARVIK, r.input, r.output);
    EXPECT_EQ(run.status, 0) << r.output;
    EXPECT_EQ(run.err, "") << r.output;
    EXPECT_EQ(readFile(r.outputFile), swapped(payload, 32)) << r.output;
  }
}

#ifdef _WIN32
// The form names take inside the programs, and the paths the W calls get.
TEST(Names, Wtf8AndTheSystemsPaths) {
  const struct {
    const wchar_t* wide;
    const char* wtf8;
  } forms[] = {
      {L"a\u00e9\u9332", "a\xC3\xA9\xE9\x8C\xB2"},
      {L"\xD83C\xDFB5", "\xF0\x9F\x8E\xB5"},  // a pair is one character
      {L"\xD800.wav", "\xED\xA0\x80.wav"},    // a lone half keeps its own three bytes
      {L"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},
      {L"\xD800\xD83C\xDFB5", "\xED\xA0\x80\xF0\x9F\x8E\xB5"},
      {L"\xD800\xE000", "\xED\xA0\x80\xEE\x80\x80"},  // U+E000 follows no half
  };
  for (const auto& form : forms) {
    char narrow[16];
    wchar_t wide[8];
    EXPECT_EQ(wtf8FromWide(form.wide, narrow, sizeof narrow), long(std::strlen(form.wtf8)));
    EXPECT_STREQ(narrow, form.wtf8);
    EXPECT_EQ(wideFromWtf8(form.wtf8, wide, 8), long(std::wcslen(form.wide)));
    EXPECT_EQ(std::wstring(wide), form.wide);
    // Without room for the null, nothing is taken.
    EXPECT_EQ(wtf8FromWide(form.wide, narrow, std::strlen(form.wtf8)), -1);
    EXPECT_EQ(wideFromWtf8(form.wtf8, wide, std::wcslen(form.wide)), -1);
  }
  // Another spelling of a name is no name: a pair as two halves, overlong
  // forms, stray or missing continuation bytes, beyond U+10FFFF.
  for (const char* other : {"\xED\xA0\xBC\xED\xBE\xB5", "\xC0\xAF", "\xE0\x80\xAF", "\x80",
                            "\xE9\x8C", "\xF4\x90\x80\x80"}) {
    wchar_t wide[8];
    EXPECT_EQ(wideFromWtf8(other, wide, 8), -1) << other;
  }

  const std::string tail = std::string(300, 'a') + "\\b.wav";
  const struct {
    std::string path, system;
  } paths[] = {
      {"Z:/short/b.wav", "Z:/short/b.wav"},  // short paths go as they are
      // A full form of 259 characters fits MAX_PATH with its null; one of
      // 260 does not.
      {"Z:/" + std::string(256, 'a'), "Z:/" + std::string(256, 'a')},
      {"Z:/" + std::string(257, 'a'), "\\\\?\\Z:\\" + std::string(257, 'a')},
      {"\\\\server\\share\\" + tail, "\\\\?\\UNC\\server\\share\\" + tail},
      {"//server/share/" + tail, "\\\\?\\UNC\\server\\share\\" + tail},
      {"Z:/" + tail, "\\\\?\\Z:\\" + tail},
      {"\\\\?\\Z:\\" + tail, "\\\\?\\Z:\\" + tail},
      {"\\\\?\\UNC\\server\\share\\" + tail, "\\\\?\\UNC\\server\\share\\" + tail},
      {"\\\\.\\Z:\\" + tail, "\\\\.\\Z:\\" + tail},
      {"//?/Z:/" + tail, "//?/Z:/" + tail},
      {"//./Z:/" + tail, "//./Z:/" + tail},
  };
  static wchar_t system[kWideRoom];
  for (const auto& p : paths) {
    ASSERT_TRUE(systemPath(p.path.c_str(), system)) << p.path;
    EXPECT_EQ(std::wstring(system), std::wstring(p.system.begin(), p.system.end())) << p.path;
  }
  EXPECT_FALSE(systemPath(std::string(kWideRoom, 'a').c_str(), system));
}
#endif

}  // namespace
