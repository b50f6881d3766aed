#include "wav/wav_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/process.h"
#include "platform/system.h"
#include "wav/little_endian.h"
#include "wav/wave_format.h"

namespace {

// A chunk id as it reads from the file, the first character lowest.
constexpr uint32_t fourCc(const char (&id)[5]) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(id[i]);
  return value;
}
constexpr uint32_t kRiff = fourCc("RIFF");
constexpr uint32_t kWave = fourCc("WAVE");
constexpr uint32_t kFmt = fourCc("fmt ");
constexpr uint32_t kData = fourCc("data");
constexpr uint32_t kFact = fourCc("fact");

// Chunk headers are read 64 KiB at a time: a file of zeros is a run of empty
// chunks, 8 bytes each, and a read per header would take millions of reads.
constexpr int32_t kAheadSize = 1 << 16;

// Nothing past 18 + the largest cbSize can ever be reported by formatSize(),
// so a larger "fmt " chunk is kept only up to there.
constexpr uint32_t kFormatLimit = wave::kRecordSize + 0xFFFF;

// A RIFF file cannot hold a chunk ending at or past 2^32: such a size (near
// 0xFFFFFFFF, written by streaming recorders that do not know the length)
// means "to the end of the file".
constexpr int64_t kRiffLimit = int64_t{1} << 32;

struct Chunk {
  uint32_t id;
  uint32_t size;
  int64_t dataOffset;  // just after the 8-byte header
  // In 64 bits, so that no end wraps around.
  int64_t end() const { return dataOffset + size; }
  // Where the next chunk starts: a chunk of odd size is followed by a pad byte.
  int64_t next() const { return end() + (size & 1); }
};

enum class Step { found, end, failed };

// The file as the walk sees it: no byte past the size it had when it was
// opened, so that a capture still being recorded gives the walk an end.
struct Walk {
  const SystemOps& ops;
  FileHandle file;
  int64_t size;
  Owned<uint8_t> ahead;  // kAheadSize bytes; aheadLength of them read from aheadStart
  int64_t aheadStart;
  int32_t aheadLength;
};

bool seekTo(const Walk& w, int64_t at) { return w.ops.seek(w.file, at) == at; }

// count bytes at offset at, from the file: the bytes read, or -1. Once an
// interrupt has come, the walk reads no more: the run is over.
int32_t readFile(const Walk& w, int64_t at, uint8_t* out, int32_t count) {
  if (interruptCame()) return -1;
  return seekTo(w, at) ? fileReadFull(w.ops, w.file, out, count) : -1;
}

// The n bytes at offset at when the read-ahead holds all of them, else null.
const uint8_t* held(const Walk& w, int64_t at, int32_t n) {
  const bool inside = at >= w.aheadStart && at + n <= w.aheadStart + w.aheadLength;
  return inside ? w.ahead.get() + (at - w.aheadStart) : nullptr;
}

// The n bytes of a header or a form type at offset at, read ahead from at
// when the read-ahead does not hold them.
Step peek(Walk& w, int64_t at, int32_t n, const uint8_t** bytes) {
  *bytes = held(w, at, n);
  if (*bytes) return Step::found;
  if (at + n > w.size) return Step::end;
  const auto wanted = static_cast<int32_t>(std::min<int64_t>(kAheadSize, w.size - at));
  const int32_t got = readFile(w, at, w.ahead.get(), wanted);
  w.aheadStart = at;
  w.aheadLength = std::max(got, 0);
  if (got < 0) return Step::failed;
  *bytes = held(w, at, n);
  return *bytes ? Step::found : Step::end;  // a file cut since it was opened ends here
}

// count bytes at offset at, from the read-ahead when it holds them all: the
// bytes read, or -1.
int32_t readAt(Walk& w, int64_t at, uint8_t* out, int32_t count) {
  const uint8_t* bytes = held(w, at, count);
  if (!bytes) return readFile(w, at, out, count);
  std::memcpy(out, bytes, static_cast<size_t>(count));
  return count;
}

// The header of the chunk at offset at. Step::end when at is not before
// limit, or the file ends before a whole header.
Step descend(Walk& w, int64_t at, int64_t limit, Chunk* chunk) {
  const uint8_t* header = nullptr;
  const Step step = at < limit ? peek(w, at, 8, &header) : Step::end;
  if (step == Step::found) *chunk = {readLe32(header), readLe32(header + 4), at + 8};
  return step;
}

// Searches the top-level chunks from the start of the file for "RIFF" of
// form "WAVE".
Step findRiffWave(Walk& w, Chunk* riff) {
  for (int64_t at = 0;; at = riff->next()) {
    Step step = descend(w, at, w.size, riff);
    if (step != Step::found) return step;
    if (riff->id != kRiff) continue;
    const uint8_t* form = nullptr;
    step = peek(w, riff->dataOffset, 4, &form);
    if (step == Step::failed || (step == Step::found && readLe32(form) == kWave)) return step;
  }
}

// The "fmt " chunk's bytes in a zero-filled block of *blockSize bytes, at
// least 18; null when there is no block or the chunk cannot be read in full.
Owned<uint8_t> readFormat(Walk& w, const Chunk& fmt, uint32_t* blockSize) {
  // A chunk the file does not hold in full fails before its size is allocated.
  if (fmt.end() > w.size) return nullptr;
  const uint32_t kept = std::min(fmt.size, kFormatLimit);
  *blockSize = std::max(kept, wave::kRecordSize);
  Owned<uint8_t> record = memoryBytes(*blockSize);
  if (!record || readAt(w, fmt.dataOffset, record.get(), static_cast<int32_t>(kept)) !=
                     static_cast<int32_t>(kept)) {
    return nullptr;
  }
  // PCM and float records have no extension, whatever the file holds there.
  const uint16_t tag = readLe16(record.get() + wave::kFormatTagOffset);
  if (tag == wave::kTagPcm || tag == wave::kTagFloat) {
    record.get()[wave::kCbSizeOffset] = record.get()[wave::kCbSizeOffset + 1] = 0;
  }
  return record;
}

// Only the chunk's own bytes count; a short chunk gives a short count.
bool readFact(Walk& w, const Chunk& fact, uint32_t* count) {
  uint8_t bytes[4] = {};
  const int64_t n = std::min<int64_t>({fact.size, 4, w.size - fact.dataOffset});
  if (readAt(w, fact.dataOffset, bytes, static_cast<int32_t>(n)) < 0) return false;
  *count = readLe32(bytes);
  return true;
}

}  // namespace

int WavReader::open(const char* path) {
  format_.reset();
  formatBlockSize_ = dataSize_ = sampleCount_ = 0;
  ops_ = &systemOps();
  file_ = ops_->openRead(path);
  if (!isOpen()) return -1;
  if (!walkChunks()) {
    close();
    return -1;
  }
  return 1;
}

bool WavReader::walkChunks() {
  Walk walk{*ops_, file_, ops_->size(file_), memoryBytes(kAheadSize), 0, 0};
  Chunk riff{};
  if (walk.size < 0 || !walk.ahead || findRiffWave(walk, &riff) != Step::found) return false;
  fileEnd_ = walk.size;
  Chunk child{};
  int64_t at = riff.dataOffset + 4;  // after the form type
  Step step;
  for (; (step = descend(walk, at, riff.end(), &child)) == Step::found; at = child.next()) {
    if (child.end() > riff.end() && child.end() < kRiffLimit) return false;
    switch (child.id) {
      case kFmt:
        if (format_) break;
        format_ = readFormat(walk, child, &formatBlockSize_);
        if (!format_) return false;
        break;
      case kData:
        if (dataSize_ == 0) {
          dataSize_ = child.size;
          dataOffset_ = child.dataOffset;
        }
        break;
      case kFact:
        if (sampleCount_ == 0 && !readFact(walk, child, &sampleCount_)) return false;
        break;
      default:
        break;
    }
  }
  // No further child is the normal end; a file that failed is not.
  if (step == Step::failed || !format_ || dataSize_ == 0) return false;
  if (sampleCount_ == 0 && blockAlign() != 0) sampleCount_ = dataSize_ / blockAlign();
  // Until seekData moves it, the position is where the walk ended.
  return seekTo(walk, at);
}

void WavReader::close() {
  if (!isOpen()) return;
  format_.reset();
  ops_->close(file_);
  file_ = kNoFile;
}

int32_t WavReader::read(int32_t count, void* buffer) {
  return fileReadFull(*ops_, file_, buffer, count);
}

int WavReader::seekData(uint32_t offset) {
  const int64_t to = dataOffset_ + offset;
  return ops_->seek(file_, to) == to ? 1 : -1;
}

uint32_t WavReader::formatSize() const {
  if (!isOpen()) return 0;
  return std::min<uint32_t>(wave::kRecordSize + readLe16(format_.get() + wave::kCbSizeOffset),
                            formatBlockSize_);
}

uint16_t WavReader::blockAlign() const {
  return isOpen() ? readLe16(format_.get() + wave::kBlockAlignOffset) : 0;
}
