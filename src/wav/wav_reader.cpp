#include "wav/wav_reader.h"

#include <algorithm>
#include <cstdio>

#include "wav/little_endian.h"
#include "wav/wave_format.h"

namespace {

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
constexpr FOURCC kFact = mmioFOURCC('f', 'a', 'c', 't');

// Nothing past 18 + the largest cbSize can ever be reported by formatSize(),
// so a larger "fmt " chunk is kept only up to there.
constexpr uint32_t kFormatLimit = wave::kRecordSize + 0xFFFF;

// A RIFF file cannot hold a chunk ending at or past 2^32: such a size (near
// 0xFFFFFFFF, written by streaming recorders that do not know the length)
// means "to the end of the file".
constexpr uint64_t kRiffLimit = uint64_t{1} << 32;

}  // namespace

int WavReader::open(const char* path) {
  format_.reset();
  formatBlockSize_ = 0;
  dataSize_ = 0;
  sampleCount_ = 0;
  file_ = mmioOpenA(path, nullptr, 0);
  if (!file_) return -1;
  if (!walkChunks()) {
    close();
    return -1;
  }
  return 1;
}

bool WavReader::walkChunks() {
  const int64_t fileSize = mmioSeek(file_, 0, SEEK_END);
  if (fileSize < 0 || mmioSeek(file_, 0, SEEK_SET) != 0) return false;
  fileEnd_ = fileSize;

  MMCKINFO riff;
  riff.fccType = kWave;
  if (mmioDescend(file_, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return false;
  const uint64_t riffEnd = riff.dwDataOffset + riff.cksize;

  MMCKINFO child;
  int descended;
  while ((descended = mmioDescend(file_, &child, &riff, 0)) == MMSYSERR_NOERROR) {
    const uint64_t childEnd = child.dwDataOffset + child.cksize;
    if (childEnd > riffEnd && childEnd < kRiffLimit) return false;
    switch (child.ckid) {
      case kFmt:
        if (!format_ && !takeFormat(child, static_cast<uint64_t>(fileSize))) return false;
        break;
      case kData:
        if (dataSize_ == 0) {
          dataSize_ = child.cksize;
          dataOffset_ = child.dwDataOffset;
        }
        break;
      case kFact:
        if (sampleCount_ == 0) sampleCount_ = readFactCount(child);
        break;
      default:
        break;
    }
    mmioAscend(file_, &child, 0);
  }
  // No further child is the normal end; a file that failed is not.
  if (descended != MMIOERR_CHUNKNOTFOUND) return false;

  if (!format_ || dataSize_ == 0) return false;
  if (sampleCount_ == 0 && blockAlign() != 0) sampleCount_ = dataSize_ / blockAlign();
  return true;
}

bool WavReader::takeFormat(const MMCKINFO& chunk, uint64_t fileSize) {
  // A chunk the file does not hold in full fails before its size is allocated.
  if (chunk.dwDataOffset + chunk.cksize > fileSize) return false;
  const uint32_t kept = std::min(chunk.cksize, kFormatLimit);
  formatBlockSize_ = std::max(kept, wave::kRecordSize);
  // Zero-filled, so a short chunk leaves no field undefined.
  format_ = memoryBytes(formatBlockSize_);
  if (!format_) return false;
  if (mmioRead(file_, format_.get(), static_cast<int32_t>(kept)) != static_cast<int32_t>(kept)) {
    return false;
  }
  const uint16_t tag = readLe16(format_.get() + wave::kFormatTagOffset);
  if (tag == wave::kTagPcm || tag == wave::kTagFloat) {
    format_.get()[wave::kCbSizeOffset] = format_.get()[wave::kCbSizeOffset + 1] = 0;
  }
  return true;
}

uint32_t WavReader::readFactCount(const MMCKINFO& chunk) {
  // Only the chunk's own bytes count; a short chunk gives a short count.
  uint8_t bytes[4] = {};
  mmioRead(file_, bytes, static_cast<int32_t>(std::min<uint32_t>(chunk.cksize, 4)));
  return readLe32(bytes);
}

void WavReader::close() {
  if (!file_) return;
  format_.reset();
  mmioClose(file_, 0);
  file_ = nullptr;
}

int32_t WavReader::read(int32_t count, void* buffer) { return mmioRead(file_, buffer, count); }

int WavReader::seekData(uint32_t offset) {
  return mmioSeek(file_, static_cast<int64_t>(dataOffset_ + offset), SEEK_SET) == -1 ? -1 : 1;
}

uint32_t WavReader::formatSize() const {
  if (!file_) return 0;
  return std::min<uint32_t>(wave::kRecordSize + readLe16(format_.get() + wave::kCbSizeOffset),
                            formatBlockSize_);
}

uint16_t WavReader::blockAlign() const {
  return file_ ? readLe16(format_.get() + wave::kBlockAlignOffset) : 0;
}
