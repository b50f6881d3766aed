// The file seam over Win32. The only file that includes <windows.h>.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/file_io.h"
#include "platform/memory.h"
#include "platform/win32_text.h"

struct SystemFile {
  HANDLE handle;
};

namespace {

// The handle is had before the file is opened: a file created and then
// given up for want of memory would have been truncated.
SystemFile* newHandle() { return static_cast<SystemFile*>(memoryAllocate(sizeof(SystemFile))); }

SystemFile* wrap(SystemFile* file, HANDLE handle) {
  if (handle != INVALID_HANDLE_VALUE) {
    file->handle = handle;
    return file;
  }
  memoryRelease(file);
  return nullptr;
}

// The path for the W calls. One whose full form the system takes as it is
// goes as it is, so that every short path means what it always meant. A
// longer one goes in its full form with the \\?\ prefix, which lifts the
// limit of MAX_PATH characters.
std::wstring systemPath(const char* utf8) {
  const std::wstring path = wideText(CP_UTF8, utf8, std::strlen(utf8));
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n <= MAX_PATH) return path;
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), n, &full[0], nullptr));
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}

SystemFile* openRead(const char* path) {
  SystemFile* file = newHandle();
  if (!file) return nullptr;
  // Sharing write access lets a capture that the recorder still holds open
  // be read.
  HANDLE handle =
      CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  return wrap(file, handle);
}

SystemFile* create(const char* path) {
  SystemFile* file = newHandle();
  if (!file) return nullptr;
  return wrap(file, CreateFileW(systemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
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
  memoryRelease(file);
  return closed;
}

// The volume serial number and the file index of path, as one key.
bool fileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE handle = CreateFileW(systemPath(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

std::wstring wideText(unsigned codePage, const char* text, size_t n) {
  const int count = MultiByteToWideChar(codePage, 0, text, static_cast<int>(n), nullptr, 0);
  std::wstring result(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(codePage, 0, text, static_cast<int>(n), &result[0], count);
  return result;
}

std::string narrowText(unsigned codePage, const wchar_t* text, size_t n) {
  const int count =
      WideCharToMultiByte(codePage, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(codePage, 0, text, static_cast<int>(n), &result[0], count, nullptr, nullptr);
  return result;
}

std::string utf8FromWide(const wchar_t* text) {
  return narrowText(CP_UTF8, text, std::wcslen(text));
}

const FileOps kSystemFileOps = {openRead, create, readSome, writeSome, seek, size, close, sameFile};
