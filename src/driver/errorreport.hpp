#pragma once
#include <cstdint>
#include <string_view>

// Reports a failed operation: a blank record, "Error Reported in
// subroutine <name>." and "Error #<errorcode>", on the console and then in
// the log file. Neither changes errorcode nor counts: the caller counts.
void ERRORREPORT(std::int32_t errorcode, std::string_view name);
