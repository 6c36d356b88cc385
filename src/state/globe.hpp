#pragma once
// State of the random number package (src/random/ranf1.cpp): the combined
// multiplicative congruential generator of L'Ecuyer (1988) with the
// splitting scheme of L'Ecuyer and Cote (ACM TOMS 17, 1991), 32 streams.
//
// Only the package's routines write these records. Generator g (1..MAXGEN)
// lives in element g-1 of every per-stream array.
#include <cstdint>

constexpr int MAXGEN = 32;  // number of generators (streams)

struct GlobeRecord {
  std::int32_t modulus1 = 0;  // m1 = 2147483563, modulus of component 1
  std::int32_t modulus2 = 0;  // m2 = 2147483399, modulus of component 2
  std::int32_t mult1 = 0;     // a1 = 40014, multiplier of component 1
  std::int32_t mult2 = 0;     // a2 = 40692, multiplier of component 2
  std::int32_t mult1w = 0;    // a1^(2^30) mod m1: advances component 1 by one block
  std::int32_t mult2w = 0;    // a2^(2^30) mod m2: advances component 2 by one block
  std::int32_t mult1vw = 0;   // a1^(2^50) mod m1: advances component 1 by one stream
  std::int32_t mult2vw = 0;   // a2^(2^50) mod m2: advances component 2 by one stream
  std::int32_t initseed1[MAXGEN] = {};  // initial seed of each stream, component 1, 1..m1-1
  std::int32_t initseed2[MAXGEN] = {};  // initial seed of each stream, component 2, 1..m2-1
  std::int32_t lastseed1[MAXGEN] = {};  // component 1 at the start of the stream's current block
  std::int32_t lastseed2[MAXGEN] = {};  // component 2 at the start of the stream's current block
  std::int32_t curseed1[MAXGEN] = {};   // current state of component 1
  std::int32_t curseed2[MAXGEN] = {};   // current state of component 2
  bool antithetic[MAXGEN] = {};         // true: the stream returns m1 - z instead of z
};
extern GlobeRecord GLOBE;

// Package flags, kept outside GLOBE; the values here are those at program start.
struct GlobeFlags {
  bool initialised = false;  // the constants of GLOBE have been set (INRGCM)
  bool seeded = false;       // the seeds have been set (SETALL)
  std::int32_t curgen = 1;   // number of the current generator, 1..MAXGEN
};
extern GlobeFlags GLOBEFLAGS;
