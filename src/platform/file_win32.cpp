// The file seam over Win32. The only file that includes <windows.h>.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <new>

#include "platform/file_io.h"

struct SystemFile {
  HANDLE handle;
};

namespace {

SystemFile* wrap(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  SystemFile* file = new (std::nothrow) SystemFile{handle};
  if (!file) CloseHandle(handle);
  return file;
}

SystemFile* openRead(const char* path) {
  // Sharing write access lets a capture that the recorder still holds open
  // be read.
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return nullptr;
  }
  return wrap(handle);
}

SystemFile* create(const char* path) {
  return wrap(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

long readSome(SystemFile* file, void* buffer, uint32_t n) {
  DWORD got = 0;
  return ReadFile(file->handle, buffer, n, &got, nullptr) ? static_cast<long>(got) : -1;
}

long writeSome(SystemFile* file, const void* data, uint32_t n) {
  DWORD done = 0;
  return WriteFile(file->handle, data, n, &done, nullptr) ? static_cast<long>(done) : -1;
}

int64_t seek(SystemFile* file, int64_t offset) {
  LARGE_INTEGER to, now;
  to.QuadPart = offset;
  return SetFilePointerEx(file->handle, to, &now, FILE_BEGIN) ? now.QuadPart : -1;
}

int64_t size(SystemFile* file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file->handle, &size) ? size.QuadPart : -1;
}

bool close(SystemFile* file) {
  const bool closed = CloseHandle(file->handle) != 0;
  delete file;
  return closed;
}

// The volume serial number and the file index of path, as one key.
bool fileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, info) != 0;
  CloseHandle(handle);
  return known;
}

bool sameFile(const char* pathA, const char* pathB) {
  BY_HANDLE_FILE_INFORMATION a, b;
  return fileIdentity(pathA, &a) && fileIdentity(pathB, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

const FileOps kSystemFileOps = {openRead, create, readSome, writeSome, seek, size, close, sameFile};

// A write to a broken pipe already fails here, and there is no file-size
// signal; the C runtime gives closed standard handles a null stream.
void prepareProcess() {}
