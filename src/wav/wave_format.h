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
// WAVE_FORMAT_EXTENSIBLE goes on after cbSize (at least 22):
// wValidBitsPerSample, dwChannelMask, then the SubFormat GUID that says what
// the samples are.
constexpr uint32_t kSubFormatOffset = 24;
constexpr uint32_t kExtensibleSize = 40;

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00aa00389b71, as stored.
constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

}  // namespace wave
