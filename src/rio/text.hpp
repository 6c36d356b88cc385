#pragma once
// Fixed-length text, as the program's names and title lines are held:
// always N characters, blank-padded on the right.
#include <algorithm>
#include <cstddef>
#include <string_view>

template <std::size_t N>
struct Text {
  char c[N];

  Text() { std::fill(c, c + N, ' '); }
  explicit Text(std::string_view s) { set(s); }

  // Assigns s: cut at N characters or padded with blanks.
  void set(std::string_view s) {
    std::size_t n = std::min(s.size(), N);
    std::copy(s.data(), s.data() + n, c);
    std::fill(c + n, c + N, ' ');
  }
  // All N characters, trailing blanks included.
  std::string_view view() const { return {c, N}; }
  // The text without its trailing blanks (a file name, say).
  std::string_view trimmed() const {
    std::size_t n = N;
    while (n > 0 && c[n - 1] == ' ') --n;
    return {c, n};
  }
  static constexpr std::size_t size() { return N; }
};
