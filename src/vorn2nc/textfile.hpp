#pragma once
// The run's text files read back through the record layer: records, fixed
// layouts (with the writers' asterisks) and free-format values, every
// failure naming the file and the record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rio/layout.hpp"
#include "rio/listread.hpp"
#include "rio/records.hpp"

namespace vorn2nc {

// One record as a record source: the record, once.
struct OneRecord final : rio::RecordIn {
  std::string_view rec;
  bool given = true;  // no record until one is set
  void set(std::string_view r) {
    rec = r;
    given = false;
  }
  bool next(std::string_view& r) override {
    if (given) return false;
    r = rec;
    given = true;
    return true;
  }
};

// One output file of the run, open on a unit of its own while it is read.
class TextFile final : public rio::RecordIn {
 public:
  // Opens `name` ("old"); `what` names the file's kind in messages. Fails
  // when it cannot be opened.
  TextFile(const std::string& name, const std::string& what);
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // The next record; false at the end of the file.
  bool next(std::string_view& rec) override;
  // The next record, which must be there: `why` says what was due.
  std::string_view need(const std::string& why);
  std::string_view record() const { return rec_; }
  long long number() const { return number_; }  // of the record read last, from 1
  const std::string& name() const { return name_; }

  // "FILE, record N: why" / "FILE ends after record N: why".
  [[noreturn]] void bad(const std::string& why) const;
  [[noreturn]] void endsEarly(const std::string& why) const;

 private:
  int unit_;
  std::string name_;
  std::string what_;
  std::string_view rec_;
  long long number_ = 0;
};

// The records of one layout: each is taken whole from the file and its
// values are read in layout order. A field of asterisks (a value too wide
// for its field) reads as the fill value given.
class LayoutRecords {
 public:
  LayoutRecords(TextFile& file, std::string_view layout);
  // Takes the next record; false at the end of the file.
  bool next();
  float real(float fill);
  double real8(double fill);
  std::int32_t integer(std::int32_t fill);
  // The record must hold exactly the `values` values read (the length the
  // writer gives it); fails otherwise.
  void done(std::size_t values);
  // The characters of the `item`-th field of the current record (from 0).
  std::string_view field(std::size_t item) const;
  const rio::Layout& layout() const { return layout_; }

 private:
  template <class T>
  T value(T fill);

  TextFile& file_;
  rio::Layout layout_;
  OneRecord one_;
  rio::LayoutReader reader_;
};

// Reads the free-format values of one record; fails naming the record.
void listValues(TextFile& file, std::string_view rec, const rio::ListTarget* t, std::size_t n);

}  // namespace vorn2nc
