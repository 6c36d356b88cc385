#include "rio/statusline.hpp"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rio {
namespace {

constexpr std::size_t kMaxLine = 200;  // characters drawn at most

struct StatusLine {
  bool on = false;     // the line may be drawn
  bool drawn = false;  // text is on the terminal row now
  bool stdoutToo = false;  // standard output is a terminal as well
  int fd = -1;
};
StatusLine line;

void writeAll(int fd, const char* p, std::size_t n) noexcept {
  while (n > 0) {
    ssize_t k = ::write(fd, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return;  // a terminal that refuses the line is not worth a failure
    p += k;
    n -= static_cast<std::size_t>(k);
  }
}

// The width the text may take: one less than the terminal's columns, so
// that the cursor never wraps onto a new row.
std::size_t usableWidth(int fd) noexcept {
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) {
    return static_cast<std::size_t>(ws.ws_col) - 1;
  }
  return 79;
}

// A run put in the background of a shell leaves the terminal to what the
// user does in the foreground.
bool inBackground(int fd) noexcept {
  const pid_t fg = ::tcgetpgrp(fd);
  return fg > 0 && fg != ::getpgrp();
}

}  // namespace

bool statusLineOpen(int fd, bool force) noexcept {
  line = StatusLine{};
  if (force || ::isatty(fd) == 1) {
    line.on = true;
    line.fd = fd;
    line.stdoutToo = ::isatty(1) == 1;
  }
  return line.on;
}

void statusLineShow(std::string_view text) noexcept {
  if (!line.on || inBackground(line.fd)) return;
  char buf[kMaxLine + 8];
  std::size_t n = 0;
  buf[n++] = '\r';
  std::size_t len = text.size();
  if (len > usableWidth(line.fd)) len = usableWidth(line.fd);
  if (len > kMaxLine) len = kMaxLine;
  std::memcpy(buf + n, text.data(), len);
  n += len;
  std::memcpy(buf + n, "\x1b[K", 3);  // erase what an earlier, longer text left
  n += 3;
  writeAll(line.fd, buf, n);
  line.drawn = true;
}

void statusLineClear() noexcept {
  if (!line.drawn) return;
  writeAll(line.fd, "\r\x1b[K", 4);
  line.drawn = false;
}

void statusLineBeforeStdout() noexcept {
  if (line.drawn && line.stdoutToo) statusLineClear();
}

void statusLineClose() noexcept {
  statusLineClear();
  line = StatusLine{};
}

}  // namespace rio
