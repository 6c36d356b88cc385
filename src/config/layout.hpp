#pragma once
// Layout strings such as 1X,E12.5,3(1X,E9.4): parsed once, applied to
// many records.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/records.hpp"

namespace rio {

// A parsed layout. Items: Iw, Fw.d, Ew.d, Aw, A, nX, /, a repeat count
// before an item or a parenthesised group. Parsing happens once, at
// construction; a malformed layout throws std::invalid_argument.
class Layout {
 public:
  explicit Layout(std::string_view text);

  struct Op {
    enum class Kind { I, F, E, A, X, slash, open, close };
    Kind kind;
    int w = 0;       // field width (A without width: 0)
    int d = 0;       // decimals of F and E
    int repeat = 1;  // repeat count of an item or of the group opened here
    int match = 0;   // index of the matching open/close of a group
  };
  const std::vector<Op>& ops() const { return ops_; }
  int reversion() const { return reversion_; }  // op index the layout is taken up again from

 private:
  std::vector<Op> ops_;
  int reversion_ = 0;
};

// Writes values with a layout: records go to `out` as they are completed.
// Values are put one by one in layout order; end() finishes the last record.
// No allocation after the first records of a given length.
class LayoutWriter {
 public:
  LayoutWriter(const Layout& layout, RecordOut& out);
  void put(std::int32_t v);
  void put(float v);
  void put(double v);
  void put(std::string_view text);
  void end();
  // internal state omitted here; see layout.cpp
};

// Reads values with a layout from `in`. Each get returns false and sets
// status() on a read error or at the end of the file.
class LayoutReader {
 public:
  LayoutReader(const Layout& layout, RecordIn& in);
  bool get(std::int32_t& v);
  bool get(float& v);
  bool get(double& v);
  bool get(char* text, std::size_t len);
  void end();
  ReadResult status() const;
  const std::string& why() const;
};

}  // namespace rio
