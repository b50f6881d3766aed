// Names between the system's UTF-16 and the programs' WTF-8, and the paths
// the W calls are given.
#define WIN32_LEAN_AND_MEAN
#include "platform/win32_text.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

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
