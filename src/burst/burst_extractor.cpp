#include "burst/burst_extractor.h"

#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "burst/report_text.h"

namespace {

constexpr int32_t kBlockSize = 0x40000;  // read area: carried bytes plus one read
constexpr int32_t kStagingSize = 8192;   // one converted payload; at most 65535 >> 3 bytes
constexpr int32_t kHeaderSize = 16;
// The carried bytes (at most 15) sit just before the read target, which is
// kept 64-byte aligned: the system copies into aligned memory several times
// faster.
constexpr int32_t kCarryRoom = 64;
constexpr int kPauseType = 3;

// Eight zero bytes, then the sync words Pa = 0xF872 and Pb = 0x4E1F, little-endian.
constexpr uint8_t kPreamble[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0x72, 0xF8, 0x1F, 0x4E};

int32_t padded(int32_t n) { return n + (n & 1); }

bool isHeader(const uint8_t* p) { return std::memcmp(p, kPreamble, sizeof kPreamble) == 0; }

// The first offset p in [from, last] at which a header starts, or last + 1:
// the offset a comparison at every byte finds, found faster.
int32_t findHeader(const uint8_t* block, int32_t from, int32_t last) {
  int32_t p = from;
#if defined(__SSE2__)
  // Sixty-four offsets at a time: only offsets whose two Pa bytes match are
  // compared in full. The loads stay within the block (p + 63 <= last =
  // size - 16).
  const __m128i pa0 = _mm_set1_epi8(static_cast<char>(kPreamble[8]));
  const __m128i pa1 = _mm_set1_epi8(static_cast<char>(kPreamble[9]));
  auto paAt = [&](int32_t at) {  // 16 offsets from at: both Pa bytes match
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + at + 8));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + at + 9));
    return _mm_and_si128(_mm_cmpeq_epi8(b0, pa0), _mm_cmpeq_epi8(b1, pa1));
  };
  for (; p + 63 <= last; p += 64) {
    const __m128i m0 = paAt(p), m1 = paAt(p + 16), m2 = paAt(p + 32), m3 = paAt(p + 48);
    const __m128i any = _mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3));
    if (_mm_movemask_epi8(any) == 0) continue;
    auto bits = [](__m128i m) { return static_cast<uint64_t>(_mm_movemask_epi8(m)); };
    uint64_t mask = bits(m0) | bits(m1) << 16 | bits(m2) << 32 | bits(m3) << 48;
    for (; mask != 0; mask &= mask - 1) {
      const int32_t candidate = p + __builtin_ctzll(mask);
      if (isHeader(block + candidate)) return candidate;
    }
  }
#endif
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

// 16-bit little-endian words to big-endian; of an odd count the last byte is
// the high byte of the final word, whose low byte (the filler) is dropped.
void swapWords(uint8_t* out, const uint8_t* in, int32_t n) {
  int32_t i = 0;
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
ExtractResult extractBursts(WavReader& reader, OutputFile* output) {
  alignas(64) uint8_t work[kStagingSize + kCarryRoom + kBlockSize];
  uint8_t* const staging = work;
  uint8_t* const target = work + kStagingSize + kCarryRoom;

  int32_t carry = 0;
  long long streamBase = 0;
  long long bytesWritten = 0;
  long long burstCount = 0;
  int currentType = -1;
  bool pending = false;
  int32_t remaining = 0;
  bool holdPending = false;
  uint8_t heldByte = 0;
  bool headerReported = false;

  auto writePayload = [&](const uint8_t* payload, int32_t n) {
    bytesWritten += n;
    swapWords(staging, payload, n);
    return outputWrite(output, staging, static_cast<uint32_t>(n));
  };

  for (;;) {
    if (holdPending) {
      target[-1] = heldByte;
      carry = 1;
      --streamBase;
      holdPending = false;
    }
    uint8_t* const block = target - carry;
    const int32_t wanted = kBlockSize - carry;
    if constexpr (kDiagnostic) printf(report::kTraceRead, wanted);
    const int32_t got = reader.read(wanted, target);
    if (got < 0) return ExtractResult::readFailed;
    if (got == 0) {
      if (!outputFlush(output)) return ExtractResult::writeFailed;
      printf(report::kSummary, burstCount, bytesWritten);
      return ExtractResult::ended;
    }
    const int32_t size = got + carry;
    int32_t pos = 0;

    if (pending) {
      pending = false;
      const bool complete = size >= padded(remaining);
      const int32_t n = complete ? remaining : size & ~1;
      if (!complete) fputs(report::kTruncated, stdout);
      if constexpr (kDiagnostic) printf(report::kTraceRemaining, n, bytesWritten, bytesWritten);
      if (!writePayload(block, n)) return ExtractResult::writeFailed;
      pos = complete ? padded(n) : size;
    }

    while (pos + kHeaderSize <= size) {
      pos = findHeader(block, pos, size - kHeaderSize);
      if (pos + kHeaderSize > size) break;
      const uint8_t* const header = block + pos;
      const int type = header[12] & 0x1F;
      const int32_t length = (header[14] | header[15] << 8) >> 3;

      ++burstCount;
      if constexpr (kDiagnostic) printf(report::kTraceHeader, header[13], header[12], length);
      if (kDiagnostic || !headerReported) {
        printf(report::kHeaderFound, burstCount, streamBase + pos);
        headerReported = true;
      }
      if (type != currentType) {
        fputs(report::kDataType, stdout);
        fputs(report::typeLabel(type), stdout);
        currentType = type;
      }
      if (type == kPauseType) {
        // Neither counted nor written; the scan walks on through its payload.
        --burstCount;
        headerReported = false;
        ++pos;
        continue;
      }

      const int32_t avail = size - pos - kHeaderSize;
      int32_t n = length;
      if (avail < padded(length)) {
        pending = true;
        n = avail & ~1;
        if (avail & 1) {
          holdPending = true;  // the first byte of a word cut by the block end
          heldByte = block[size - 1];
        }
        remaining = length - n;
      }
      if constexpr (kDiagnostic) printf(report::kTraceWrite, n, bytesWritten, bytesWritten);
      if (!writePayload(header + kHeaderSize, n)) return ExtractResult::writeFailed;
      if (pending) break;
      pos += kHeaderSize + padded(length);
    }

    if (pending) {
      streamBase += size;
      carry = 0;
    } else {
      // Fewer than 16 unscanned bytes: a header cut by the block end is found
      // in the next pass.
      carry = size - pos;
      std::memmove(target - carry, block + pos, static_cast<size_t>(carry));
      streamBase += pos;
    }
  }
}

template ExtractResult extractBursts<false>(WavReader&, OutputFile*);
template ExtractResult extractBursts<true>(WavReader&, OutputFile*);
