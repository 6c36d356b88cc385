// Placing packets by rank through a profile table: the bucket index that
// replaces the search up the levels, and the interpolation in double
// guarded so that it stores the very float the extended-precision formula
// stores.
//
// The search. The straightforward search takes the first level i from 1 up
// with cum(i) >= r. Bucket b = trunc(r 8192) holds the first level i_b
// with cum(i) >= b/8192. Both r 8192 and b/8192 are exact in single
// precision, so b/8192 <= r: every level below i_b has cum < b/8192 <= r
// and fails the test too. A scan from i_b up with the same test therefore
// stops at the same level, whether or not the table increases, and a cum
// that is not a number fails both tests alike. Bucket 0 starts at level 1,
// which also covers ranks below zero.
//
// The interpolation and its guard. Write D = zlev(i) - zlev(i-1), C =
// cum(i) - cum(i-1) and a = r - cum(i-1), exact reals, with 0 < a <= C
// on the level the search found; Q = D a / C, Z = zlev(i-1) + Q. Then
// |Q| <= |D| and Z lies between the two levels, so |Z| <= M, the larger
// magnitude of the two level heights. Every operand is a finite float or a
// difference of two, so no value below involves underflow or overflow in
// double or extended precision, and each operation rounds with a relative
// error of at most u (u = 2^-64 extended, 2^-53 double).
// - Extended: s = z0 + dz (r - c0) / dc rounds D, a, C, the product, the
//   quotient (five roundings in Q: |q - Q| <= 5.0001 u |Q|) and the sum
//   (u |z0 + q|), so |s - Z| <= u (5.0002 |D| + M).
// - Double: zd = z0 + slope a with slope = D / C rounds D, C, the
//   quotient, a, the product and the sum: the same count, so
//   |zd - Z| <= 2^-53 (5.0002 |D| + M).
// Together |zd - s| <= E = 2^-53 (5.001 |D| + 1.0001 M). The guard forms
// lo = zd - B and hi = zd + B with B = 2^-50 (|D| + M) = 8 2^-53 (|D| + M);
// their own rounding moves them by at most 2^-53 (|zd| + B), and
// B (1 - 2^-53) >= E + 2^-53 (1.0001 M + 0.0001 |D|), so lo <= s <= hi
// (B itself is formed in double from |D| and M, which costs it under
// three units of 2^-53 relative: 8 (1 - 2^-53)^3 still exceeds 5.002).
// Rounding to the nearest float is monotone, so when lo and hi round to
// the same float, s rounds to it as well: that float is the stored height.
// Otherwise (about once in 3 10^7 evaluations) the extended formula itself
// is evaluated. Values that are not numbers or are infinite make lo and hi
// differ, and take the extended formula too.
#include "vertical/rankindex.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "runtime/workers.hpp"
#include "state/packets.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr float kBuckets = static_cast<float>(NBUCKET);

// An entry of the bucket index is the byte offset of the level's segment;
// flagged buckets (a rank of the bucket may lie above that level's cum)
// point to the segment's copy in the second half, whose bound is negated.
constexpr int kSegmentBytes = sizeof(RankIndex::Segment);
static_assert(kSegmentBytes * 2 * NPDF < 65536);

inline int levelOf(unsigned entry) { return static_cast<int>(entry / kSegmentBytes) % NPDF; }

// The straightforward search from level 1 and the extended interpolation:
// for a table whose top is not a number.
std::int32_t placePlain(const RankIndex& x, std::int32_t first, std::int32_t last) {
  const float* ranks = RANKS.ranks;
  float* z = POSITIONS.z;
  for (std::int32_t k = first; k < last; ++k) {
    const float r = ranks[k];
    if (r <= x.bottom) {
      z[k] = x.zbed;
      continue;
    }
    if (!(r <= x.top)) return k + 1;
    int i = 1;
    while (!(x.cum[i] >= r)) ++i;
    z[k] = levelHeightExtended(x.zlev, x.cum, i, r);
  }
  return 0;
}

// The bucket of a rank above the bottom of the table, 0..8192.
inline int bucketOf(float r) {
  const float rc = std::min(std::max(r, 0.0f), 1.0f);
  return static_cast<int>(rc * kBuckets);
}

// The height of rank r on segment i: the double interpolation when the
// guard proves it rounds like the extended one, else the extended one.
inline float heightAt(const RankIndex& x, int i, float r) {
  const RankIndex::Segment& s = x.segment[i];
  const double a = static_cast<double>(r) - s.c0;
  const double zd = s.z0 + s.slope * a;
  const float lo = static_cast<float>(zd - s.bound);
  const float hi = static_cast<float>(zd + s.bound);
  if (lo == hi) [[likely]] return lo;
  return levelHeightExtended(x.zlev, x.cum, i, r);
}

// The height of a rank above the bottom and not above the top: the scan
// from its bucket's level, then the guarded interpolation.
inline float heightOf(const RankIndex& x, float r) {
  int i = levelOf(x.start[bucketOf(r)]);
  while (!(x.cum[i] >= r)) ++i;
  return heightAt(x, i, r);
}

// The packets k + l (0-based) of the lanes l set in `redo`, whose bucket may
// need the scan or whose guard failed, placed one by one.
inline void redoLanes(const RankIndex& x, unsigned redo, std::int32_t k) {
  for (; redo != 0; redo &= redo - 1) {
    const int l = __builtin_ctz(redo);
    POSITIONS.z[k + l] = heightOf(x, RANKS.ranks[k + l]);
  }
}

// The blocks of the wide kernels with lanes to redo (about one block in
// ten), kept as they go without a branch and redone in a batch: their first
// packets and their lanes, `count` of them.
constexpr int kRedoBlocks = 256;
struct RedoList {
  std::int32_t first[kRedoBlocks];
  unsigned lanes[kRedoBlocks];
  int count = 0;
};

// Redoes the blocks of the list and empties it. Like placeScalar, it is
// SSE code: the wide kernels clear the upper halves of the vector
// registers (vzeroupper) before they call either, since on Intel
// processors SSE code after AVX code that left them dirty runs several
// times slower (a sixth of a run went to the first instruction here).
__attribute__((noinline)) void redoBlocks(const RankIndex& x, RedoList& list) {
  for (int n = 0; n < list.count; ++n) redoLanes(x, list.lanes[n], list.first[n]);
  list.count = 0;
}

std::int32_t placeScalar(const RankIndex& x, std::int32_t first, std::int32_t last) {
  const float* ranks = RANKS.ranks;
  float* z = POSITIONS.z;
  const float bottom = x.bottom;
  const float top = x.top;
  for (std::int32_t k = first; k < last; ++k) {
    const float r = ranks[k];
    if (r <= bottom) {
      z[k] = x.zbed;
      continue;
    }
    if (!(r <= top)) return k + 1;
    z[k] = heightOf(x, r);
  }
  return 0;
}

#if defined(__x86_64__)
// The guarded double heights of four ranks on the segments of the levels
// their buckets start at: each segment's four doubles loaded as one vector
// and transposed. Sets lo and hi, the two ends of the guard rounded to
// single precision; returns the signs of the four bounds, set for the
// lanes of flagged buckets.
__attribute__((target("avx2"))) inline int fourHeights(const RankIndex& x, const std::int32_t* b,
                                                         __m128 r, __m128& lo, __m128& hi) {
  const char* base = reinterpret_cast<const char*>(x.segment);
  const __m256d v0 = _mm256_load_pd(reinterpret_cast<const double*>(base + x.start[b[0]]));
  const __m256d v1 = _mm256_load_pd(reinterpret_cast<const double*>(base + x.start[b[1]]));
  const __m256d v2 = _mm256_load_pd(reinterpret_cast<const double*>(base + x.start[b[2]]));
  const __m256d v3 = _mm256_load_pd(reinterpret_cast<const double*>(base + x.start[b[3]]));
  const __m256d t0 = _mm256_unpacklo_pd(v0, v1);
  const __m256d t1 = _mm256_unpackhi_pd(v0, v1);
  const __m256d t2 = _mm256_unpacklo_pd(v2, v3);
  const __m256d t3 = _mm256_unpackhi_pd(v2, v3);
  const __m256d z0 = _mm256_permute2f128_pd(t0, t2, 0x20);
  const __m256d slope = _mm256_permute2f128_pd(t0, t2, 0x31);
  const __m256d c0 = _mm256_permute2f128_pd(t1, t3, 0x20);
  const __m256d bound = _mm256_permute2f128_pd(t1, t3, 0x31);
  const __m256d zd = _mm256_add_pd(z0, _mm256_mul_pd(slope, _mm256_sub_pd(_mm256_cvtps_pd(r), c0)));
  lo = _mm256_cvtpd_ps(_mm256_sub_pd(zd, bound));
  hi = _mm256_cvtpd_ps(_mm256_add_pd(zd, bound));
  return _mm256_movemask_pd(bound);
}

// Keeps block k's lanes to redo (with none, the entry is overwritten by
// the next block) and redoes the list when it is full: for the wide
// kernels, inlined into them.
__attribute__((target("avx2"), always_inline)) inline void keepRedo(const RankIndex& x, RedoList& list,
                                                                      std::int32_t k, int lanes) {
  list.first[list.count] = k;
  list.lanes[list.count] = static_cast<unsigned>(lanes);
  list.count += lanes != 0;
  if (list.count == kRedoBlocks) [[unlikely]] {
    _mm256_zeroupper();
    redoBlocks(x, list);
  }
}

// A block of n packets from packet k (0-based) with one on the bed or
// ranked above the top, placed one by one; at a packet above the top (its
// number returned), the blocks kept are redone first, as the range stops.
__attribute__((target("avx2"), always_inline)) inline std::int32_t placeBlockScalar(
    const RankIndex& x, RedoList& list, std::int32_t k, int n) {
  _mm256_zeroupper();
  const std::int32_t bad = placeScalar(x, k, k + n);
  if (bad != 0) {
    _mm256_zeroupper();  // the caller's constants may be back in the registers
    redoBlocks(x, list);
  }
  return bad;
}

// The end of a wide kernel's range from packet k (0-based): the blocks
// kept, then the packets left over one by one.
__attribute__((target("avx2"), always_inline)) inline std::int32_t finishRange(const RankIndex& x,
                                                                                 RedoList& list,
                                                                                 std::int32_t k,
                                                                                 std::int32_t last) {
  _mm256_zeroupper();  // GCC leaves it out before a tail call
  redoBlocks(x, list);
  return placeScalar(x, k, last);
}

// Eight packets at a time with AVX2: the same tests, the same double
// interpolation and guard as placeScalar, lane by lane, on the level the
// rank's bucket starts at. A block with a packet on the bed or ranked
// above the top is done by the scalar code, and so are the lanes whose
// bucket may need the scan or whose guard fails.
__attribute__((target("avx2"))) std::int32_t placeWide(const RankIndex& x, std::int32_t first,
                                                         std::int32_t last) {
  const float* ranks = RANKS.ranks;
  float* z = POSITIONS.z;
  const __m256 bottom = _mm256_set1_ps(x.bottom);
  const __m256 top = _mm256_set1_ps(x.top);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 buckets = _mm256_set1_ps(kBuckets);
  RedoList redo_;
  std::int32_t k = first;
  for (; k + 8 <= last; k += 8) {
    const __m256 r = _mm256_loadu_ps(ranks + k);
    const __m256 inside = _mm256_andnot_ps(_mm256_cmp_ps(r, bottom, _CMP_LE_OQ),
                                           _mm256_cmp_ps(r, top, _CMP_LE_OQ));
    if (_mm256_movemask_ps(inside) != 0xff) [[unlikely]] {
      const std::int32_t bad = placeBlockScalar(x, redo_, k, 8);
      if (bad != 0) return bad;
      continue;
    }
    alignas(32) std::int32_t b[8];
    const __m256 rc = _mm256_min_ps(_mm256_max_ps(r, zero), one);
    _mm256_store_si256(reinterpret_cast<__m256i*>(b), _mm256_cvttps_epi32(_mm256_mul_ps(rc, buckets)));
    __m128 lo0, hi0, lo1, hi1;
    const int flags = fourHeights(x, b, _mm256_castps256_ps128(r), lo0, hi0) |
                      fourHeights(x, b + 4, _mm256_extractf128_ps(r, 1), lo1, hi1) << 4;
    const __m256 lo = _mm256_set_m128(lo1, lo0);
    const __m256 hi = _mm256_set_m128(hi1, hi0);
    _mm256_storeu_ps(z + k, lo);
    const int redo = (_mm256_movemask_ps(_mm256_cmp_ps(lo, hi, _CMP_EQ_OQ)) ^ 0xff) | flags;
    keepRedo(x, redo_, k, redo);
  }
  return finishRange(x, redo_, k, last);
}

// GCC 12's AVX-512 headers start some conversions from an "undefined"
// register, which -Wmaybe-uninitialized mistakes for a read of one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The segments the buckets b and c start at, one in each half.
__attribute__((target("avx512f"))) inline __m512d twoRows(const RankIndex& x, std::int32_t b, std::int32_t c) {
  const char* base = reinterpret_cast<const char*>(x.segment);
  const __m256d lo = _mm256_load_pd(reinterpret_cast<const double*>(base + x.start[b]));
  const __m256d hi = _mm256_load_pd(reinterpret_cast<const double*>(base + x.start[c]));
  return _mm512_insertf64x4(_mm512_castpd256_pd512(lo), hi, 1);
}

// The guarded double heights of eight ranks on the segments of the levels
// their buckets start at: each segment's four doubles loaded as one row,
// the eight rows transposed into vectors of eight. Stores lo to z;
// returns the lanes whose lo and hi differ or whose bucket is flagged.
__attribute__((target("avx512f"))) inline int eightHeights(const RankIndex& x, const std::int32_t* b,
                                                           __m256 r, float* z) {
  // Rows (z0, c0, slope, bound) of lanes 0 and 2 in one register, 1 and 3
  // in the next, then 4 and 6, 5 and 7; their pairs of 128 bits are then
  // regrouped in lane order.
  const __m512d a = twoRows(x, b[0], b[2]);
  const __m512d c = twoRows(x, b[1], b[3]);
  const __m512d e = twoRows(x, b[4], b[6]);
  const __m512d g = twoRows(x, b[5], b[7]);
  const __m512d t0 = _mm512_unpacklo_pd(a, c);  // z0, slope of lanes 0, 1 | 2, 3
  const __m512d t1 = _mm512_unpackhi_pd(a, c);  // c0, bound
  const __m512d t2 = _mm512_unpacklo_pd(e, g);  // the same for lanes 4 to 7
  const __m512d t3 = _mm512_unpackhi_pd(e, g);
  const __m512d z0 = _mm512_shuffle_f64x2(t0, t2, 0x88);
  const __m512d slope = _mm512_shuffle_f64x2(t0, t2, 0xdd);
  const __m512d c0 = _mm512_shuffle_f64x2(t1, t3, 0x88);
  const __m512d bound = _mm512_shuffle_f64x2(t1, t3, 0xdd);
  const __m512d zd = _mm512_add_pd(z0, _mm512_mul_pd(slope, _mm512_sub_pd(_mm512_cvtps_pd(r), c0)));
  const __m256 lo = _mm512_cvtpd_ps(_mm512_sub_pd(zd, bound));
  const __m256 hi = _mm512_cvtpd_ps(_mm512_add_pd(zd, bound));
  _mm256_storeu_ps(z, lo);
  const int flagged = _mm512_test_epi64_mask(_mm512_castpd_si512(bound),
                                             _mm512_set1_epi64(static_cast<long long>(1ULL << 63)));
  return (_mm256_movemask_ps(_mm256_cmp_ps(lo, hi, _CMP_EQ_OQ)) ^ 0xff) | flagged;
}

// Sixteen packets at a time with AVX-512: placeWide's tests, bucket index,
// double interpolation and guard, the segments' values regrouped eight at
// a time. A block with a packet on the bed or ranked above the top is done
// by the scalar code, and so are the lanes whose bucket may need the scan
// or whose guard fails.
__attribute__((target("avx512f"))) std::int32_t placeSixteen(const RankIndex& x, std::int32_t first,
                                                             std::int32_t last) {
  const float* ranks = RANKS.ranks;
  float* z = POSITIONS.z;
  const __m512 bottom = _mm512_set1_ps(x.bottom);
  const __m512 top = _mm512_set1_ps(x.top);
  const __m512 zero = _mm512_setzero_ps();
  const __m512 one = _mm512_set1_ps(1.0f);
  const __m512 buckets = _mm512_set1_ps(kBuckets);
  RedoList redo_;
  std::int32_t k = first;
  for (; k + 16 <= last; k += 16) {
    const __m512 r = _mm512_loadu_ps(ranks + k);
    const __mmask16 inside = _mm512_cmp_ps_mask(r, bottom, _CMP_GT_OQ) &
                             _mm512_cmp_ps_mask(r, top, _CMP_LE_OQ);
    if (inside != 0xffff) [[unlikely]] {
      const std::int32_t bad = placeBlockScalar(x, redo_, k, 16);
      if (bad != 0) return bad;
      continue;
    }
    alignas(64) std::int32_t b[16];
    const __m512 rc = _mm512_min_ps(_mm512_max_ps(r, zero), one);
    _mm512_store_si512(b, _mm512_cvttps_epi32(_mm512_mul_ps(rc, buckets)));
    const int redo =
        eightHeights(x, b, _mm512_castps512_ps256(r), z + k) |
        eightHeights(x, b + 8, _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(r), 1)), z + k + 8)
            << 8;
    keepRedo(x, redo_, k, redo);
  }
  return finishRange(x, redo_, k, last);
}
#pragma GCC diagnostic pop
#endif

}  // namespace

float levelHeightExtended(const float* zlev, const float* cum, int i, float r) {
  const long double z0 = zlev[i - 1];
  const long double dz = static_cast<long double>(zlev[i]) - z0;
  const long double c0 = cum[i - 1];
  const long double dc = static_cast<long double>(cum[i]) - c0;
  return static_cast<float>(z0 + dz * (static_cast<long double>(r) - c0) / dc);
}

void prepareRankIndex(const PdfTable& t, RankIndex& x) {
  for (int i = 0; i < NPDF; ++i) {
    x.cum[i] = t.cum[i];
    x.zlev[i] = t.zlev[i];
  }
  x.zbed = 0.5f * t.zlev[0];
  x.bottom = t.cum[0];
  x.top = t.cum[NPDF - 1];
  x.plain = std::isnan(x.top);
  for (int i = 1; i < NPDF; ++i) {
    const double d = static_cast<double>(t.zlev[i]) - t.zlev[i - 1];
    const double c = static_cast<double>(t.cum[i]) - t.cum[i - 1];
    const double m = std::fmax(std::fabs(static_cast<double>(t.zlev[i - 1])),
                               std::fabs(static_cast<double>(t.zlev[i])));
    x.segment[i] = {t.zlev[i - 1], t.cum[i - 1], d / c, 0x1p-50 * (std::fabs(d) + m)};
    x.segment[NPDF + i] = x.segment[i];
    x.segment[NPDF + i].bound = -x.segment[i].bound;
  }
  x.segment[0] = {};
  x.segment[NPDF] = {0.0, 0.0, 0.0, -0.0};
  // The first level of each bucket; the levels found never decrease with
  // the bucket, and a bucket above the top (no rank can fall in it) gets
  // the last level. Every rank of bucket b < 8192 lies below (b + 1)/8192,
  // so when the level's cum reaches that edge the scan cannot pass it;
  // otherwise the entry is flagged, and so is bucket 8192 (ranks from 1 up).
  int i = 1;
  for (int b = 0; b <= NBUCKET; ++b) {
    const float edge = static_cast<float>(b) / kBuckets;
    while (b > 0 && i < NPDF - 1 && !(t.cum[i] >= edge)) ++i;
    const float next = static_cast<float>(b + 1) / kBuckets;
    const bool mayPass = b == NBUCKET || !(t.cum[i] >= next);
    x.start[b] = static_cast<std::uint16_t>((mayPass ? NPDF + i : i) * kSegmentBytes);
  }
}

std::int32_t placeByRank(const RankIndex& x, std::int32_t first, std::int32_t last) {
  if (x.plain) return placePlain(x, first, last);
#if defined(__x86_64__)
  const KernelPath path = kernelPath();
  if (path == KernelPath::avx512) return placeSixteen(x, first, last);
  if (path != KernelPath::sse2) return placeWide(x, first, last);
#endif
  return placeScalar(x, first, last);
}
