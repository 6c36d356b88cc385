#include "vorn2nc/ncfile.hpp"

#include "vorn2nc/convert.hpp"

namespace vorn2nc::nc {

void check(int status, const char* what) {
  if (status != NC_NOERR) fail(std::string("NetCDF: ") + what + ": " + nc_strerror(status));
}

int group(int parent, const char* name) {
  int id = 0;
  check(nc_def_grp(parent, name, &id), name);
  return id;
}

int dim(int grp, const char* name, std::size_t len) {
  int id = 0;
  check(nc_def_dim(grp, name, len, &id), name);
  return id;
}

int var(int grp, const char* name, nc_type type, std::initializer_list<int> dims) {
  int id = 0;
  check(nc_def_var(grp, name, type, static_cast<int>(dims.size()), dims.begin(), &id), name);
  return id;
}

void text(int grp, int var, const char* name, std::string_view value) {
  check(nc_put_att_text(grp, var, name, value.size(), value.data()), name);
}

void number(int grp, int var, const char* name, double value) {
  check(nc_put_att_double(grp, var, name, NC_DOUBLE, 1, &value), name);
}

void number(int grp, int var, const char* name, float value) {
  check(nc_put_att_float(grp, var, name, NC_FLOAT, 1, &value), name);
}

void number(int grp, int var, const char* name, std::int32_t value) {
  check(nc_put_att_int(grp, var, name, NC_INT, 1, &value), name);
}

void numbers(int grp, int var, const char* name, const float* v, std::size_t n) {
  check(nc_put_att_float(grp, var, name, NC_FLOAT, n, v), name);
}

void numbers(int grp, int var, const char* name, const std::int32_t* v, std::size_t n) {
  check(nc_put_att_int(grp, var, name, NC_INT, n, v), name);
}

void describe(int grp, int var, const char* units, const char* longName,
              const char* standardName) {
  if (units) text(grp, var, "units", units);
  text(grp, var, "long_name", longName);
  if (standardName) text(grp, var, "standard_name", standardName);
}

void fill(int grp, int var, float value) {
  check(nc_put_att_float(grp, var, "_FillValue", NC_FLOAT, 1, &value), "_FillValue");
}

void fill(int grp, int var, std::int32_t value) {
  check(nc_put_att_int(grp, var, "_FillValue", NC_INT, 1, &value), "_FillValue");
}

void fill(int grp, int var, double value) {
  check(nc_put_att_double(grp, var, "_FillValue", NC_DOUBLE, 1, &value), "_FillValue");
}

void compress(int grp, int var, std::initializer_list<std::size_t> chunks) {
  check(nc_def_var_chunking(grp, var, NC_CHUNKED, chunks.begin()), "chunking");
  check(nc_def_var_deflate(grp, var, 1, 1, 1), "compression");
}

void put(int grp, int var, const std::size_t* start, const std::size_t* count, const float* v) {
  check(nc_put_vara_float(grp, var, start, count, v), "writing values");
}

void put(int grp, int var, const std::size_t* start, const std::size_t* count, const double* v) {
  check(nc_put_vara_double(grp, var, start, count, v), "writing values");
}

void put(int grp, int var, const std::size_t* start, const std::size_t* count,
         const std::int32_t* v) {
  check(nc_put_vara_int(grp, var, start, count, v), "writing values");
}

int Series::column(int var, std::size_t width) {
  nc_type type = NC_DOUBLE;
  check(nc_inq_vartype(grp_, var, &type), "variable type");
  cols_.push_back({var, width, type, std::vector<double>(block_ * width)});
  return static_cast<int>(cols_.size()) - 1;
}

void Series::endRecord() {
  if (++rows_ == block_) flush();
}

void Series::flush() {
  if (rows_ == 0) return;
  for (const Column& c : cols_) {
    const std::size_t start[2] = {start_, 0};
    const std::size_t count[2] = {rows_, c.width};
    const std::size_t n = rows_ * c.width;
    if (c.type == NC_FLOAT) {
      // Every value came from a float (or is the float fill): exact.
      std::vector<float> f(c.v.begin(), c.v.begin() + static_cast<std::ptrdiff_t>(n));
      put(grp_, c.var, start, count, f.data());
    } else if (c.type == NC_INT) {
      std::vector<std::int32_t> k(n);
      for (std::size_t i = 0; i < n; ++i) k[i] = static_cast<std::int32_t>(c.v[i]);
      put(grp_, c.var, start, count, k.data());
    } else {
      put(grp_, c.var, start, count, c.v.data());
    }
  }
  start_ += rows_;
  rows_ = 0;
}

void Series::finish() { flush(); }

}  // namespace vorn2nc::nc
