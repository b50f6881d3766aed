// WavReader over files built by hand: the chunk walk, the format record, the
// bounds test and the states.
#include "wav/wav_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

using namespace testsupport;

namespace {

const Bytes kFmt = chunk("fmt ", fmtBody(1, 2, 16));

// Opens a reader on the bytes; returns open()'s result.
int openBytes(WavReader& reader, const Bytes& file) {
  static const TempDir dir;
  static int serial = 0;
  const std::string path = dir / (std::to_string(serial++) + ".wav");
  writeFile(path, file);
  return reader.open(path.c_str());
}

Bytes readAll(WavReader& reader) {
  Bytes all;
  char block[7];
  int32_t got;
  while ((got = reader.read(sizeof block, block)) > 0) all.append(block, size_t(got));
  EXPECT_EQ(got, 0);
  return all;
}

void expectClosed(const WavReader& reader) {
  EXPECT_EQ(reader.format(), nullptr);
  EXPECT_EQ(reader.formatSize(), 0u);
  EXPECT_EQ(reader.dataSize(), 0u);
  EXPECT_EQ(reader.blockAlign(), 0u);
  EXPECT_EQ(reader.sampleCount(), 0u);
}

TEST(WavReaderOpen, RejectsWhatIsNotAUsableWave) {
  const std::vector<Bytes> files = {
      "", "RIFF", "not a riff file, just text",
      chunk("RIFF", "AVI " + kFmt + chunk("data", "abcd")),
      riffWave(chunk("data", "abcd")),                   // no "fmt "
      riffWave(kFmt),                                    // no "data"
      riffWave(kFmt + chunk("data", "")),                // only an empty "data"
      riffWave(chunk("fmt ", "abc")).substr(0, 20),      // "fmt " cut by the end of file
      riffWave(kFmt + chunkSized("data", 100, "abcd")),  // ends past the RIFF end
      riffWave(kFmt + chunk("data", "abcd") + chunkSized("LIST", 9, "12345678")),
      chunkSized("RIFF", 20, "WAVE" + kFmt + chunk("data", "abcd")),  // RIFF size too small
      riffWave(chunkSized("fmt ", 0xFFFFFF00, fmtBody(1, 2, 16)) + chunk("data", "ab")),
      // Past the RIFF end by 2 to 4 GiB, but not to 2^32: no streaming size.
      riffWave(kFmt + chunkSized("data", 0x80000000, "abcd")),
      riffWave(kFmt + chunkSized("data", 0xC0000000, "abcd")),
      riffWave(kFmt + chunkSized("data", 0xFFFFFFD3, "abcd")),  // ends at 2^32 - 1
  };
  for (size_t i = 0; i < files.size(); ++i) {
    WavReader reader;
    EXPECT_EQ(openBytes(reader, files[i]), -1) << "file " << i;
    expectClosed(reader);
    reader.close();  // harmless on a closed reader
  }
  WavReader reader;
  EXPECT_EQ(reader.open("/nonexistent/dir/file.wav"), -1);
  expectClosed(reader);
}

TEST(WavReaderOpen, FindsRiffWaveAmongTopLevelChunks) {
  const Bytes wave = riffWave(kFmt + chunk("data", "abcd"));
  for (const Bytes& file : {chunk("JUNK", "xyz") + wave, chunk("RIFF", "AVI xx") + wave}) {
    WavReader reader;
    ASSERT_EQ(openBytes(reader, file), 1);
    ASSERT_EQ(reader.seekData(0), 1);
    EXPECT_EQ(readAll(reader), "abcd");
  }
}

// An ID3 tag is often appended to a WAV file, after the RIFF chunk: the walk
// ends at the RIFF chunk's end, and reads deliver the tag like data.
TEST(WavReaderOpen, BytesAfterTheRiffChunk) {
  const Bytes tag = "TAG" + Bytes(125, 'x');
  WavReader reader;
  ASSERT_EQ(openBytes(reader, riffWave(kFmt + chunk("data", "abcd")) + tag), 1);
  EXPECT_EQ(reader.bytesToEnd(), int64_t(4 + tag.size()));
  ASSERT_EQ(reader.seekData(0), 1);
  EXPECT_EQ(readAll(reader), "abcd" + tag);
}

TEST(WavReaderOpen, TakesTheFirstNonEmptyDataChunk) {
  WavReader reader;
  ASSERT_EQ(openBytes(reader, riffWave(chunk("data", "") + kFmt + chunk("data", "12345") +
                                       chunk("data", "zz"))),
            1);
  EXPECT_EQ(reader.dataSize(), 5u);
  EXPECT_EQ(reader.bytesToEnd(), 16);
  ASSERT_EQ(reader.seekData(1), 1);
  // Reads run on past the data chunk: its pad byte, then the next chunk.
  EXPECT_EQ(readAll(reader), Bytes("2345\0data\2\0\0\0zz", 15));
}

TEST(WavReaderOpen, OrderOfChunksDoesNotMatterAndTheFirstFmtWins) {
  WavReader reader;
  ASSERT_EQ(
      openBytes(reader, riffWave(chunk("data", "abcd") + kFmt + chunk("fmt ", fmtBody(3, 1, 32)))),
      1);
  EXPECT_EQ(reader.format()[0], 1);
  EXPECT_EQ(reader.format()[2], 2);
  // A "fmt " chunk that ends exactly where the file ends is whole.
  WavReader last;
  EXPECT_EQ(openBytes(last, riffWave(chunk("data", "abcd") + kFmt)), 1);
}

// The file's size as it was when it was opened, kLonger bytes more than it
// holds now: it was cut since.
int64_t kLonger = 0;
const SystemOps kCutOps = [] {
  SystemOps ops = kPlatformOps;
  ops.size = [](FileHandle file) { return kPlatformOps.size(file) + kLonger; };
  return ops;
}();

// A capture cut after it was opened: the walk and the reads take the file as
// it is now, never what the walk read ahead. Cut after the walk, the reads
// end at the cut; cut before the walk read the header of the chunk after the
// data chunk, the walk ends there and the reads go to the new end.
TEST(WavReaderOpen, ReadsComeFromTheFileAsItIsNow) {
  const TempDir dir;
  const Bytes file = riffWave(kFmt + chunk("data", "abcdefgh"));
  writeFile(dir / "in.wav", file);
  WavReader reader;
  ASSERT_EQ(reader.open((dir / "in.wav").c_str()), 1);
  std::filesystem::resize_file(dir / "in.wav", file.size() - 5);
  EXPECT_EQ(reader.bytesToEnd(), 8);  // as the file was opened
  ASSERT_EQ(reader.seekData(0), 1);
  EXPECT_EQ(readAll(reader), "abc");

  const Bytes whole = riffWave(kFmt + chunk("data", "abcdefgh") + chunk("LIST", "xyz!"));
  const size_t cut = whole.size() - 12 + 3;  // 3 bytes into the LIST header
  writeFile(dir / "in.wav", whole.substr(0, cut));
  kLonger = int64_t(whole.size() - cut);
  WavReader early;
  {
    const UsingSystemOps cut(kCutOps);
    ASSERT_EQ(early.open((dir / "in.wav").c_str()), 1);
  }
  ASSERT_EQ(early.seekData(0), 1);
  EXPECT_EQ(readAll(early), "abcdefghLIS");
}

// The system reads and seeks that a reader makes.
long systemCalls = 0;
const SystemOps kCountingOps = [] {
  SystemOps ops = kPlatformOps;
  ops.readSome = [](FileHandle file, void* buffer, uint32_t n) {
    ++systemCalls;
    return kPlatformOps.readSome(file, buffer, n);
  };
  ops.seek = [](FileHandle file, int64_t offset) {
    ++systemCalls;
    return kPlatformOps.seek(file, offset);
  };
  return ops;
}();

// The top-level search and the walk through the children read headers
// ahead: 64 MiB of empty chunks, 8 bytes each, take about one system read
// per 64 KiB, not one or two per chunk.
TEST(WavReaderOpen, MillionsOfEmptyChunksTakeFewSystemCalls) {
  const TempDir dir;
  const long long size = 64LL << 20;
  writeSparse(dir / "zeros.wav", size, {});
  const Bytes header = chunkSized("RIFF", 0xFFFFFFF0, "WAVE" + kFmt + chunk("data", "ab"));
  writeSparse(dir / "children.wav", size, {{0, header}});
  const UsingSystemOps counting(kCountingOps);
  for (const auto& [name, opened] :
       {std::pair<std::string, int>{"zeros.wav", -1}, {"children.wav", 1}}) {
    systemCalls = 0;
    WavReader reader;
    EXPECT_EQ(reader.open((dir / name).c_str()), opened) << name;
    EXPECT_LE(systemCalls, 2 * size / 65536 + 8) << name;
  }
}

TEST(WavReaderOpen, OddLastChunkWhosePadLiesOutsideTheRiffIsAccepted) {
  WavReader reader;
  Bytes file = chunkSized("RIFF", 4 + 24 + 8 + 3, "WAVE" + kFmt + chunk("data", "abc"));
  EXPECT_EQ(openBytes(reader, file), 1);
}

TEST(WavReaderFormat, SizesOfTheRecord) {
  struct Case {
    Bytes body;
    uint32_t formatSize;
  };
  Bytes ext = fmtBody(0xFFFE, 2, 16) + le16(22) + Bytes(22, '\x07');
  const std::vector<Case> cases = {
      {fmtBody(1, 2, 16), 18},                              // 16 bytes: cbSize reads 0
      {fmtBody(1, 2, 16) + le16(40) + Bytes(40, 'x'), 18},  // cbSize ignored for tag 1
      {fmtBody(3, 2, 32) + le16(6) + Bytes(6, 'x'), 18},
      {ext, 40},
      {fmtBody(0xFFFE, 2, 16) + le16(500), 18},  // cbSize past the chunk: bounded
      {Bytes(), 18},
      {Bytes("\x01\x00", 2), 18},
      {fmtBody(5, 2, 16).substr(0, 14), 18},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    WavReader reader;
    ASSERT_EQ(openBytes(reader, riffWave(chunk("fmt ", cases[i].body) + chunk("data", "ab"))), 1)
        << i;
    EXPECT_EQ(reader.formatSize(), cases[i].formatSize) << i;
    const Bytes record(reinterpret_cast<const char*>(reader.format()), reader.formatSize());
    Bytes expected = cases[i].body.substr(0, cases[i].formatSize);
    expected.resize(cases[i].formatSize, '\0');  // beyond the chunk: zeros
    const uint8_t tag = reader.format()[0];
    if (tag == 1 || tag == 3) expected[16] = expected[17] = 0;
    EXPECT_EQ(record, expected) << i;
  }
}

TEST(WavReaderFormat, SampleCount) {
  struct Case {
    Bytes children;
    uint32_t count;
  };
  const Bytes data = chunk("data", Bytes(1000003, '\0'));
  const std::vector<Case> cases = {
      {chunk("fact", le32(77)), 77},
      {chunk("fact", le32(0)) + chunk("fact", le32(12)), 12},
      {chunk("fact", le32(5)) + chunk("fact", le32(9)), 5},  // the first non-zero one
      {Bytes(), 250000},
      {chunk("fact", "\x05"), 5},  // a short "fact" gives only its own bytes
  };
  for (const Case& c : cases) {
    WavReader reader;
    ASSERT_EQ(openBytes(reader, riffWave(kFmt + c.children + data)), 1);
    EXPECT_EQ(reader.sampleCount(), c.count);
    EXPECT_EQ(reader.blockAlign(), 4);
  }
  WavReader zeroAlign;
  ASSERT_EQ(openBytes(zeroAlign, riffWave(chunk("fmt ", Bytes(16, '\0')) + chunk("data", "ab"))),
            1);
  EXPECT_EQ(zeroAlign.sampleCount(), 0u);
}

TEST(WavReaderState, CloseTwiceAndReopen) {
  WavReader reader;
  ASSERT_EQ(openBytes(reader, riffWave(kFmt + chunk("data", "abcd"))), 1);
  reader.close();
  expectClosed(reader);
  reader.close();
  ASSERT_EQ(openBytes(reader, riffWave(kFmt + chunk("data", "xy"))), 1);
  EXPECT_EQ(reader.dataSize(), 2u);
}

}  // namespace
