#include "driver/progress_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// Where the terminal cannot tell its width: the traditional 80 columns.
constexpr int kUnknownWidth = 80;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr int64_t kGiB = int64_t{1} << 30;
// Past this the time left means nothing: it shows as unknown.
constexpr double kLongestLeftSeconds = 6000.0 * 60.0;

// "812.4 MiB" below a GiB, "4.66 GiB" from there.
void formatSize(char* out, size_t room, int64_t bytes) {
  if (bytes < kGiB) {
    std::snprintf(out, room, "%.1f MiB", static_cast<double>(bytes) / kMiB);
  } else {
    std::snprintf(out, room, "%.2f GiB", static_cast<double>(bytes) / static_cast<double>(kGiB));
  }
}

// The fields joined by two spaces into out, when they fit in columns.
bool join(char* out, size_t columns, std::initializer_list<const char*> fields) {
  size_t n = 0;
  for (const char* field : fields) {
    const size_t length = std::strlen(field) + (n > 0 ? 2 : 0);
    if (n + length > columns) {
      out[0] = '\0';
      return false;
    }
    std::snprintf(out + n, length + 1, "%s%s", n > 0 ? "  " : "", field);
    n += length;
  }
  return true;
}

}  // namespace

size_t progressText(char* out, size_t room, int64_t bytes, int64_t size, int64_t elapsedMs,
                    int width) {
  if (room == 0) return 0;
  out[0] = '\0';
  const size_t columns =
      std::min(static_cast<size_t>(std::max(width > 0 ? width : kUnknownWidth, 1) - 1), room - 1);

  char done[24], total[24], sizes[56], rate[24], percent[8], left[24];
  formatSize(done, sizeof done, bytes);
  const double perMs =
      elapsedMs > 0 ? static_cast<double>(bytes) / static_cast<double>(elapsedMs) : 0.0;
  std::snprintf(rate, sizeof rate, "%.1f MiB/s", perMs * 1000.0 / kMiB);
  if (size <= 0 || bytes > size) {
    if (!join(out, columns, {done, rate})) join(out, columns, {done});
    return std::strlen(out);
  }

  formatSize(total, sizeof total, size);
  std::snprintf(sizes, sizeof sizes, "%s / %s", done, total);
  std::snprintf(percent, sizeof percent, "%d%%",
                static_cast<int>(100.0 * static_cast<double>(bytes) / static_cast<double>(size)));
  const double leftSeconds =
      perMs > 0.0 ? static_cast<double>(size - bytes) / perMs / 1000.0 : -1.0;
  if (leftSeconds < 0.0 || leftSeconds >= kLongestLeftSeconds) {
    std::snprintf(left, sizeof left, "-:--");
  } else {
    const long long seconds = static_cast<long long>(leftSeconds + 0.5);
    std::snprintf(left, sizeof left, "%lld:%02lld", seconds / 60, seconds % 60);
  }
  // The most telling fields go last.
  if (!join(out, columns, {sizes, percent, rate, left}) &&
      !join(out, columns, {percent, rate, left}) && !join(out, columns, {percent, left})) {
    join(out, columns, {percent});
  }
  return std::strlen(out);
}
