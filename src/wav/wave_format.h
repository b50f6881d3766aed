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
constexpr uint32_t kRecordSize = 18;           // WAVEFORMATEX, up to and including cbSize

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;

}  // namespace wave
