// The vertical scheme as a whole: under a steady friction velocity the
// packet heights follow the Rouse profile, and shuffling mixes packets
// over the column without changing that profile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "random/ranf1.hpp"
#include "state/heights.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/shuffling.hpp"
#include "vertical/abrvertpos.hpp"
#include "vertical/pdfcompute.hpp"
#include "vertical/sedfcns.hpp"
#include "vertical/vertshuffl.hpp"

namespace {

constexpr double kHref = 0.1, kHmax = 10.0;

// Kolmogorov-Smirnov distance between a sample and a distribution function.
double ksDistance(std::vector<double> v, const std::function<double(double)>& cdf) {
  std::sort(v.begin(), v.end());
  const double n = static_cast<double>(v.size());
  double d = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double f = cdf(v[i]);
    d = std::max({d, (i + 1) / n - f, f - i / n});
  }
  return d;
}

// The 1 % critical value of the distance for n values.
double ksCritical(std::size_t n) { return 1.628 / std::sqrt(static_cast<double>(n)); }

class VerticalScheme : public forcingtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    resetRandomPackage();
    SETALL(20240611, 97531);
    open();
    HEIGTHS.href = static_cast<float>(kHref);
    HEIGTHS.hmax = static_cast<float>(kHmax);
  }
  void TearDown() override {
    Fixture::TearDown();
    resetRandomPackage();
  }
  std::vector<double> heights(std::int32_t first, std::int32_t last) const {
    return {POSITIONS.z + first - 1, POSITIONS.z + last};
  }
};

}  // namespace

TEST_F(VerticalScheme, HeightsFollowTheRouseProfileAndShufflingMixesThem) {
  const std::int32_t n = 20000;
  const float ustar = 0.02f, wstar = 0.002f, kappa = 0.4f;
  const float p = ROUSENUM(wstar, kappa, ustar, 1.0f);  // 0.25
  const float sfrac = SUSPENDEDFRACTION(ustar, THRESHOLD());
  ASSERT_EQ(sfrac, 1.0f);
  PDFCOMPUTE(PDFVI.table[0], sfrac, p);
  PDFCOMPUTE(PDFVI.table[1], sfrac, p);
  auto rouse = [&](double z) {
    const double e = 1.0 - p;
    return (std::pow(z / kHref, e) - 1.0) / (std::pow(kHmax / kHref, e) - 1.0);
  };

  for (std::int32_t vmethod : {2, 3}) {
    PACKETS.ktotal = n;
    PACKETS.kbreak = n / 2;
    for (std::int32_t k = 0; k < n; ++k) RANKS.ranks[k] = RANF();
    ABRVERTPOS2();
    const std::vector<double> z0 = heights(1, n);
    EXPECT_LT(ksDistance(z0, rouse), ksCritical(n)) << vmethod;
    for (double z : z0) {
      ASSERT_GE(z, kHref);
      ASSERT_LE(z, kHmax);
    }

    // The tenth of the packets that start lowest.
    std::vector<std::int32_t> low;
    for (std::int32_t k = 1; k <= n; ++k)
      if (RANKS.ranks[k - 1] < 0.1f) low.push_back(k);
    ASSERT_GT(low.size(), 1800u);

    // Three mixing times at 1 % per step.
    SHUFFLINGIN.vmethod = vmethod;
    SHUFFLINGMID.fracmix = 0.01;
    std::int32_t code = 0;
    VERTSHUFFL(-1, code);
    for (int s = 0; s < 300; ++s) {
      VERTSHUFFL(0, code);
      ASSERT_EQ(code, 0);
    }
    ABRVERTPOS2();
    EXPECT_LT(ksDistance(heights(1, n), rouse), ksCritical(n)) << vmethod;

    std::vector<double> r, z;
    for (std::int32_t k : low) {
      r.push_back(RANKS.ranks[k - 1]);
      z.push_back(POSITIONS.z[k - 1]);
    }
    EXPECT_LT(ksDistance(r, [](double x) { return x; }), ksCritical(r.size())) << vmethod;
    EXPECT_LT(ksDistance(z, rouse), ksCritical(z.size())) << vmethod;
    EXPECT_GT(*std::max_element(z.begin(), z.end()), 0.9 * kHmax) << vmethod;
  }
}
