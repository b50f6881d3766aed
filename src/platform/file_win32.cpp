// The file seam over Win32. The only file that includes <windows.h>.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cwchar>

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

// The file named by path (WTF-8), opened by CreateFileW with the rest.
HANDLE openPath(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  wchar_t name[kWideRoom];
  if (!systemPath(path, name)) return INVALID_HANDLE_VALUE;
  return CreateFileW(name, access, share, nullptr, disposition, flags, nullptr);
}

SystemFile* openRead(const char* path) {
  SystemFile* file = newHandle();
  if (!file) return nullptr;
  // Sharing write access lets a capture that the recorder still holds open
  // be read.
  HANDLE handle = openPath(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN);
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  return wrap(file, handle);
}

SystemFile* create(const char* path) {
  SystemFile* file = newHandle();
  if (!file) return nullptr;
  return wrap(file, openPath(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_SEQUENTIAL_SCAN));
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

long wtf8FromWide(const wchar_t* text, char* out, size_t room) {
  size_t n = 0;
  for (; *text; ++text) {
    uint32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*++text - 0xDC00);  // a pair: one character
    }
    const size_t size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (n + size >= room) return -1;
    static const uint8_t kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t k = size - 1; k > 0; --k, c >>= 6)
      out[n + k] = static_cast<char>(0x80 | (c & 0x3F));
    out[n] = static_cast<char>(kLead[size] | c);
    n += size;
  }
  out[n] = '\0';
  return static_cast<long>(n);
}

long wideFromWtf8(const char* text, wchar_t* out, size_t room) {
  static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};  // below: an overlong form
  const auto* at = reinterpret_cast<const uint8_t*>(text);
  size_t n = 0;
  while (*at) {
    const uint32_t lead = *at++;
    const size_t more = lead < 0x80 ? 0 : lead < 0xC0 ? 4 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    if (more > 3) return -1;
    uint32_t c = lead & (0x7F >> more);
    for (size_t k = 0; k < more; ++k) {
      if ((*at & 0xC0) != 0x80) return -1;
      c = c << 6 | (*at++ & 0x3F);
    }
    // A pair spelt as two lone halves would be another spelling of one
    // character: WTF-8 has one spelling for each name.
    const bool pairedHalf =
        c >= 0xDC00 && c < 0xE000 && n > 0 && out[n - 1] >= 0xD800 && out[n - 1] < 0xDC00;
    if (c < kLeast[more] || c > 0x10FFFF || pairedHalf) return -1;
    if (n + (c < 0x10000 ? 1 : 2) >= room) return -1;
    if (c >= 0x10000) {
      out[n++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      c = 0xDC00 + (c & 0x3FF);
    }
    out[n++] = static_cast<wchar_t>(c);
  }
  out[n] = L'\0';
  return static_cast<long>(n);
}

bool systemPath(const char* path, wchar_t (&out)[kWideRoom]) {
  if (wideFromWtf8(path, out, kWideRoom) < 0) return false;
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (separator(out[0]) && separator(out[1]) && (out[2] == L'.' || out[2] == L'?') &&
      separator(out[3])) {
    return true;  // the system's own device or verbatim form
  }
  wchar_t full[kWideRoom];
  const DWORD n = GetFullPathNameW(out, kWideRoom, full, nullptr);
  if (n < MAX_PATH) return true;  // short, or no path the system can complete
  // \\server\share\... is \\?\UNC\server\share\...
  const bool unc = full[0] == L'\\' && full[1] == L'\\';
  const wchar_t* prefix = unc ? L"\\\\?\\UNC" : L"\\\\?\\";
  const wchar_t* rest = unc ? full + 1 : full;
  if (n >= kWideRoom || std::wcslen(prefix) + std::wcslen(rest) >= kWideRoom) return false;
  std::wcscat(std::wcscpy(out, prefix), rest);
  return true;
}

const FileOps kSystemFileOps = {openRead, create, readSome, writeSome, seek, size, close, sameFile};
