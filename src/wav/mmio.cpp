#include "wav/mmio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/file_io.h"
#include "platform/memory.h"
#include "wav/little_endian.h"

namespace {
// Enough for thousands of chunk headers per read: a file of zeros is a run
// of empty top-level chunks, 8 bytes each.
constexpr int32_t kAheadSize = 1 << 16;
}  // namespace

struct MmioFile {
  const FileOps* ops;  // the ones it was opened with
  SystemFile* file;
  int64_t size;       // when opened
  int64_t pos;        // the position all operations share
  int64_t systemPos;  // where the system file stands, or -1 when unknown
  int64_t aheadStart;
  int32_t aheadLength;
  uint8_t ahead[kAheadSize];
};

namespace {

constexpr FOURCC kRiff = mmioFOURCC('R', 'I', 'F', 'F');

uint64_t chunkEnd(const MMCKINFO& ck) { return ck.dwDataOffset + ck.cksize; }
int64_t nextChunk(const MMCKINFO& ck) {
  return static_cast<int64_t>(chunkEnd(ck) + (ck.cksize & 1));
}

// The bytes the read-ahead buffer holds from offset at on: 0 when it does not
// hold at.
int64_t aheadFrom(HMMIO f, int64_t at) {
  const int64_t end = f->aheadStart + f->aheadLength;
  return at >= f->aheadStart && at < end ? end - at : 0;
}

bool seekSystem(HMMIO f, int64_t to) {
  if (f->systemPos == to) return true;
  f->systemPos = f->ops->seek(f->file, to);
  return f->systemPos == to;
}

// The n bytes at offset at (n at most 12), from the read-ahead buffer, which
// is refilled from at when they are not all in it. Null, with *result set,
// when the file as large as it was at open ends before them (a clean end)
// or when the file fails.
const uint8_t* peek(HMMIO f, int64_t at, int32_t n, int* result) {
  if (aheadFrom(f, at) >= n) return f->ahead + (at - f->aheadStart);
  *result = MMIOERR_CHUNKNOTFOUND;
  if (at + n > f->size) return nullptr;
  f->aheadLength = 0;
  if (!seekSystem(f, at)) {
    *result = MMIOERR_CANNOTSEEK;
    return nullptr;
  }
  const int32_t got =
      fileReadFull(*f->ops, f->file, f->ahead,
                   static_cast<int32_t>(std::min<int64_t>(kAheadSize, f->size - at)));
  if (got < 0) {
    f->systemPos = -1;
    *result = MMIOERR_CANNOTREAD;
    return nullptr;
  }
  f->systemPos = at + got;
  f->aheadStart = at;
  f->aheadLength = got;
  return got >= n ? f->ahead : nullptr;  // a file cut since it was opened ends here
}

void takeHeader(const uint8_t* header, int64_t at, MMCKINFO* ck) {
  ck->ckid = readLe32(header);
  ck->cksize = readLe32(header + 4);
  ck->dwDataOffset = static_cast<uint64_t>(at) + 8;
}

}  // namespace

HMMIO mmioOpenA(const char* path, void*, uint32_t) {
  const FileOps* ops = fileOps;
  SystemFile* file = ops->openRead(path);
  if (!file) return nullptr;
  const int64_t size = ops->size(file);
  HMMIO f = size < 0 ? nullptr : static_cast<HMMIO>(memoryAllocate(sizeof(MmioFile)));
  if (!f) {
    ops->close(file);
    return nullptr;
  }
  f->ops = ops;
  f->file = file;
  f->size = size;
  f->pos = f->systemPos = 0;
  f->aheadStart = 0;
  f->aheadLength = 0;
  return f;
}

int mmioDescend(HMMIO f, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags) {
  int result = MMIOERR_CHUNKNOTFOUND;
  int64_t at = f->pos;
  if (flags & MMIO_FINDRIFF) {
    for (;; at = nextChunk(*ck)) {
      const uint8_t* header = peek(f, at, 8, &result);
      if (!header) return result;
      takeHeader(header, at, ck);
      if (ck->ckid != kRiff) continue;
      const uint8_t* form = peek(f, at, 12, &result);
      if (form && readLe32(form + 8) == ck->fccType) {
        f->pos = at + 12;
        return MMSYSERR_NOERROR;
      }
      if (!form && result != MMIOERR_CHUNKNOTFOUND) return result;
    }
  }
  if (parent && static_cast<uint64_t>(at) >= chunkEnd(*parent)) return MMIOERR_CHUNKNOTFOUND;
  const uint8_t* header = peek(f, at, 8, &result);
  if (!header) return result;
  takeHeader(header, at, ck);
  f->pos = at + 8;
  return MMSYSERR_NOERROR;
}

int mmioAscend(HMMIO f, MMCKINFO* ck, uint32_t) {
  f->pos = nextChunk(*ck);
  return MMSYSERR_NOERROR;
}

int32_t mmioRead(HMMIO f, void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  const auto done = static_cast<int32_t>(std::min<int64_t>(count, aheadFrom(f, f->pos)));
  if (done > 0) {
    std::memcpy(out, f->ahead + (f->pos - f->aheadStart), static_cast<size_t>(done));
    f->pos += done;
  }
  if (done == count) return done;
  const int32_t got =
      seekSystem(f, f->pos) ? fileReadFull(*f->ops, f->file, out + done, count - done) : -1;
  if (got < 0) {
    f->systemPos = -1;
    return -1;
  }
  f->pos = f->systemPos = f->pos + got;
  return done + got;
}

int64_t mmioSeek(HMMIO f, int64_t offset, int origin) {
  const int64_t to = origin == SEEK_SET ? offset : offset + (origin == SEEK_END ? f->size : f->pos);
  // Reads after a seek come from the file, not from what the walk read ahead.
  f->aheadLength = 0;
  f->systemPos = f->ops->seek(f->file, to);
  if (f->systemPos != to) return -1;
  f->pos = to;
  return to;
}

int mmioClose(HMMIO f, uint32_t) {
  const bool closed = f->ops->close(f->file);
  memoryRelease(f);
  return closed ? MMSYSERR_NOERROR : MMIOERR_CANNOTREAD;
}
