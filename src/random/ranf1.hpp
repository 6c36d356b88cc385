#pragma once
// The random number package: 32 streams of the combined multiplicative
// congruential generator of L'Ecuyer (1988, CACM 31), split as in L'Ecuyer
// and Cote, "Implementing a Random Number Package with Splitting
// Facilities" (ACM TOMS 17, 1991): streams 2^50 steps apart, each divided
// into blocks of 2^30 steps. State: GLOBE and GLOBEFLAGS (state/globe.hpp).
//
// The model seeds once (SETALL, from the parameter reader) and then draws
// with RANF from generator 1 only. Every failure writes its message on
// standard output and a one-line notice on the standard error stream, then
// stops the run (stopOnError).
#include <cstdint>

// Next uniform number of the current generator in (0, 1): z * 2^-31 for
// z = IGNLGI(), rounded to the nearest float (never 0, at most 1 - 2^-24).
// Called by the packet release (one per packet slot) and vertical shuffling.
float RANF();

// Draws exactly like RANF (same stream, same step) but returns the exact
// product z * 2^-31 as a double, before any rounding to float. Vertical
// shuffling scales this unrounded value to choose a packet number.
double RANFEXACT();

// Next raw value z (1..m1-1) of the current generator; sets the constants
// (INRGCM) and the default seeds 1234567890, 123456789 (SETALL) on first use
// when nobody did so before.
std::int32_t IGNLGI();

// n values of IGNLGI in order, into z(1..n), with the generator left where
// n calls would leave it. Vertical shuffling draws its packet numbers in
// blocks with it.
void IGNLGIBLOCK(std::int32_t* z, std::int32_t n);

// Seeds generator 1 with (seed1, seed2) and generator g = 2..32 with the
// seeds of g-1 advanced by 2^50 steps; each starts at its first block.
// seed1 must be in 1..m1-1 and seed2 in 1..m2-1, else MLTMOD stops the run.
// Called once by the parameter reader. The first generator restarted is the
// current one (generator 1 in this program, which never changes it).
void SETALL(std::int32_t seed1, std::int32_t seed2);

// Restarts the current generator: isdtyp -1 at its initial seeds, 0 at the
// start of its current block, 1 at the start of its next block. Stops the
// run when the constants are not set or isdtyp is another value.
void INITGN(std::int32_t isdtyp);

// g = number of the current generator.
void GETCGN(std::int32_t& g);

// Makes generator g (1..32) current; any other g stops the run.
void SETCGN(std::int32_t g);

// Sets the constants of GLOBE, clears every antithetic flag and marks the
// package initialised.
void INRGCM();

// Returns whether the constants of GLOBE have been set.
bool QRGNIN();

// Sets the "initialised" flag to v; returns true.
bool QRGNSN(bool v);

// q = whether the seeds have been set.
void RGNQSD(bool& q);

// (a * s) mod m for 0 < a < m and 0 < s < m < 2^31, in 32-bit arithmetic
// (a split in base 2^15). Operands out of that order stop the run.
std::int32_t MLTMOD(std::int32_t a, std::int32_t s, std::int32_t m);

// Back to the state at program start: flags cleared, curgen 1, GLOBE zero.
// For tests; the program never calls it.
void resetRandomPackage();
