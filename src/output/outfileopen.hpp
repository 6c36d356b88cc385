#pragma once
#include <cstdint>
#include <string_view>

// An interval of magnitude at most this (s) means the output is off: the
// single-precision 0.015 widened to double.
inline constexpr double kOutputOff = static_cast<double>(0.015f);

// Days from seconds, with the double constant 1/86400.
inline constexpr double kDaysPerSecond = 1.0 / 86400.0;

// Asks for the interval (hours) of the output kind `name` and, when it is
// on and positive, for its file name; opens the file "unknown" on the next
// free unit. Sets `dtout` (s, raised to the advection step with its sign
// kept) and `unit`. `key` is the kind's stable name for the record walk
// (sediment, map, ...) and `field` the name of its interval variable.
// Called by OUTPUT's set-up for each of the eight kinds.
void OUTFILEOPEN(std::int32_t& unit, double& dtout, std::string_view name,
                 std::int32_t& errorcode, const char* key = nullptr,
                 const char* field = "dtout");
