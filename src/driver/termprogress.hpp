#pragma once
#include <cstddef>
#include <cstdint>

// The progress line on the terminal: when standard error is a terminal, one
// self-rewriting line there shows the percentage of the simulated time
// done, the simulated day, the packets alive, the elapsed time and the
// time left, redrawn at most four times a second. It changes nothing in
// any file or on the console unit; the line is erased when the run ends
// (runProgram) and before console records reach the same terminal.
//
// iflag < 0: at the start of the time loop: opens the line (nothing more
// happens when standard error is not a terminal) and starts the clock.
// iflag = 0: after an advection step; reads TIMINGMID.timef, TIMINGIN and
// PACKETS.ktotal, one clock read, no allocation. iflag > 0: erases the line.
// Called by the driver (MAIN).
void TERMPROGRESS(std::int32_t iflag);

// Composes the text of the line into `buf` (at least 96 characters) and
// returns its length: the fraction `done` of the simulated time (0..1), the
// simulated time in seconds, the packets alive, and the elapsed wall-clock
// seconds. Separate for the tests.
std::size_t progressText(char* buf, double done, double seconds, std::int32_t packets,
                         double elapsed);
