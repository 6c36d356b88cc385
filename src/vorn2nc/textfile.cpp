#include "vorn2nc/textfile.hpp"

#include <cerrno>
#include <cstring>

#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "vorn2nc/convert.hpp"

namespace vorn2nc {
namespace {

// The unit every file of the run is read on, one file at a time.
constexpr int kReadUnit = 2;

}  // namespace

TextFile::TextFile(const std::string& name, const std::string& what)
    : unit_(kReadUnit), name_(name), what_(what) {
  if (!rio::tryOpenUnit(unit_, name, rio::FileStatus::old, what + " file")) {
    fail("cannot open the " + what + " file \"" + name + "\": " + std::strerror(errno));
  }
}

TextFile::~TextFile() { rio::closeUnit(unit_); }

bool TextFile::next(std::string_view& rec) {
  try {
    if (!rio::readRecord(unit_, rec)) return false;
  } catch (const IoFailure& e) {
    fail(e.message);
  }
  rec_ = rec;
  ++number_;
  return true;
}

std::string_view TextFile::need(const std::string& why) {
  std::string_view rec;
  if (!next(rec)) endsEarly(why);
  return rec;
}

void TextFile::bad(const std::string& why) const {
  fail(name_ + ", record " + std::to_string(number_) + ": " + why);
}

void TextFile::endsEarly(const std::string& why) const {
  fail(name_ + " ends after record " + std::to_string(number_) + ": " + why);
}

LayoutRecords::LayoutRecords(TextFile& file, std::string_view layout)
    : file_(file), layout_(layout), reader_(layout_, one_) {
  reader_.acceptOutputForms();
}

bool LayoutRecords::next() {
  reader_.end();
  std::string_view rec;
  if (!file_.next(rec)) return false;
  one_.set(rec);
  return true;
}

template <class T>
T LayoutRecords::value(T fill) {
  T v{};
  if (!reader_.get(v)) {
    file_.bad(reader_.status() == rio::ReadResult::eof ? "a value is missing" : reader_.why());
  }
  return reader_.overflowed() ? fill : v;
}

float LayoutRecords::real(float fill) { return value(fill); }
double LayoutRecords::real8(double fill) { return value(fill); }
std::int32_t LayoutRecords::integer(std::int32_t fill) { return value(fill); }

void LayoutRecords::done(std::size_t values) {
  std::size_t length = 0;
  const auto& items = layout_.items();
  for (std::size_t k = 0; k < values && k < items.size(); ++k) {
    length += static_cast<std::size_t>(items[k].blanks + items[k].w);
  }
  if (file_.record().size() != length) {
    file_.bad(std::to_string(file_.record().size()) + " characters where the layout " +
              "of its " + std::to_string(values) + " values gives " + std::to_string(length));
  }
}

std::string_view LayoutRecords::field(std::size_t item) const {
  const auto& items = layout_.items();
  std::size_t start = 0;
  for (std::size_t k = 0; k < item; ++k) start += static_cast<std::size_t>(items[k].blanks + items[k].w);
  start += static_cast<std::size_t>(items[item].blanks);
  const std::string_view rec = file_.record();
  if (start >= rec.size()) return {};
  return rec.substr(start, static_cast<std::size_t>(items[item].w));
}

void listValues(TextFile& file, std::string_view rec, const rio::ListTarget* t, std::size_t n) {
  OneRecord one;
  one.set(rec);
  std::string why;
  const rio::ReadResult r = rio::parseList(one, t, n, &why);
  if (r == rio::ReadResult::eof) file.bad("fewer values than " + std::to_string(n));
  if (r != rio::ReadResult::ok) file.bad(why);
}

}  // namespace vorn2nc
