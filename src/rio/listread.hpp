#pragma once
// Free-format (list-directed) reading of a list of values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "rio/records.hpp"

namespace rio {

// One variable of a free-format read.
struct ListTarget {
  enum class Kind { i4, r4, r8, text };
  Kind kind;
  void* p;          // std::int32_t*, float*, double* or char* (text)
  std::size_t len;  // declared length of a text variable; unused otherwise
};

// Reads the values for targets[0..n) from src, starting with the next
// record, continuing onto further records while values are missing and
// ignoring the rest of the last record used. A null value or a slash leaves
// variables unchanged. Returns ok, eof (records ended before every value was
// read) or error (a character that cannot start or continue the value due);
// on eof or error `why` (when given) describes what went wrong. When
// `assigned` is given (n entries, false on entry), assigned[k] is set for
// every variable that received a value.
ReadResult parseList(RecordIn& src, const ListTarget* targets, std::size_t n,
                     std::string* why = nullptr, bool* assigned = nullptr);

}  // namespace rio
