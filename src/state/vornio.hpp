#pragma once
// Run input/output: where parameters come from, where messages go.
#include <cstdint>

#include "rio/text.hpp"

struct VornioRecord {
  std::int32_t inunit = 5;    // unit the parameter records are read from
  std::int32_t outunit = 6;   // console unit: prompts, errors, progress lines
  std::int32_t nextunit = 2;  // next unit number to hand out
  std::int32_t logunit = 0;   // unit of the log file (0 until it is opened)
  Text<120> logname;          // name of the log file
};
extern VornioRecord VORNIO;
