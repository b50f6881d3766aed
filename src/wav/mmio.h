// Multimedia file I/O for RIFF files: the operations the WAV reader is written
// against, with the behaviour it relies on, under the platform's published
// names. mmio.cpp writes the RIFF rules once, over the file seam of
// platform/file_io.h.
#pragma once

#include <cstdint>

using FOURCC = uint32_t;

// Chunk identifiers compare as exact 4-byte values, first character lowest.
constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

struct MmioFile;
using HMMIO = MmioFile*;

struct MMCKINFO {
  FOURCC ckid = 0;
  uint32_t cksize = 0;
  FOURCC fccType = 0;
  // File offset of the chunk's data, just after its 8-byte header. 64-bit so
  // that chunk ends computed from it never wrap around.
  uint64_t dwDataOffset = 0;
};

constexpr uint32_t MMIO_FINDRIFF = 0x0020;
constexpr int MMSYSERR_NOERROR = 0;
constexpr int MMIOERR_CHUNKNOTFOUND = 265;
constexpr int MMIOERR_CANNOTSEEK = 266;
constexpr int MMIOERR_CANNOTREAD = 268;

// Opens a regular file read-only. Null on failure. The chunk walk reads
// nothing past the size the file had here, and takes chunk headers from a
// small read-ahead buffer; mmioRead and mmioSeek go to the file.
HMMIO mmioOpenA(const char* path, void* info, uint32_t flags);

// With MMIO_FINDRIFF (parent null): searches the top-level chunks from the
// current position for "RIFF" of form ck->fccType, skipping others with their
// pad byte; on success ck holds its size and data offset and the position is
// just after the form type. Otherwise: reads the 8-byte chunk header at the
// current position, unless that lies at or past the end of parent or fewer
// than 8 bytes remain; the position is then at ck->dwDataOffset.
// Returns 0 when a chunk was found, MMIOERR_CHUNKNOTFOUND at a clean end, and
// MMIOERR_CANNOTSEEK or MMIOERR_CANNOTREAD when the file failed.
int mmioDescend(HMMIO file, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags);

// Moves the position past the chunk's data and its pad byte, if any. The
// next descend or read goes there.
int mmioAscend(HMMIO file, MMCKINFO* ck, uint32_t flags);

// Bytes read, fewer than count only at the end of the file, 0 when none is
// left, -1 when a read failed, also after some bytes.
int32_t mmioRead(HMMIO file, void* buffer, int32_t count);

// origin is SEEK_SET, SEEK_CUR or SEEK_END. The new position, or -1.
int64_t mmioSeek(HMMIO file, int64_t offset, int origin);

int mmioClose(HMMIO file, uint32_t flags);
