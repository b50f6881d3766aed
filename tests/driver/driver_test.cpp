// End-to-end runs of the built programs: arguments, format checks, output
// creation, messages on standard error and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "reference_extractor.h"
#include "test_support.h"

using namespace testsupport;

namespace {

TEST(Usage, WrongArgumentCountPrintsUsageAndFails) {
  const TempDir dir;
  for (std::vector<std::string> args : {std::vector<std::string>{SARVIK},
                                        {SARVIK, dir / "a"},
                                        {SARVIK, dir / "a", dir / "b", dir / "c"},
                                        // The program's name is the user's text, not Shift_JIS.
                                        {"録音 café", dir / "a"}}) {
    Outcome run = runProgram(SARVIK, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    // Under an emulator the program is started by a script, whose own path
    // is the name it gets.
    const std::string name = kEmulated ? std::string(SARVIK) : args[0];
    EXPECT_EQ(run.err, sjis("引数が不正です。\nusage: ") + ansi(name) +
                           sjis(" [input file] [output file]\n"));
  }
  EXPECT_FALSE(exists(dir / "b"));
}

TEST(InputChecks, UnreadableInputsFailWithOneMessage) {
  const TempDir dir;
  const Bytes fmt = chunk("fmt ", fmtBody(1, 2, 16));
  for (const Bytes& wav :
       {Bytes("not a wav file at all"), chunk("RIFF", "AVI " + fmt + chunk("data", "xxxx")),
        riffWave(fmt), riffWave(chunk("data", "1234")), riffWave(fmt + chunk("data", ""))}) {
    Extraction e = extract(SARVIK, wav);
    EXPECT_EQ(failure(e.run), kInputNotOpened);
    EXPECT_EQ(e.run.out, "");
  }
  Outcome missing = runOn(SARVIK, dir / "missing.wav", dir / "out");
  EXPECT_EQ(failure(missing), kInputNotOpened);
  EXPECT_FALSE(exists(dir / "out"));
  Outcome directory = runOn(SARVIK, dir.path(), dir / "out");
  EXPECT_EQ(failure(directory), kInputNotOpened);
}

// Anything but a regular file is refused at once: a device would be read
// for ever, a FIFO would wait for a writer.
TEST(InputChecks, DevicesAndFifosAreRefused) {
  const TempDir dir;
#ifdef _WIN32
  const std::vector<std::string> inputs = {"NUL", "CON"};
#else
  const std::vector<std::string> inputs = {"/dev/zero", "/dev/urandom", "/dev/full", dir / "fifo"};
  ASSERT_EQ(mkfifo(inputs.back().c_str(), 0600), 0);
#endif
  RunOptions quick;
  quick.timeoutSeconds = 10;
  for (const std::string& input : inputs) {
    Outcome run = runOn(SARVIK, input, dir / "out", quick);
    EXPECT_EQ(failure(run), kInputNotOpened) << input;
  }
}

// A refused format leaves an existing output as it was. An extensible
// record is linear PCM when its SubFormat GUID is PCM's and it is whole.
TEST(InputChecks, FormatRecords) {
  struct Case {
    Bytes fmt;
    std::string message;  // none: accepted
  };
  const Bytes pcmGuid("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16);
  auto extensible = [&](uint16_t channels, uint16_t bits, uint16_t cbSize, const Bytes& guid) {
    return fmtBody(0xFFFE, channels, bits) + le16(cbSize) + le16(bits) + le32(3) + guid;
  };
  const std::string linear = "Linear PCMのwavファイルではありません。\n";
  const std::string stereo16 = "2ch 16bitのwavファイルではありません。\n";
  const std::vector<Case> cases = {
      {fmtBody(3, 2, 32), "32bit float形式のwavファイルはサポートしていません。\n"},
      {fmtBody(0xFFFE, 2, 16) + le16(22) + Bytes(22, '\x01'), linear},
      {fmtBody(1, 1, 16), stereo16},
      {fmtBody(1, 2, 24), stereo16},
      // cbSize claims far more than the chunk holds: no read beyond the record.
      {fmtBody(0xFFFE, 2, 16) + le16(0xFFFF), linear},
      {Bytes(), linear},
      {extensible(2, 16, 22, pcmGuid), ""},
      {extensible(2, 24, 22, pcmGuid), stereo16},
      {extensible(1, 16, 22, pcmGuid), stereo16},
      {extensible(2, 16, 22, "\x03" + pcmGuid.substr(1)), linear},  // float
      {extensible(2, 16, 22, pcmGuid.substr(0, 15) + "\x72"), linear},
      {le16(2) + extensible(2, 16, 22, pcmGuid).substr(2), linear},  // PCM's GUID, but ADPCM
      {extensible(2, 16, 21, pcmGuid), linear},
      {extensible(2, 16, 22, pcmGuid.substr(0, 15)), linear},
  };
  for (const Case& c : cases) {
    const TempDir dir;
    writeFile(dir / "in.wav", riffWave(chunk("fmt ", c.fmt) + chunk("data", "abcd")));
    writeFile(dir / "out", "keep");
    Outcome run = runOn(SARVIK, dir / "in.wav", dir / "out");
    EXPECT_EQ(run.status, c.message.empty() ? 0 : 1);
    EXPECT_EQ(run.err, sjis(c.message));
    EXPECT_EQ(readFile(dir / "out"), c.message.empty() ? "" : "keep");
  }
}

TEST(OutputChecks, OutputThatCannotBeCreated) {
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(ac3Burst("abcd")));
  for (const std::string& out : {dir / "missing/out.ac3", dir.path()}) {
    Outcome run = runOn(SARVIK, dir / "in.wav", out);
    EXPECT_EQ(failure(run), kOutputNotCreated);
    EXPECT_EQ(run.out, "");
  }
}

TEST(OutputChecks, OutputNamingTheInputIsRefusedBeforeTruncating) {
  const TempDir dir;
  const Bytes wav = pcmWav(ac3Burst("abcd"));
  writeFile(dir / "in.wav", wav);
  std::filesystem::create_hard_link(dir / "in.wav", dir / "hard.wav");
  std::vector<std::string> names = {dir / "in.wav", dir / "./in.wav", dir / "hard.wav"};
#ifndef _WIN32  // Wine reports symbolic links as made and makes none
  std::filesystem::create_symlink(dir / "in.wav", dir / "soft.wav");
  names.push_back(dir / "soft.wav");
#endif
  for (const std::string& out : names) {
    Outcome run = runOn(SARVIK, dir / "in.wav", out);
    EXPECT_EQ(failure(run), kOutputNotCreated) << out;
    EXPECT_EQ(readFile(dir / "in.wav"), wav);
  }
}

TEST(Extraction, DataWithoutBurstsGivesAnEmptyOutputAndSucceeds) {
  const TempDir dir;
  writeFile(dir / "in.wav", pcmWav(noise(5000, 7)));
  writeFile(dir / "out", "old contents");
  Outcome run = runOn(SARVIK, dir / "in.wav", dir / "out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, summary(0, 0));
  EXPECT_EQ(readFile(dir / "out"), "");
}

TEST(Extraction, SampleCaptureGivesItsAc3Frames) {
  for (const char* program : {SARVIK, SARVIKD}) {
    const TempDir dir;
    Outcome run = runOn(program, SAMPLE_DIR "/sample.wav", dir / "out.ac3");
    EXPECT_EQ(run.status, 0);
    const Bytes out = readFile(dir / "out.ac3");
    ASSERT_EQ(out.size(), 96000u);
    for (size_t at = 0; at < out.size(); at += 768) EXPECT_EQ(out.substr(at, 2), "\x0b\x77");
    if (program == std::string(SARVIK)) {
      EXPECT_EQ(run.out, found(1, 96000) + kAc3Type + summary(125, 96000));
    }
  }
}

// Streaming recorders write 0xFFFFFFFF when they do not know the length:
// such a chunk runs to the end of the file.
TEST(Extraction, BurstsAfterTheDataChunkAreExtractedToo) {
  const Bytes payload = noise(32, 18);
  const Bytes wav = riffWave(chunk("fmt ", fmtBody(1, 2, 16)) + chunk("data", Bytes(7, '\0')) +
                             chunk("LIST", ac3Burst(payload)));
  Extraction e = extract(SARVIK, wav);
  // Offset: 7 data bytes, the pad byte, then the LIST header.
  EXPECT_EQ(e.run.out, found(1, 16) + kAc3Type + summary(1, 32));
  EXPECT_EQ(e.output, swapped(payload, 32));
}

TEST(Extraction, UnknownLengthsRunToTheEndOfTheFile) {
  const Bytes payload = noise(64, 3);
  const Bytes data = ac3Burst(payload) + noise(100, 4) + ac3Burst(payload);
  const Bytes fmt = chunk("fmt ", fmtBody(1, 2, 16));
  const Bytes dataUnknown = chunkSized("data", 0xFFFFFFFF, data);
  const Bytes dataKnown = chunk("data", data);
  const Bytes both = swapped(payload, 64) + swapped(payload, 64);
  struct Case {
    Bytes wav;
    Bytes output;
    int frames;
  };
  const std::vector<Case> cases = {
      {chunkSized("RIFF", 0xFFFFFFFF, "WAVE" + fmt + dataUnknown), both, 2},
      {chunkSized("RIFF", 0xFFFFFFFF, "WAVE" + fmt + dataKnown), both, 2},
      {riffWave(fmt + dataUnknown), both, 2},
      {riffWave(fmt + chunkSized("data", 0xFFFFFFD4, data)), both, 2},  // ends at 2^32
      // The data chunk's header is the file's last 8 bytes, past the first
      // 64 KiB that the walk reads: an empty stream.
      {riffWave(fmt + chunk("LIST", Bytes(70000, 'l')) + chunkSized("data", 0xFFFFFFFF, "")), "",
       0},
  };
  for (const Case& c : cases) {
    Extraction e = extract(SARVIK, c.wav);
    EXPECT_EQ(e.run.status, 0);
    EXPECT_EQ(e.output, c.output);
    const std::string last = summary(c.frames, static_cast<long long>(c.output.size()));
    EXPECT_EQ(e.run.out.substr(e.run.out.size() - last.size()), last);
  }
}

TEST(Extraction, BothProgramsWriteWhatTheReferenceWrites) {
  const Bytes data = Bytes(300000, '\0') + ac3Burst(noise(1536, 1)) + burst(3, 64, noise(8, 2)) +
                     burst(0x0407, 8191 * 8, noise(8192, 9)) + noise(9000, 5) +
                     burst(0x000B, 0x3001, noise(1536, 6)) + noise(7, 7);
  const Expected want = reference(data);
  Extraction normal = extract(SARVIK, pcmWav(data));
  Extraction diagnostic = extract(SARVIKD, pcmWav(data));
  EXPECT_EQ(normal.run.status, 0);
  EXPECT_EQ(diagnostic.run.status, 0);
  EXPECT_EQ(normal.run.out, want.report + want.summary);
  EXPECT_EQ(normal.output, want.output);
  EXPECT_EQ(diagnostic.output, want.output);
  EXPECT_EQ(normal.run.err, "");
  EXPECT_EQ(diagnostic.run.err, "");
}

}  // namespace
