// Text between a Windows code page and UTF-16, the form of the W calls and
// of the console. For the Win32 files alone.
#pragma once

#include <cstddef>
#include <string>

std::wstring wideText(unsigned codePage, const char* text, size_t n);
std::string narrowText(unsigned codePage, const wchar_t* text, size_t n);
