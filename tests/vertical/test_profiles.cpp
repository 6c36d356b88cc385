// The sediment functions and the cumulative profile tables.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "state/heights.hpp"
#include "state/pdfvi.hpp"
#include "state/reset.hpp"
#include "vertical/pdfcompute.hpp"
#include "vertical/sedfcns.hpp"

namespace {

class Profile : public ::testing::Test {
 protected:
  void SetUp() override {
    resetAllState();
    HEIGTHS.href = 0.1f;
    HEIGTHS.hmax = 10.0f;
  }
  void TearDown() override { resetAllState(); }
  PdfTable t;
};

// The normalised integral of a concentration c over href..z, by Simpson's
// rule on a log grid: an evaluation independent of the closed forms.
double integralFraction(const std::function<double(double)>& c, double href, double z, double hmax) {
  auto integral = [&](double a, double b) {
    const int n = 4000;  // even
    const double la = std::log(a), h = (std::log(b) - la) / n;
    double s = 0;
    for (int k = 0; k <= n; ++k) {
      const double x = std::exp(la + k * h);
      const double w = (k == 0 || k == n) ? 1 : (k % 2 ? 4 : 2);
      s += w * c(x) * x;  // dz = z dln z
    }
    return s * h / 3;
  };
  return integral(href, z) / integral(href, hmax);
}

}  // namespace

TEST(SedimentFunctions, RouseNumberAndSuspension) {
  EXPECT_FLOAT_EQ(ROUSENUM(0.001f, 0.4f, 0.01f, 1.0f), 0.25f);
  EXPECT_FLOAT_EQ(ROUSENUM(0.001f, 0.4f, 0.01f, 0.74f), 0.185f);
  // No friction: the floor keeps the number finite (and very large).
  const float still = ROUSENUM(0.001f, 0.4f, 0.0f, 1.0f);
  EXPECT_TRUE(std::isfinite(still));
  EXPECT_FLOAT_EQ(still, 0.001f / (1.0E-10f * 0.4f));
  EXPECT_EQ(ROUSENUM(0.001f, 0.4f, -0.5f, 1.0f), still);

  EXPECT_EQ(THRESHOLD(), 0.0f);
  EXPECT_EQ(SUSPENDEDFRACTION(0.0f, 0.0f), 0.0f);
  EXPECT_EQ(SUSPENDEDFRACTION(1.0E-7f, 0.0f), 1.0f);
  EXPECT_EQ(SUSPENDEDFRACTION(0.02f, 0.02f), 0.0f);
}

TEST_F(Profile, TheWorkedTable) {
  PDFCOMPUTE(t, 1.0f, 0.5f);
  EXPECT_EQ(t.zlev[0], 0.1f);
  EXPECT_NEAR(t.zlev[1], 0.109854, 5e-7);
  EXPECT_NEAR(t.zlev[24], 0.954095, 5e-7);
  EXPECT_EQ(t.zlev[49], 10.0f);
  EXPECT_EQ(t.cum[0], 0.0f);
  EXPECT_NEAR(t.cum[1], 0.0053459, 5e-8);
  EXPECT_NEAR(t.cum[24], 0.232094, 5e-7);
  EXPECT_EQ(t.cum[49], 1.0f);
  for (int i = 1; i < NPDF; ++i) {
    EXPECT_LT(t.zlev[i - 1], t.zlev[i]);
    EXPECT_LT(t.cum[i - 1], t.cum[i]);
    // Equal steps in ln z.
    EXPECT_NEAR(std::log(t.zlev[i] / t.zlev[i - 1]), std::log(100.0) / 49, 1e-6);
  }
}

TEST_F(Profile, NothingSuspendedAndAUniformColumn) {
  PDFCOMPUTE(t, 0.0f, 0.5f);
  for (float c : t.cum) EXPECT_EQ(c, 1.0f);
  // Rouse number 0: the concentration is the same at every height.
  PDFCOMPUTE(t, 1.0f, 0.0f);
  for (int i = 0; i < NPDF; ++i) {
    const double z = t.zlev[i];
    EXPECT_NEAR(t.cum[i], (z - 0.1) / 9.9, 2e-7) << i;
  }
}

// At exactly 1 the logarithmic form: with levels equally spaced in ln z
// the table rises by 1/49 per level. Just above 1 the power form, which
// differs by about e ln(hmax/href) u (1 - u) / 2, e = 1 - p, at u = (i-1)/49:
// 2e-7, a few steps of a float there.
TEST_F(Profile, RouseNumberOneAgainstJustAboveOne) {
  PDFCOMPUTE(t, 1.0f, 1.0f);
  for (int i = 0; i < NPDF; ++i) EXPECT_NEAR(t.cum[i], i / 49.0, 1.2e-7) << i;

  const float p = 1.0000005f;
  PDFCOMPUTE(t, 1.0f, p);
  const double e = 1.0 - static_cast<double>(p);
  for (int i : {12, 24, 36}) {
    const double u = i / 49.0;
    const double shift = -e * std::log(100.0) * u * (1 - u) / 2;
    EXPECT_NEAR(t.cum[i] - u, shift, 0.3 * shift) << i;
  }
  // HH switches within 1e-6 of 1: 1.0000005 is the logarithm itself.
  EXPECT_EQ(HH(p, 37.5), std::log(37.5));
  EXPECT_EQ(HH(1.0, 37.5), std::log(37.5));
  EXPECT_NE(HH(1.000002, 37.5), std::log(37.5));
  EXPECT_NEAR(HH(1.000002, 37.5), std::log(37.5), 2e-5);
  EXPECT_DOUBLE_EQ(HH(0.5, 4.0), 2.0);
  EXPECT_DOUBLE_EQ(HH(3.0, 2.0), 0.375);
  EXPECT_EQ(HH(0.3, 1.0), 0.0);
}

// The two-layer table is the normalised integral of a concentration
// (z/href)^-r1 below the layer height, continuing continuously as
// c(zw) (z/zw)^-r2 above it.
TEST_F(Profile, TwoLayersFollowTheirConcentration) {
  const float r1 = 0.3f, r2 = 1.2f, zw = 0.5f, s = 1.0f;
  PDFCOMPUTE2(t, s, r1, r2, zw);
  auto c = [&](double z) {
    return z <= zw ? std::pow(z / 0.1, -double(r1)) : std::pow(zw / 0.1, -double(r1)) * std::pow(z / zw, -double(r2));
  };
  for (int i = 0; i < NPDF; ++i)
    EXPECT_NEAR(t.cum[i], integralFraction(c, 0.1, t.zlev[i], 10.0), 2e-6) << i;
  EXPECT_EQ(t.cum[49], 1.0f);

  // Half the sediment unsuspended: lumped at the first level.
  PdfTable half;
  PDFCOMPUTE2(half, 0.5f, r1, r2, zw);
  EXPECT_EQ(half.cum[0], 0.5f);
  for (int i = 0; i < NPDF; ++i) EXPECT_NEAR(half.cum[i], 0.5 + 0.5 * t.cum[i], 1e-7);
}

TEST_F(Profile, ALayerHeightOutsideTheColumnLeavesOneLayer) {
  PdfTable single;
  // Below href: the whole column has the upper Rouse number.
  PDFCOMPUTE(single, 1.0f, 0.8f);
  PDFCOMPUTE2(t, 1.0f, 2.5f, 0.8f, 0.05f);
  for (int i = 0; i < NPDF; ++i) {
    EXPECT_EQ(t.zlev[i], single.zlev[i]);
    EXPECT_NEAR(t.cum[i], single.cum[i], 1.2e-7) << i;
  }
  // At or above hmax: held at hmax, the lower Rouse number everywhere, and
  // the table still reaches 1 (unclamped it would end near 0.6 here).
  PDFCOMPUTE(single, 1.0f, 0.4f);
  for (float zw : {10.0f, 20.0f}) {
    PDFCOMPUTE2(t, 1.0f, 0.4f, 1.5f, zw);
    for (int i = 0; i < NPDF; ++i) EXPECT_NEAR(t.cum[i], single.cum[i], 1.2e-7) << zw << " " << i;
    EXPECT_EQ(t.cum[49], 1.0f);
  }
  // A lower Rouse number of exactly 1 in the two-layer form.
  PDFCOMPUTE(single, 1.0f, 1.0f);
  PDFCOMPUTE2(t, 1.0f, 1.0f, 1.0f, 1.0f);
  for (int i = 0; i < NPDF; ++i) EXPECT_NEAR(t.cum[i], single.cum[i], 1.2e-7) << i;
}

TEST_F(Profile, CumulativeFractionAtAHeight) {
  PDFCOMPUTE(t, 1.0f, 0.5f);
  EXPECT_EQ(PDFATZ(0.1f, t), t.cum[0]);
  EXPECT_EQ(PDFATZ(0.01f, t), t.cum[0]);
  for (int i = 1; i < NPDF; ++i) EXPECT_EQ(PDFATZ(t.zlev[i], t), t.cum[i]) << i;
  const float mid = 0.5f * (t.zlev[10] + t.zlev[11]);
  EXPECT_NEAR(PDFATZ(mid, t), 0.5f * (t.cum[10] + t.cum[11]), 1e-7);
  // Above the top the last segment goes on.
  const float slope = (t.cum[49] - t.cum[48]) / (t.zlev[49] - t.zlev[48]);
  EXPECT_NEAR(PDFATZ(11.0f, t), 1.0f + slope * 1.0f, 1e-6);
  EXPECT_GT(PDFATZ(11.0f, t), 1.0f);
}
