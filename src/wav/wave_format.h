// The WAVE format record (WAVEFORMATEX) as stored in a "fmt " chunk:
// little-endian fields at fixed offsets.
#pragma once

#include <cstdint>

namespace wave {

// Where each field lies in the record.
constexpr uint32_t kFormatTagOffset = 0;       // wFormatTag
constexpr uint32_t kChannelsOffset = 2;        // nChannels
constexpr uint32_t kBlockAlignOffset = 12;     // nBlockAlign
constexpr uint32_t kBitsPerSampleOffset = 14;  // wBitsPerSample
constexpr uint32_t kCbSizeOffset = 16;         // cbSize
constexpr uint32_t kHeaderSize = 18;           // up to and including cbSize

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;

// The 16-bit field at offset `at` of the record.
inline uint16_t field16(const uint8_t* record, uint32_t at) {
  return static_cast<uint16_t>(record[at] | record[at + 1] << 8);
}

}  // namespace wave
