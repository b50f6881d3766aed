// WavReader: the only access to the input file. open() walks the children of
// the RIFF/WAVE chunk once, keeps a copy of the first "fmt " chunk, the offset
// and size of the first non-empty "data" chunk and a sample count; read() then
// hands out raw file bytes from wherever seekData() put the position, up to
// the end of the file (not bounded by the data chunk).
#pragma once

#include <cstdint>

#include "platform/memory.h"
#include "platform/system.h"

class WavReader {
 public:
  WavReader() = default;
  ~WavReader() { close(); }
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  // 1 on success (the reader is then open), -1 on failure (it stays closed).
  // REQUIRES: the reader is closed.
  int open(const char* path);
  // Releases the format record and closes the file; nothing on a closed reader.
  void close();

  // REQUIRES: open. Bytes read, 0 at the end of the file, -1 when a read
  // failed, also after some bytes.
  int32_t read(int32_t count, void* buffer);
  // REQUIRES: open. Positions at data offset + offset; 1, or -1 on failure.
  int seekData(uint32_t offset);

  // Null / 0 on a closed reader.
  const uint8_t* format() const { return isOpen() ? format_.get() : nullptr; }
  // 18 + cbSize, never more than the record's block holds.
  uint32_t formatSize() const;
  uint32_t dataSize() const { return isOpen() ? dataSize_ : 0; }
  uint16_t blockAlign() const;
  uint32_t sampleCount() const { return isOpen() ? sampleCount_ : 0; }
  // The bytes from the data's start to the end of the file as it was opened.
  int64_t bytesToEnd() const { return isOpen() ? fileEnd_ - dataOffset_ : 0; }

 private:
  bool isOpen() const { return file_ != kNoFile; }
  bool walkChunks();

  const SystemOps* ops_ = nullptr;  // the ones the file was opened with
  FileHandle file_ = kNoFile;
  Owned<uint8_t> format_;
  uint32_t formatBlockSize_ = 0;
  int64_t dataOffset_ = 0;
  int64_t fileEnd_ = 0;
  uint32_t dataSize_ = 0;
  uint32_t sampleCount_ = 0;
};
