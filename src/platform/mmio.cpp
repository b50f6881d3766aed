#include "platform/mmio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/file_io.h"

namespace {
// Enough for thousands of chunk headers per read: a file of zeros is a run
// of empty top-level chunks, 8 bytes each.
constexpr int32_t kAheadSize = 1 << 16;
// Views are mapped this large and let go behind: the pages of one view are
// all the input that stays resident.
constexpr size_t kViewSize = 8 << 20;
// A disk that fails under a view fails a page at a time, as a read does.
constexpr int64_t kPageSize = 4096;
}  // namespace

struct MmioFile {
  SystemFile* file;
  int64_t size;       // when opened
  int64_t pos;        // the position all operations share
  int64_t systemPos;  // where the system file stands, or -1 when unknown
  int64_t aheadStart;
  int32_t aheadLength;
  const uint8_t* view;  // null when none is mapped
  int64_t viewStart;
  size_t viewLength;
  bool noViews;     // the file gave no view: it is read instead
  bool viewFailed;  // the disk failed under a view: the next views fail
  int64_t lastAt;   // what the last view delivered
  int32_t lastCount;
  uint8_t ahead[kAheadSize];
};

namespace {

constexpr FOURCC kRiff = mmioFOURCC('R', 'I', 'F', 'F');

uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t chunkEnd(const MMCKINFO& ck) { return ck.dwDataOffset + ck.cksize; }
int64_t nextChunk(const MMCKINFO& ck) {
  return static_cast<int64_t>(chunkEnd(ck) + (ck.cksize & 1));
}

bool seekSystem(HMMIO f, int64_t to) {
  if (f->systemPos == to) return true;
  f->systemPos = fileOps->seek(f->file, to);
  return f->systemPos == to;
}

// The n bytes at offset at (n at most 12), from the read-ahead buffer, which
// is refilled from at when they are not all in it. Null, with *result set,
// when the file as large as it was at open ends before them (a clean end)
// or when the file fails.
const uint8_t* peek(HMMIO f, int64_t at, int32_t n, int* result) {
  if (at >= f->aheadStart && at + n <= f->aheadStart + f->aheadLength) {
    return f->ahead + (at - f->aheadStart);
  }
  *result = MMIOERR_CHUNKNOTFOUND;
  if (at + n > f->size) return nullptr;
  f->aheadLength = 0;
  if (!seekSystem(f, at)) {
    *result = MMIOERR_CANNOTSEEK;
    return nullptr;
  }
  const int32_t got = fileReadFull(
      f->file, f->ahead, static_cast<int32_t>(std::min<int64_t>(kAheadSize, f->size - at)));
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
  ck->ckid = le32(header);
  ck->cksize = le32(header + 4);
  ck->dwDataOffset = static_cast<uint64_t>(at) + 8;
}

}  // namespace

HMMIO mmioOpenA(const char* path, void*, uint32_t) {
  SystemFile* file = fileOps->openRead(path);
  if (!file) return nullptr;
  const int64_t size = fileOps->size(file);
  HMMIO f = size < 0 ? nullptr : new (std::nothrow) MmioFile;
  if (!f) {
    fileOps->close(file);
    return nullptr;
  }
  f->file = file;
  f->size = size;
  f->pos = f->systemPos = 0;
  f->aheadStart = 0;
  f->aheadLength = 0;
  f->view = nullptr;
  f->viewStart = 0;
  f->viewLength = 0;
  f->noViews = f->viewFailed = false;
  f->lastAt = 0;
  f->lastCount = 0;
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
      if (form && le32(form + 8) == ck->fccType) {
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
  int32_t done = 0;
  if (f->pos >= f->aheadStart && f->pos < f->aheadStart + f->aheadLength) {
    done = static_cast<int32_t>(std::min<int64_t>(count, f->aheadStart + f->aheadLength - f->pos));
    std::memcpy(out, f->ahead + (f->pos - f->aheadStart), static_cast<size_t>(done));
    f->pos += done;
  }
  if (done == count) return done;
  if (!seekSystem(f, f->pos)) return done > 0 ? done : -1;
  const int32_t got = fileReadFull(f->file, out + done, count - done);
  if (got < 0) {
    f->systemPos = -1;
    return done > 0 ? done : -1;
  }
  f->pos = f->systemPos = f->pos + got;
  return done + got;
}

int32_t mmioView(HMMIO f, int32_t count, const uint8_t** at) {
  if (f->noViews) return kNoView;
  const int64_t size = f->viewFailed ? -1 : fileOps->size(f->file);
  if (size < 0) return -1;
  const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(size - f->pos, 0, count));
  f->lastAt = f->pos;
  f->lastCount = n;
  if (n == 0) return 0;
  const int64_t from = std::max<int64_t>(0, f->pos - 16);
  if (!f->view || from < f->viewStart ||
      f->pos + n > f->viewStart + static_cast<int64_t>(f->viewLength)) {
    const int64_t start = from - from % kViewAlignment;
    const size_t length = std::max(kViewSize, static_cast<size_t>(f->pos + n - start));
    const uint8_t* view = fileOps->map(f->file, start, length);
    // Without a view the old one stays until the close: it still holds the
    // bytes delivered last.
    if (!view) {
      f->noViews = true;
      return kNoView;
    }
    if (f->view) fileOps->unmap(f->view, f->viewLength);
    f->view = view;
    f->viewStart = start;
    f->viewLength = length;
  }
  *at = f->view + (f->pos - f->viewStart);
  f->pos += n;
  return n;
}

bool mmioGuard(HMMIO f, void (*work)(void*), void* context, int32_t* got) {
  const void* fault = fileOps->guard(work, context);
  const int64_t size = fileOps->size(f->file);
  const int64_t end = f->lastAt + f->lastCount;
  if (!fault && size >= end) return true;
  int64_t cut = std::min(size, end);
  const int64_t faultAt =
      fault ? f->viewStart + (static_cast<const uint8_t*>(fault) - f->view) : end;
  if (size < 0 || faultAt < size) {
    // Not the file's end: the disk failed. The data ends before the page
    // that failed, and the next view is the error.
    cut = faultAt - faultAt % kPageSize;
    f->viewFailed = true;
  }
  f->lastCount = static_cast<int32_t>(std::clamp<int64_t>(cut - f->lastAt, 0, f->lastCount));
  f->pos = f->lastAt + f->lastCount;
  *got = f->lastCount == 0 && f->viewFailed ? -1 : f->lastCount;
  return false;
}

int64_t mmioSeek(HMMIO f, int64_t offset, int origin) {
  const int64_t to = origin == SEEK_SET ? offset : offset + (origin == SEEK_END ? f->size : f->pos);
  // Reads after a seek come from the file, not from what the walk read ahead.
  f->aheadLength = 0;
  f->systemPos = fileOps->seek(f->file, to);
  if (f->systemPos != to) return -1;
  f->pos = to;
  return to;
}

int mmioClose(HMMIO f, uint32_t) {
  if (f->view) fileOps->unmap(f->view, f->viewLength);
  const bool closed = fileOps->close(f->file);
  delete f;
  return closed ? MMSYSERR_NOERROR : MMIOERR_CANNOTREAD;
}
