#pragma once
#include <cstdint>

// Error codes of RDPARAMS.
constexpr std::int32_t RDPARAMS_BAD_PARAMETER = 1;

// Reads the 13 run parameter records from inunit (with their prompts on the
// console), opens the log file on the next unit, seeds the random numbers,
// converts every time to seconds and echoes the parameters to the log.
// errorcode: 0, or 1 for a friction model outside -2..3 (the records after
// record 7 are then left unread) or no packets to release in steady release.
// Called once by the driver at start-up, after USERSETUP.
void RDPARAMS(std::int32_t& errorcode);
