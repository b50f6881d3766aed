// Names between the system's UTF-16 and the programs' narrow strings, for
// the Win32 layer and wmain. Inside, a name is WTF-8: UTF-8 that also
// carries a lone surrogate as the three bytes UTF-8 would give it, so that
// every name NTFS allows comes back as the very same UTF-16 (the system's
// UTF-8 conversion would make such a surrogate U+FFFD, another name).
#pragma once

#include <cstddef>

// A Windows path, or the whole command line, is at most 32,767 UTF-16 units;
// this is room for one and its null.
constexpr size_t kWideRoom = 32768;

// text as WTF-8 into out, null-terminated: the bytes before the null, or -1
// when they do not fit in room bytes. At most 3 bytes per UTF-16 unit.
long wtf8FromWide(const wchar_t* text, char* out, size_t room);
// The WTF-8 text as UTF-16 into out, null-terminated: the units before the
// null, or -1 when it is no WTF-8 or does not fit in room units.
long wideFromWtf8(const char* text, wchar_t* out, size_t room);

// The path (WTF-8) as the W calls are given it, into out. One that starts
// with a device or verbatim prefix (\\.\, \\?\, or with forward slashes)
// goes as it is, as does every other that the system takes as it is. A
// longer one goes in its full form with the \\?\ prefix, which lifts the
// limit of MAX_PATH characters (\\server\share becomes \\?\UNC\server\share).
// False when it is no path.
bool systemPath(const char* path, wchar_t (&out)[kWideRoom]);
