// The file seam over Win32.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/system.h"
#include "platform/win32_text.h"

namespace {

HANDLE handleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// The file named by path (WTF-8), opened by CreateFileW with the rest.
HANDLE openPath(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  wchar_t name[kWideRoom];
  if (!systemPath(path, name)) return INVALID_HANDLE_VALUE;
  return CreateFileW(name, access, share, nullptr, disposition, flags, nullptr);
}

FileHandle openRead(const char* path) {
  // Sharing write access lets a capture that the recorder still holds open
  // be read.
  HANDLE handle = openPath(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN);
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<FileHandle>(handle);
}

FileHandle create(const char* path) {
  return reinterpret_cast<FileHandle>(openPath(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_SEQUENTIAL_SCAN));
}

long readSome(FileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  return ReadFile(handleOf(file), buffer, n, &got, nullptr) ? static_cast<long>(got) : -1;
}

long writeSome(FileHandle file, const void* data, uint32_t n) {
  DWORD done = 0;
  return WriteFile(handleOf(file), data, n, &done, nullptr) ? static_cast<long>(done) : -1;
}

int64_t seek(FileHandle file, int64_t offset) {
  LARGE_INTEGER to, now;
  to.QuadPart = offset;
  return SetFilePointerEx(handleOf(file), to, &now, FILE_BEGIN) ? now.QuadPart : -1;
}

int64_t size(FileHandle file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(handleOf(file), &size) ? size.QuadPart : -1;
}

bool close(FileHandle file) { return CloseHandle(handleOf(file)) != 0; }

// The volume serial number and the file index of path, as one key.
bool fileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE handle = openPath(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
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

const SystemOps kPlatformOps = {openRead, create, readSome, writeSome,   seek,
                                size,     close,  sameFile, zeroedBlock, steadyClock};
