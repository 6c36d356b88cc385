#pragma once
// The fuzz targets: each takes one input of any bytes and returns 0. A
// finding is a crash, a sanitizer report or a FuzzFinding thrown when a
// property of the target does not hold. The libFuzzer programs (entry.cpp)
// call them under clang; the regression test replays the saved inputs
// through the same functions in the normal test build.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

struct FuzzFinding : std::logic_error {
  using std::logic_error::logic_error;
};

// The free-format reader: records and a list of variables from the input,
// read one free-format read after another as the program reads them.
int fuzzListRead(const std::uint8_t* data, std::size_t size);

// The layout parser: a layout string from the input, values from the rest,
// written with the layout and read back.
int fuzzLayout(const std::uint8_t* data, std::size_t size);

// The start-up of a run: a parameter file and the files it names, given as
// one input, split into files in a scratch folder; the run is started and
// ended once start-up is done.
int fuzzStartup(const std::uint8_t* data, std::size_t size);
