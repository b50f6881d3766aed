// The output file over file operations in memory, put in place when it is created:
// payloads reach the file in order through both buffers and the writer
// thread, a flush waits until they are there, and a failing write keeps
// exactly the bytes before the failure.
#include "output/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "test_support.h"

using namespace testsupport;

namespace {

struct MemoryFile {
  Bytes bytes;
  long long failAt;  // takes this many bytes, then fails; -1: never
} memory;

FileHandle createInMemory(const char*) { return 1; }
long writeToMemory(FileHandle, const void* data, uint32_t n) {
  const long long room = memory.failAt < 0 ? n : memory.failAt - (long long)memory.bytes.size();
  if (room <= 0) return -1;
  n = uint32_t(std::min<long long>(n, room));
  memory.bytes.append(static_cast<const char*>(data), n);
  return long(n);
}
bool closeMemory(FileHandle) { return true; }

TEST(OutputFile, WritesInOrderFlushesAndKeepsWhatFitsBeforeAFailure) {
  SystemOps ops = kPlatformOps;
  ops.create = createInMemory;
  ops.writeSome = writeToMemory;
  ops.close = closeMemory;
  const Bytes data = noise(3 << 20, 1);  // three buffers' worth
  for (const long long failAt : {-1LL, 0LL, 5000LL, 1LL << 20, (1LL << 20) + 7, (3LL << 20) - 1}) {
    memory = {"", failAt};
    const UsingSystemOps inMemory(ops);
    const auto output = OutputFile::create("memory");
    ASSERT_TRUE(output);
    size_t committed = 0;
    for (int piece = 0; committed < data.size(); ++piece) {
      const uint32_t n = uint32_t(std::min<size_t>(kLargestPayload, data.size() - committed));
      uint8_t* room = output->reserve(n);
      if (!room) break;  // a write failed: nothing more is taken
      std::memcpy(room, data.data() + committed, n);
      output->commit(n);
      committed += n;
      if (piece % 100 == 99 && output->flush()) {
        EXPECT_EQ(memory.bytes.size(), committed) << failAt;
      }
    }
    EXPECT_EQ(output->close(), failAt < 0) << failAt;
    EXPECT_EQ(memory.bytes, data.substr(0, failAt < 0 ? data.size() : size_t(failAt))) << failAt;
  }
}

// The buffers are not written before they are used, so that the pages of a
// run that writes little stay out of memory: a block that the allocation
// marks keeps its marks.
TEST(OutputFile, BuffersAreUntouchedUntilUsed) {
  static size_t size = 0;
  SystemOps marking = kPlatformOps;
  marking.allocate = [](size_t n) { return std::memset(std::malloc(size = n), 0xA5, n); };
  const TempDir dir;
  const UsingSystemOps marked(marking);
  const auto output = OutputFile::create((dir / "out").c_str());
  ASSERT_TRUE(output);
  const auto* block = reinterpret_cast<const uint8_t*>(output.get());
  EXPECT_GE(std::count(block, block + size, 0xA5), 2 * OutputFile::kBufferSize);
}

// Another program may read the output while the run writes it.
TEST(OutputFile, CanBeReadWhileItIsWritten) {
  const TempDir dir;
  const auto output = OutputFile::create((dir / "out").c_str());
  ASSERT_TRUE(output);
  std::memcpy(output->reserve(4), "abcd", 4);
  output->commit(4);
  ASSERT_TRUE(output->flush());
  EXPECT_EQ(readFile(dir / "out"), "abcd");
  EXPECT_TRUE(output->close());
}

}  // namespace
