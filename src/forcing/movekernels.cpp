// Block kernels of the horizontal move. For a packet at height z the
// one-packet profile takes the first node j from node 2 up with
// heightnodes(j) >= z; on a grid whose heights increase strictly that is
// node 2 plus the number of nodes 2..nnv-1 lying below z, which a block
// counts with comparisons instead of a search (a height that is not a
// number counts none, as the search stops at node 2 for it). Then, lane
// by lane and in the same order: w = (z - h(j-1)) / (h(j) - h(j-1)),
// w1 = 1 - w, u = w uu(j) + w1 uu(j-1), v likewise, zero below the bottom
// node, and x + (dt u rounded to single precision), y likewise. Divisions
// stay divisions and nothing is fused, so every lane gives the bits of
// the one-packet move.
#include "forcing/movekernels.hpp"

#include <cstdint>
#include <limits>

#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "runtime/workers.hpp"
#include "state/vornio.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

void aboveTheGrid(float z, float zmax) {
  rio::listWrite(VORNIO.outunit, "VelHoriz: Big Trouble.  z zmax", z, zmax);
  rio::listWrite(VORNIO.logunit, "VelHoriz: Big Trouble.  z zmax", z, zmax);
  stopOnError();
}

void movePlain(float* x, float* y, const float* z, double dt, std::int32_t first,
               std::int32_t last, std::int32_t nnv, const float* heightnodes, const float* uu,
               const float* vv) {
  for (std::int32_t i = first; i < last; ++i) {
    float u;
    float v;
    profileAt(u, v, z[i], uu, vv, heightnodes, nnv);
    x[i] = x[i] + static_cast<float>(dt * u);
    y[i] = y[i] + static_cast<float>(dt * v);
  }
}

bool prepareNodeSegments(std::int32_t nnv, const float* h, const float* uu, const float* vv,
                         NodeSegments& s) {
  if (nnv < 2 || nnv > MAXFASTNODES) return false;
  for (int m = 1; m < nnv; ++m) {
    if (!(h[m - 1] < h[m])) return false;
  }
  s.heightnodes = h;
  s.uu = uu;
  s.vv = vv;
  s.nnv = nnv;
  s.bottom = h[0];
  s.top = h[nnv - 1];
  const int ninterior = nnv - 2;
  s.nfours = (ninterior + 3) / 4;
  for (int m = 0; m < 4 * s.nfours; ++m) {
    const float height = m < ninterior ? h[m + 1] : std::numeric_limits<float>::infinity();
    for (int l = 0; l < 8; ++l) s.interior[m][l] = height;
  }
  for (auto& row : s.kind) {
    for (float& v : row) v = 0.0f;
  }
  for (int m = 0; m < nnv - 1; ++m) {
    float* r = s.seg[m];
    r[0] = h[m];
    r[1] = h[m + 1] - h[m];
    r[2] = uu[m];
    r[3] = uu[m + 1];
    r[4] = vv[m];
    r[5] = vv[m + 1];
    r[6] = r[7] = 0.0f;
    for (int q = 0; q < 6; ++q) s.kind[q][m] = r[q];
  }
  return true;
}

namespace {

#if defined(__x86_64__)

// Four packets with SSE2: the segment's values fetched lane by lane and
// transposed.
std::int32_t moveFour(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                      std::int32_t first, std::int32_t last) {
  const __m128 bottom = _mm_set1_ps(s.bottom);
  const __m128 top = _mm_set1_ps(s.top);
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128d dtv = _mm_set1_pd(dt);
  const int ninterior = 4 * s.nfours;
  std::int32_t k = first;
  for (; k + 4 <= last; k += 4) {
    const __m128 zv = _mm_loadu_ps(z + k);
    if (_mm_movemask_ps(_mm_cmpgt_ps(zv, top)) != 0) break;
    __m128i below = _mm_setzero_si128();  // minus the count of interior nodes below z
#pragma GCC unroll 4
    for (int m = 0; m < ninterior; ++m) {
      below = _mm_add_epi32(below, _mm_castps_si128(_mm_cmplt_ps(_mm_load_ps(s.interior[m]), zv)));
    }
    alignas(16) std::int32_t seg[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(seg), _mm_sub_epi32(_mm_setzero_si128(), below));
    __m128 hlo = _mm_load_ps(s.seg[seg[0]]);
    __m128 dh = _mm_load_ps(s.seg[seg[1]]);
    __m128 ulo = _mm_load_ps(s.seg[seg[2]]);
    __m128 uhi = _mm_load_ps(s.seg[seg[3]]);
    _MM_TRANSPOSE4_PS(hlo, dh, ulo, uhi);
    __m128 vlo = _mm_load_ps(s.seg[seg[0]] + 4);
    __m128 vhi = _mm_load_ps(s.seg[seg[1]] + 4);
    __m128 p2 = _mm_load_ps(s.seg[seg[2]] + 4);
    __m128 p3 = _mm_load_ps(s.seg[seg[3]] + 4);
    _MM_TRANSPOSE4_PS(vlo, vhi, p2, p3);
    const __m128 w = _mm_div_ps(_mm_sub_ps(zv, hlo), dh);
    const __m128 w1 = _mm_sub_ps(one, w);
    const __m128 bed = _mm_cmplt_ps(zv, bottom);
    const __m128 u = _mm_andnot_ps(bed, _mm_add_ps(_mm_mul_ps(w, uhi), _mm_mul_ps(w1, ulo)));
    const __m128 v = _mm_andnot_ps(bed, _mm_add_ps(_mm_mul_ps(w, vhi), _mm_mul_ps(w1, vlo)));
    const __m128 du = _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(dtv, _mm_cvtps_pd(u))),
                                    _mm_cvtpd_ps(_mm_mul_pd(dtv, _mm_cvtps_pd(_mm_movehl_ps(u, u)))));
    const __m128 dv = _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(dtv, _mm_cvtps_pd(v))),
                                    _mm_cvtpd_ps(_mm_mul_pd(dtv, _mm_cvtps_pd(_mm_movehl_ps(v, v)))));
    _mm_storeu_ps(x + k, _mm_add_ps(_mm_loadu_ps(x + k), du));
    _mm_storeu_ps(y + k, _mm_add_ps(_mm_loadu_ps(y + k), dv));
  }
  return k;
}

// The value of one kind for segment numbers `seg` (0..23): a permutation
// within each row of eight, the row chosen by the number.
template <int ROWS>
__attribute__((target("avx2"))) inline __m256 lookup(const float* kind, __m256i seg) {
  __m256 v = _mm256_permutevar8x32_ps(_mm256_load_ps(kind), seg);
  for (int g = 1; g < ROWS; ++g) {
    const __m256 in = _mm256_castsi256_ps(_mm256_cmpgt_epi32(seg, _mm256_set1_epi32(8 * g - 1)));
    v = _mm256_blendv_ps(v, _mm256_permutevar8x32_ps(_mm256_load_ps(kind + 8 * g), seg), in);
  }
  return v;
}

// dt u rounded to single precision, eight lanes.
__attribute__((target("avx2"))) inline __m256 step(__m256d dtv, __m256 u) {
  const __m128 lo = _mm256_cvtpd_ps(_mm256_mul_pd(dtv, _mm256_cvtps_pd(_mm256_castps256_ps128(u))));
  const __m128 hi = _mm256_cvtpd_ps(_mm256_mul_pd(dtv, _mm256_cvtps_pd(_mm256_extractf128_ps(u, 1))));
  return _mm256_set_m128(hi, lo);
}

// Eight packets with AVX2, the segment's values looked up in registers.
template <int ROWS>
__attribute__((target("avx2"))) std::int32_t moveEight(const NodeSegments& s, float* x, float* y,
                                                         const float* z, double dt,
                                                         std::int32_t first, std::int32_t last) {
  const __m256 bottom = _mm256_set1_ps(s.bottom);
  const __m256 top = _mm256_set1_ps(s.top);
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256d dtv = _mm256_set1_pd(dt);
  const float(*const interior)[8] = s.interior;
  const float(*const end)[8] = s.interior + 4 * s.nfours;
  std::int32_t k = first;
  for (; k + 8 <= last; k += 8) {
    const __m256 zv = _mm256_loadu_ps(z + k);
    if (_mm256_movemask_ps(_mm256_cmp_ps(zv, top, _CMP_GT_OQ)) != 0) break;
    // Minus the count of interior nodes below z: z above a node is the
    // node below z, and both are false when z is not a number.
    __m256i below = _mm256_setzero_si256();
    for (const float(*m)[8] = interior; m != end; m += 4) {
      const __m256 a = _mm256_cmp_ps(zv, _mm256_load_ps(m[0]), _CMP_GT_OQ);
      const __m256 b = _mm256_cmp_ps(zv, _mm256_load_ps(m[1]), _CMP_GT_OQ);
      const __m256 c = _mm256_cmp_ps(zv, _mm256_load_ps(m[2]), _CMP_GT_OQ);
      const __m256 d = _mm256_cmp_ps(zv, _mm256_load_ps(m[3]), _CMP_GT_OQ);
      below = _mm256_add_epi32(below, _mm256_add_epi32(_mm256_add_epi32(_mm256_castps_si256(a), _mm256_castps_si256(b)),
                                                       _mm256_add_epi32(_mm256_castps_si256(c), _mm256_castps_si256(d))));
    }
    const __m256i seg = _mm256_sub_epi32(_mm256_setzero_si256(), below);
    const __m256 hlo = lookup<ROWS>(s.kind[0], seg);
    const __m256 dh = lookup<ROWS>(s.kind[1], seg);
    const __m256 w = _mm256_div_ps(_mm256_sub_ps(zv, hlo), dh);
    const __m256 w1 = _mm256_sub_ps(one, w);
    const __m256 bed = _mm256_cmp_ps(zv, bottom, _CMP_LT_OQ);
    const __m256 u = _mm256_andnot_ps(bed, _mm256_add_ps(_mm256_mul_ps(w, lookup<ROWS>(s.kind[3], seg)),
                                                         _mm256_mul_ps(w1, lookup<ROWS>(s.kind[2], seg))));
    const __m256 v = _mm256_andnot_ps(bed, _mm256_add_ps(_mm256_mul_ps(w, lookup<ROWS>(s.kind[5], seg)),
                                                         _mm256_mul_ps(w1, lookup<ROWS>(s.kind[4], seg))));
    _mm256_storeu_ps(x + k, _mm256_add_ps(_mm256_loadu_ps(x + k), step(dtv, u)));
    _mm256_storeu_ps(y + k, _mm256_add_ps(_mm256_loadu_ps(y + k), step(dtv, v)));
  }
  return k;
}


// GCC 12's AVX-512 headers start some conversions from an "undefined"
// register, which -Wmaybe-uninitialized mistakes for a read of one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The value of one kind for segment numbers `seg` (0..31): a permutation
// of one register (16 segments) or two.
template <int ROWS>
__attribute__((target("avx512f"))) inline __m512 lookup16(const float* kind, __m512i seg) {
  if constexpr (ROWS == 1) return _mm512_permutexvar_ps(seg, _mm512_load_ps(kind));
  return _mm512_permutex2var_ps(_mm512_load_ps(kind), seg, _mm512_load_ps(kind + 16));
}

// dt u rounded to single precision, sixteen lanes.
__attribute__((target("avx512f"))) inline __m512 step16(__m512d dtv, __m512 u) {
  const __m256 lo = _mm512_cvtpd_ps(_mm512_mul_pd(dtv, _mm512_cvtps_pd(_mm512_castps512_ps256(u))));
  const __m256 hi = _mm512_cvtpd_ps(_mm512_mul_pd(
      dtv, _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(u), 1)))));
  return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_castps_pd(lo)),
                                             _mm256_castps_pd(hi), 1));
}

// Sixteen packets with AVX-512: the interior nodes below z counted in
// mask registers, the segment's values looked up in registers.
template <int ROWS>
__attribute__((target("avx512f"))) std::int32_t moveSixteen(const NodeSegments& s, float* x, float* y,
                                                            const float* z, double dt,
                                                            std::int32_t first, std::int32_t last) {
  const __m512 bottom = _mm512_set1_ps(s.bottom);
  const __m512 top = _mm512_set1_ps(s.top);
  const __m512 one = _mm512_set1_ps(1.0f);
  const __m512d dtv = _mm512_set1_pd(dt);
  const __m512i unit = _mm512_set1_epi32(1);
  const int ninterior = s.nnv - 2;
  std::int32_t k = first;
  for (; k + 16 <= last; k += 16) {
    const __m512 zv = _mm512_loadu_ps(z + k);
    if (_mm512_cmp_ps_mask(zv, top, _CMP_GT_OQ) != 0) break;
    // The count of interior nodes below z: z above a node is the node
    // below z, and both are false when z is not a number.
    __m512i seg = _mm512_setzero_si512();
    for (int m = 0; m < ninterior; ++m) {
      seg = _mm512_mask_add_epi32(seg, _mm512_cmp_ps_mask(zv, _mm512_set1_ps(s.interior[m][0]), _CMP_GT_OQ),
                                  seg, unit);
    }
    const __m512 w = _mm512_div_ps(_mm512_sub_ps(zv, lookup16<ROWS>(s.kind[0], seg)),
                                   lookup16<ROWS>(s.kind[1], seg));
    const __m512 w1 = _mm512_sub_ps(one, w);
    const __mmask16 water = _mm512_cmp_ps_mask(zv, bottom, _CMP_NLT_UQ);
    const __m512 u = _mm512_maskz_mov_ps(water, _mm512_add_ps(_mm512_mul_ps(w, lookup16<ROWS>(s.kind[3], seg)),
                                                              _mm512_mul_ps(w1, lookup16<ROWS>(s.kind[2], seg))));
    const __m512 v = _mm512_maskz_mov_ps(water, _mm512_add_ps(_mm512_mul_ps(w, lookup16<ROWS>(s.kind[5], seg)),
                                                              _mm512_mul_ps(w1, lookup16<ROWS>(s.kind[4], seg))));
    _mm512_storeu_ps(x + k, _mm512_add_ps(_mm512_loadu_ps(x + k), step16(dtv, u)));
    _mm512_storeu_ps(y + k, _mm512_add_ps(_mm512_loadu_ps(y + k), step16(dtv, v)));
  }
  return k;
}
#pragma GCC diagnostic pop

#endif

}  // namespace

std::int32_t moveBlocks(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                        std::int32_t first, std::int32_t last) {
#if defined(__x86_64__)
  const int segments = s.nnv - 1;
  if (kernelPath() == KernelPath::avx512) {
    if (segments <= 16) return moveSixteen<1>(s, x, y, z, dt, first, last);
    return moveSixteen<2>(s, x, y, z, dt, first, last);
  }
  if (wideKernels()) {
    if (segments <= 8) return moveEight<1>(s, x, y, z, dt, first, last);
    if (segments <= 16) return moveEight<2>(s, x, y, z, dt, first, last);
    return moveEight<3>(s, x, y, z, dt, first, last);
  }
  return moveFour(s, x, y, z, dt, first, last);
#else
  (void)s;
  (void)x;
  (void)y;
  (void)z;
  (void)dt;
  (void)last;
  return first;
#endif
}

void moveOneByOne(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                  std::int32_t first, std::int32_t last) {
  movePlain(x, y, z, dt, first, last, s.nnv, s.heightnodes, s.uu, s.vv);
}

std::int32_t moveShare(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                       std::int32_t first, std::int32_t last) {
  const std::int32_t k = moveBlocks(s, x, y, z, dt, first, last);
  for (std::int32_t i = k; i < last; ++i) {
    if (z[i] > s.top) return k;
  }
  moveOneByOne(s, x, y, z, dt, k, last);
  return last;
}
