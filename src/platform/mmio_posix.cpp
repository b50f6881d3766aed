#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/mmio.h"

struct MmioFile {
  int fd;
};

namespace {

constexpr FOURCC kRiff = mmioFOURCC('R', 'I', 'F', 'F');

uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads the chunk header at pos into ck; false when fewer than 8 bytes remain.
bool readChunkHeader(HMMIO file, uint64_t pos, MMCKINFO* ck) {
  uint8_t header[8];
  if (mmioRead(file, header, 8) != 8) return false;
  ck->ckid = le32(header);
  ck->cksize = le32(header + 4);
  ck->dwDataOffset = pos + 8;
  return true;
}

uint64_t chunkEnd(const MMCKINFO& ck) { return ck.dwDataOffset + ck.cksize; }

}  // namespace

HMMIO mmioOpenA(const char* path, void*, uint32_t) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  HMMIO file = new (std::nothrow) MmioFile{fd};
  if (!file) {
    ::close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

int mmioDescend(HMMIO file, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags) {
  int64_t pos = mmioSeek(file, 0, SEEK_CUR);
  if (pos < 0) return MMIOERR_CANNOTSEEK;
  if (flags & MMIO_FINDRIFF) {
    for (;;) {
      if (!readChunkHeader(file, pos, ck)) return MMIOERR_CHUNKNOTFOUND;
      uint8_t form[4];
      if (ck->ckid == kRiff && mmioRead(file, form, 4) == 4 && le32(form) == ck->fccType) {
        return MMSYSERR_NOERROR;
      }
      pos = static_cast<int64_t>(chunkEnd(*ck) + (ck->cksize & 1));
      if (mmioSeek(file, pos, SEEK_SET) < 0) return MMIOERR_CANNOTSEEK;
    }
  }
  if (parent && static_cast<uint64_t>(pos) >= chunkEnd(*parent)) return MMIOERR_CHUNKNOTFOUND;
  return readChunkHeader(file, pos, ck) ? MMSYSERR_NOERROR : MMIOERR_CHUNKNOTFOUND;
}

int mmioAscend(HMMIO file, MMCKINFO* ck, uint32_t) {
  uint64_t next = chunkEnd(*ck) + (ck->cksize & 1);
  return mmioSeek(file, static_cast<int64_t>(next), SEEK_SET) < 0 ? MMIOERR_CANNOTSEEK
                                                                  : MMSYSERR_NOERROR;
}

int32_t mmioRead(HMMIO file, void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t got = ::read(file->fd, out + done, static_cast<size_t>(count - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return done > 0 ? done : -1;  // the next call reports the error
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

int64_t mmioSeek(HMMIO file, int64_t offset, int origin) {
  return ::lseek(file->fd, static_cast<off_t>(offset), origin);
}

int mmioClose(HMMIO file, uint32_t) {
  int result = ::close(file->fd);
  delete file;
  return result;
}
