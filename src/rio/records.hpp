#pragma once
// The two ends every transfer of the record layer works against: a source
// of input records and a sink of output records. Records carry no line end.
#include <cstddef>
#include <string_view>

namespace rio {

// Outcome of a read that the caller wants to handle itself.
enum class ReadResult { ok, eof, error };

// A sequence of input records. next() makes `rec` the next record and
// returns true, or returns false at the end of the file. The view stays
// valid until the following call.
struct RecordIn {
  virtual bool next(std::string_view& rec) = 0;

 protected:
  ~RecordIn() = default;
};

// A sink of complete output records (without line ends).
struct RecordOut {
  virtual void record(const char* p, std::size_t n) = 0;

 protected:
  ~RecordOut() = default;
};

}  // namespace rio
