#include "driver/termprogress.hpp"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <system_error>
#include <string_view>

#include "rio/statusline.hpp"
#include "state/packets.hpp"
#include "state/timing.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr Clock::duration kRedraw = std::chrono::milliseconds(250);  // four times a second at most

// Working values of the line, kept between calls.
struct ProgressLine {
  bool on = false;
  bool drawnOnce = false;
  Clock::time_point start{};
  Clock::time_point last{};  // latest redraw
  double span = 0;           // simulated time of the run, s (whole velocity updates)
};
ProgressLine progressLine;

std::size_t put(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return s.size();
}

template <class T>
std::size_t putNumber(char* p, T v) {
  return static_cast<std::size_t>(std::to_chars(p, p + 24, v).ptr - p);
}

// A duration as m:ss, or h:mm:ss from an hour on.
std::size_t putDuration(char* p, double seconds) {
  long long s = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds) : 0;
  if (s > 99LL * 3600) s = 99LL * 3600;
  std::size_t n = 0;
  const long long h = s / 3600, m = s / 60 % 60, r = s % 60;
  if (h > 0) {
    n += putNumber(p + n, h);
    p[n++] = ':';
    p[n++] = static_cast<char>('0' + m / 10);
    p[n++] = static_cast<char>('0' + m % 10);
  } else {
    n += putNumber(p + n, m);
  }
  p[n++] = ':';
  p[n++] = static_cast<char>('0' + r / 10);
  p[n++] = static_cast<char>('0' + r % 10);
  return n;
}

}  // namespace

std::size_t progressText(char* buf, double done, double seconds, std::int32_t packets,
                         double elapsed) {
  if (!(done >= 0)) done = 0;
  if (done > 1) done = 1;
  std::size_t n = 0;
  const int pct = static_cast<int>(done * 100.0);
  n += put(buf + n, pct < 10 ? "  " : pct < 100 ? " " : "");
  n += putNumber(buf + n, pct);
  n += put(buf + n, "%  day ");
  const auto day = std::to_chars(buf + n, buf + n + 24, seconds / 86400.0,
                                 std::chars_format::fixed, 2);
  n = day.ec == std::errc() ? static_cast<std::size_t>(day.ptr - buf) : n + put(buf + n, "?");
  n += put(buf + n, "  packets ");
  n += putNumber(buf + n, packets);
  n += put(buf + n, "  elapsed ");
  n += putDuration(buf + n, elapsed);
  n += put(buf + n, "  left ");
  if (done > 0) {
    n += putDuration(buf + n, elapsed * (1.0 - done) / done);
  } else {
    n += put(buf + n, "-:--");
  }
  return n;
}

void TERMPROGRESS(std::int32_t iflag) {
  ProgressLine& p = progressLine;
  if (iflag < 0) {
    p = ProgressLine{};
    p.on = rio::statusLineOpen(STDERR_FILENO);
    p.start = p.last = Clock::now();
    const double updates = std::trunc(TIMINGIN.ttotal / TIMINGIN.dtvu);
    p.span = updates * TIMINGIN.dtvu;
    return;
  }
  if (iflag > 0) {
    rio::statusLineClose();
    p.on = false;
    return;
  }
  if (!p.on) return;
  const Clock::time_point now = Clock::now();
  if (p.drawnOnce && now - p.last < kRedraw) return;
  p.last = now;
  p.drawnOnce = true;
  const double done = p.span > 0 ? (TIMINGMID.timef - TIMINGIN.time0) / p.span : 1.0;
  const double elapsed = std::chrono::duration<double>(now - p.start).count();
  char buf[128];
  const std::size_t n = progressText(buf, done, TIMINGMID.timef, PACKETS.ktotal, elapsed);
  rio::statusLineShow(std::string_view(buf, n));
}
