#include "burst/burst_extractor.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "burst/texts.h"

namespace {

constexpr int kPauseType = 3;

// Eight zero bytes, then the sync words Pa = 0xF872 and Pb = 0x4E1F, little-endian.
constexpr uint8_t kPreamble[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0x72, 0xF8, 0x1F, 0x4E};

int32_t padded(int32_t n) { return n + (n & 1); }

// The length code Pd counts bits, but bytes for DTS type IV (17), E-AC-3
// (21) and MAT (22), whose payloads a count of bits could not hold.
constexpr uint32_t kLengthInBytes = 1u << 17 | 1u << 21 | 1u << 22;

// MPEG audio and AAC (4 to 10, 19, 20): an odd frame is carried with one
// stuffing byte, which some senders count in the length code. The frame's
// own header tells, from the payload's first four words.
constexpr uint32_t kFramedTypes = 0x7F0u | 1u << 19 | 1u << 20;
constexpr int32_t kFrameHeaderSize = 8;

// The length of the ADTS or MPEG audio frame whose header opens the payload
// (stored as 16-bit little-endian words), or 0 where there is none or its
// length is free.
int32_t frameLength(const uint8_t* payload) {
  uint8_t h[6];
  for (int i = 0; i < 6; ++i) h[i] = payload[i ^ 1];
  if (h[0] != 0xFF) return 0;
  if ((h[1] & 0xF6) == 0xF0) return (h[3] & 3) << 11 | h[4] << 3 | h[5] >> 5;  // ADTS
  // kbit/s by bitrate index 1 to 14: MPEG-1 Layer I, II, III; MPEG-2 and 2.5
  // Layer I, and Layer II and III.
  static constexpr uint16_t kBitrates[5][14] = {
      {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
      {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  static constexpr int32_t kRates[3] = {44100, 48000, 32000};  // MPEG-1's
  const int version = h[1] >> 3 & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
  const int layer = 4 - (h[1] >> 1 & 3), bitrateIndex = h[2] >> 4, rateIndex = h[2] >> 2 & 3;
  if ((h[1] & 0xE0) != 0xE0 || version == 1 || layer == 4 || bitrateIndex % 15 == 0 ||
      rateIndex == 3) {
    return 0;  // reserved, or a free bitrate
  }
  const bool mpeg1 = version == 3;
  const int row = mpeg1 ? layer - 1 : layer == 1 ? 3 : 4;
  const int32_t bitrate = 1000 * kBitrates[row][bitrateIndex - 1];
  const int32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const int padding = h[2] >> 1 & 1;
  if (layer == 1) return (12 * bitrate / rate + padding) * 4;
  return (layer == 3 && !mpeg1 ? 72 : 144) * bitrate / rate + padding;
}

// The payload's length without a stuffing byte that the length code counted.
int32_t withoutStuffing(const uint8_t* payload, int32_t length) {
  return frameLength(payload) == length - 1 ? length - 1 : length;
}

bool isHeader(const uint8_t* p) { return std::memcmp(p, kPreamble, sizeof kPreamble) == 0; }

// The first offset in [p, last] at which a header starts, or last + 1, one
// candidate at a time: where the first sync byte is.
int32_t findHeaderBytewise(const uint8_t* block, int32_t p, int32_t last) {
  while (p <= last) {
    const void* sync = std::memchr(block + p + 8, kPreamble[8], static_cast<size_t>(last - p + 1));
    if (!sync) break;
    p = static_cast<int32_t>(static_cast<const uint8_t*>(sync) - block) - 8;
    if (isHeader(block + p)) return p;
    // The non-zero byte at p + 8 cannot lie among the zeros of a later header.
    p += 9;
  }
  return last + 1;
}

// The first offset in [p, last] at which a header starts, or last + 1: the
// offset a comparison at every byte finds, found faster. With SSE2 (every
// x86-64), sixty-four offsets at a time: bit i of the mask is set when both
// Pa bytes lie at p + 8 + i, and only those offsets are compared in full, in
// turn; the loads stay within the block (p + 63 <= last = size - 16).
int32_t findHeader(const uint8_t* block, int32_t p, int32_t last) {
#if defined(__SSE2__)
  const __m128i pa0 = _mm_set1_epi8(static_cast<char>(kPreamble[8]));
  const __m128i pa1 = _mm_set1_epi8(static_cast<char>(kPreamble[9]));
  auto bits = [&](const uint8_t* at) {  // 16 offsets
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    return static_cast<uint64_t>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(b0, pa0), _mm_cmpeq_epi8(b1, pa1))));
  };
  for (; p + 63 <= last; p += 64) {
    const uint8_t* at = block + p + 8;
    uint64_t mask = bits(at) | bits(at + 16) << 16 | bits(at + 32) << 32 | bits(at + 48) << 48;
    for (; mask != 0; mask &= mask - 1) {
      const int32_t candidate = p + __builtin_ctzll(mask);
      if (isHeader(block + candidate)) return candidate;
    }
  }
#endif
  return findHeaderBytewise(block, p, last);
}

// 16-bit little-endian words to big-endian; of an odd count the last byte is
// the high byte of the final word, whose low byte (the filler) is dropped.
void swapWords(uint8_t* out, const uint8_t* in, int32_t n) {
  int32_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {  // eight words at a time
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_or_si128(_mm_slli_epi16(words, 8), _mm_srli_epi16(words, 8)));
  }
#endif
  for (; i + 8 <= n; i += 8) {  // four words at a time
    uint64_t words;
    std::memcpy(&words, in + i, 8);
    words = (words & 0x00FF00FF00FF00FFu) << 8 | (words >> 8 & 0x00FF00FF00FF00FFu);
    std::memcpy(out + i, &words, 8);
  }
  for (; i + 1 < n; i += 2) {
    out[i] = in[i + 1];
    out[i + 1] = in[i];
  }
  if (n & 1) out[n - 1] = in[n];
}

}  // namespace

template <bool kDiagnostic>
ExtractResult extractBursts(BlockSource& source, int32_t blockSize, OutputSink& output,
                            ReportSink& report) {
  int32_t carry = 0;
  long long streamBase = 0;  // stream offset of the byte at the start of the block
  long long bytesWritten = 0;
  long long burstCount = 0;
  int currentType = -1;
  bool pending = false;
  int32_t remaining = 0;
  // The length code of a pending payload whose frame header the block end
  // cut, to be settled from the next block; 0 when there is none.
  int32_t unsettled = 0;
  bool headerReported = false;

  // Payloads are swapped straight into the output's buffer, and full buffers
  // are written while the scan goes on.
  auto writePayload = [&](const uint8_t* payload, int32_t n) {
    bytesWritten += n;
    uint8_t* room = output.reserve(static_cast<uint32_t>(n));
    if (!room) return false;
    swapWords(room, payload, n);
    output.commit(static_cast<uint32_t>(n));
    return true;
  };
  // Every report line goes out through here. The payloads before it are
  // written first, and a failed write ends the loop before the line: the
  // report is that of one write per burst, whatever the buffer holds.
  auto say = [&](const char* format, auto... values) {
    if (!output.flush()) return false;
    char line[256];  // the longest line takes less than 100 bytes
    const int n = std::snprintf(line, sizeof line, format, values...);
    report.line(line, static_cast<size_t>(std::min<int>(n, sizeof line - 1)));
    return true;
  };

  // Ends the loop with what the output was handed written: a write that
  // failed before comes first.
  auto finish = [&](ExtractResult result) {
    return output.flush() ? result : ExtractResult::writeFailed;
  };

  for (;;) {
    // Once the source is stopped, no read is traced or made.
    if (source.stopped()) return finish(ExtractResult::stopped);
    const int32_t wanted = blockSize - carry;
    if (kDiagnostic && !say(text::kTraceRead, wanted)) return ExtractResult::writeFailed;
    const uint8_t* fresh = nullptr;
    const int32_t got = source.next(wanted, &fresh);
    // Stopped during the read: a block that came is still scanned, but the
    // end or an error is not reported.
    if (got <= 0 && source.stopped()) return finish(ExtractResult::stopped);
    if (got < 0) return finish(ExtractResult::readFailed);
    if (got == 0) {
      return say(text::kSummary, burstCount, bytesWritten) ? ExtractResult::ended
                                                           : ExtractResult::writeFailed;
    }
    // The carried bytes are the last ones delivered: they lie just before.
    const uint8_t* const block = fresh - carry;
    const int32_t size = got + carry;
    int32_t pos = 0;

    if (pending) {
      pending = false;
      if (unsettled > 0) {
        // A frame header that the block end cut: the part written lies just
        // before the block, among the bytes delivered last.
        const int32_t done = unsettled - remaining;
        if (done + size >= kFrameHeaderSize) {
          remaining -= unsettled - withoutStuffing(block - done, unsettled);
        }
        unsettled = 0;
      }
      const bool complete = size >= padded(remaining);
      const int32_t n = complete ? remaining : size & ~1;
      if (!complete && !say("%s", text::kTruncated)) return ExtractResult::writeFailed;
      if (kDiagnostic && !say(text::kTraceRemaining, n, bytesWritten, bytesWritten)) {
        return ExtractResult::writeFailed;
      }
      if (!writePayload(block, n)) return ExtractResult::writeFailed;
      pos = complete ? padded(n) : size;
    }

    while (pos + kBurstHeaderSize <= size) {
      pos = findHeader(block, pos, size - kBurstHeaderSize);
      if (pos + kBurstHeaderSize > size) break;
      const uint8_t* const header = block + pos;
      const int type = header[12] & 0x1F;
      const int32_t pd = header[14] | header[15] << 8;
      const int32_t coded = kLengthInBytes >> type & 1 ? pd : pd >> 3;

      ++burstCount;
      if (kDiagnostic && !say(text::kTraceHeader, header[13], header[12], coded)) {
        return ExtractResult::writeFailed;
      }
      if (kDiagnostic || !headerReported) {
        if (!say(text::kHeaderFound, burstCount, streamBase + pos)) {
          return ExtractResult::writeFailed;
        }
        headerReported = true;
      }
      if (type != currentType) {
        if (!say("%s%s", text::kDataType, text::typeLabel(type))) {
          return ExtractResult::writeFailed;
        }
        currentType = type;
      }
      if (type == kPauseType) {
        // Neither counted nor written; the scan walks on through its payload.
        --burstCount;
        headerReported = false;
        ++pos;
        continue;
      }

      const int32_t avail = size - pos - kBurstHeaderSize;
      int32_t length = coded;
      if ((kFramedTypes >> type & 1) && coded % 2 == 0 && coded >= kFrameHeaderSize) {
        if (avail >= kFrameHeaderSize) {
          length = withoutStuffing(header + kBurstHeaderSize, coded);
        } else {
          unsettled = coded;  // the stuffing byte is last: the part before it is written alike
        }
      }
      int32_t n = length;
      if (avail < padded(length)) {
        pending = true;
        n = avail & ~1;
        remaining = length - n;
      }
      if (kDiagnostic && !say(text::kTraceWrite, n, bytesWritten, bytesWritten)) {
        return ExtractResult::writeFailed;
      }
      if (!writePayload(header + kBurstHeaderSize, n)) return ExtractResult::writeFailed;
      if (pending) {
        // Of an odd count, the block's last byte is the first of a word the
        // block end cut: it is carried, and the rest of the payload starts
        // with it.
        pos = size - (avail & 1);
        break;
      }
      pos += kBurstHeaderSize + padded(length);
    }

    // The unscanned bytes (fewer than 16, or the held byte of a split
    // payload) are carried: a header cut by the block end is found in the
    // next pass.
    carry = size - pos;
    streamBase += pos;
  }
}

template ExtractResult extractBursts<false>(BlockSource&, int32_t, OutputSink&, ReportSink&);
template ExtractResult extractBursts<true>(BlockSource&, int32_t, OutputSink&, ReportSink&);
