#pragma once
// Thin checked wrappers of netcdf-c for the groups of the converted run;
// every failure becomes a ConvertError naming the call.
#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vorn2nc::nc {

constexpr float kFillFloat = NC_FILL_FLOAT;
constexpr double kFillDouble = NC_FILL_DOUBLE;
constexpr std::int32_t kFillInt = NC_FILL_INT;

void check(int status, const char* what);

int group(int parent, const char* name);
int dim(int grp, const char* name, std::size_t len);  // NC_UNLIMITED for an unlimited one
int var(int grp, const char* name, nc_type type, std::initializer_list<int> dims);

// Attributes of a variable (or of the group, with NC_GLOBAL).
void text(int grp, int var, const char* name, std::string_view value);
void number(int grp, int var, const char* name, double value);        // NC_DOUBLE
void number(int grp, int var, const char* name, float value);         // NC_FLOAT
void number(int grp, int var, const char* name, std::int32_t value);  // NC_INT
void numbers(int grp, int var, const char* name, const float* v, std::size_t n);
void numbers(int grp, int var, const char* name, const std::int32_t* v, std::size_t n);
// units, long_name and (when given) standard_name.
void describe(int grp, int var, const char* units, const char* longName,
              const char* standardName = nullptr);
// The variable's _FillValue, of its own type.
void fill(int grp, int var, float value);
void fill(int grp, int var, std::int32_t value);
void fill(int grp, int var, double value);

// Chunks of the sizes given, zlib level 1 with the shuffle filter.
void compress(int grp, int var, std::initializer_list<std::size_t> chunks);

void put(int grp, int var, const std::size_t* start, const std::size_t* count, const float* v);
void put(int grp, int var, const std::size_t* start, const std::size_t* count, const double* v);
void put(int grp, int var, const std::size_t* start, const std::size_t* count,
         const std::int32_t* v);

// The values of a group's variables over a run of records, written a block
// of records at a time. Each column is a variable (record[, width]).
class Series {
 public:
  explicit Series(int grp, std::size_t block = 4096) : grp_(grp), block_(block) {}
  // Adds a variable of `width` values a record; returns its column.
  int column(int var, std::size_t width = 1);
  // The current record's values of a column.
  double* at(int col) { return cols_[static_cast<std::size_t>(col)].v.data() + rows_ * cols_[static_cast<std::size_t>(col)].width; }
  void set(int col, double v) { *at(col) = v; }
  void endRecord();
  void finish();
  std::size_t records() const { return start_ + rows_; }

 private:
  struct Column {
    int var;
    std::size_t width;
    nc_type type;           // the variable's: values are converted to it when written
    std::vector<double> v;  // the values of the block's records
  };
  void flush();
  int grp_;
  std::size_t block_;
  std::vector<Column> cols_;
  std::size_t rows_ = 0;   // records in the block
  std::size_t start_ = 0;  // records written before the block
};

}  // namespace vorn2nc::nc
