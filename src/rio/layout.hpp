#pragma once
// Layout strings such as 1X,E12.5,3(1X,E9.4): parsed once, applied to
// many records.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <memory>
#include <vector>

#include "rio/records.hpp"

namespace rio {

// A parsed layout. Items: Iw, Fw.d, Ew.d, Aw, A, nX, /, a repeat count
// before an item or a parenthesised group. Items are separated by commas;
// the comma may be left out before and after a /. Letters may be in either
// case, blanks are ignored, and the whole layout may be enclosed in
// parentheses. Widths of numeric items run from 1 to kMaxNumericWidth
// (numfmt.hpp), Ew.d needs d >= 1, repeat counts and the n of nX are at
// least 1, groups nest at most 100 deep. Parsing happens once, at construction; a malformed layout, or
// one whose repeats expand to more than a few million items, throws
// std::invalid_argument. An empty layout (or "()") writes an empty record.
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
  // Index of the op the layout is taken up again from when it runs out.
  int reversion() const { return reversion_; }

  // The layout with its repeats expanded, as writer and reader follow it:
  // every item that takes a value, in order, with the records ended by /
  // and the blanks of nX met since the previous item (blanks after the last
  // / only; those before it fall at a record's end).
  struct Item {
    Op::Kind kind;  // I, F, E or A
    int w = 0;
    int d = 0;
    int records = 0;  // / met before this item
    int blanks = 0;   // nX blanks (or skipped characters) just before it
  };
  const std::vector<Item>& items() const { return items_; }
  // Taking the layout up again: the index of the first item reached from
  // the reversion point and what comes before it from there.
  int againIndex() const { return againIndex_; }
  int againRecords() const { return againRecords_; }
  int againBlanks() const { return againBlanks_; }
  // The / after the last item.
  int tailRecords() const { return tailRecords_; }
  // Whether an item lies at or after the reversion point, i.e. whether the
  // layout can take any number of values.
  bool reusable() const { return againIndex_ < static_cast<int>(items_.size()); }

 private:
  void expand(int from, int to, int& records, int& blanks, long long& steps);

  std::vector<Op> ops_;
  int reversion_ = 0;
  std::vector<Item> items_;
  int againIndex_ = 0, againRecords_ = 0, againBlanks_ = 0, tailRecords_ = 0;
  bool tracking_ = false;  // during expansion: past the reversion point, before its first item
};

// Writes values with a layout: records go to `out` as they are completed.
// Values are put one by one in layout order; end() finishes the last record
// and closes the write, after which the writer starts the next write at the
// layout's beginning. A value whose kind does not match its item (an integer
// for F or E, a real for I, text for a number or a number for A), or a put
// to a layout that has no item for it, throws std::logic_error.
// No allocation for records up to 512 characters. The layout and
// `out` must outlive the writer.
class LayoutWriter {
 public:
  LayoutWriter(const Layout& layout, RecordOut& out);
  LayoutWriter(const LayoutWriter&) = delete;
  LayoutWriter& operator=(const LayoutWriter&) = delete;
  void put(std::int32_t v);
  void put(float v);
  void put(double v);
  void put(std::string_view text);
  void end();

 private:
  const Layout::Item& next();
  char* field(int w);
  void emit();

  const Layout* layout_;
  RecordOut* out_;
  std::size_t next_ = 0;   // index of the next item in layout_->items()
  int pending_ = 0;        // blanks of nX before the item being written
  // The record being built: an inline buffer for the usual short records,
  // a heap one only when a record grows past it.
  char inline_[512];
  std::unique_ptr<char[]> heap_;
  char* buf_ = inline_;
  std::size_t cap_ = sizeof inline_;
  std::size_t len_ = 0;
};

// Reads values with a layout from `in`. A read begins with the first get()
// (or end()) after construction or after the previous end(), on a new
// record; end() closes it, going over any "/" met before the next item that
// needs a value. Each get returns false and sets status() on a read error
// or at the end of the file; once a read has failed, its further gets
// return false without reading. status() and why() describe the current or
// last read. A variable whose kind does not match its item throws
// std::logic_error, as for the writer.
//
// Files the program wrote may hold two more forms of numeric field, which
// a reader of such files turns on with acceptOutputForms(): a field of
// asterisks (a value that did not fit) is read as no value (get returns
// true, leaves the variable unchanged, and overflowed() is true until the
// next get); and Infinity, Inf and NaN, with any sign and in either case,
// are read into a real as those values.
class LayoutReader {
 public:
  LayoutReader(const Layout& layout, RecordIn& in);
  void acceptOutputForms(bool on = true) { outputForms_ = on; }
  bool overflowed() const { return overflowed_; }
  bool get(std::int32_t& v);
  bool get(float& v);
  bool get(double& v);
  bool get(char* text, std::size_t len);
  void end();
  ReadResult status() const { return status_; }
  const std::string& why() const { return why_; }

 private:
  bool begin();
  bool nextRecord();
  const Layout::Item* next();
  std::string_view field(int w);
  bool fail(ReadResult r, std::string msg);
  template <class T>
  bool special(std::string_view f, T& v);

  const Layout* layout_;
  RecordIn* in_;
  std::size_t next_ = 0;   // index of the next item in layout_->items()
  bool open_ = false;      // a read is under way
  std::string_view rec_;   // current record
  std::size_t pos_ = 0;    // position in rec_ (may lie past its end)
  ReadResult status_ = ReadResult::ok;
  std::string why_;
  bool outputForms_ = false;  // asterisks, Infinity and NaN accepted
  bool overflowed_ = false;   // the last numeric field was asterisks
};

}  // namespace rio
