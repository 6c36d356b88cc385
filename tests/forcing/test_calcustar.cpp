// The friction velocity from the drag law, and the two ways it fails.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "forcing/calcustar.hpp"
#include "forcing/forcingtest.hpp"

namespace {

class CalcUstar : public forcingtest::Fixture {
 protected:
  float ustar(float u, float v, std::vector<float> p) {
    std::int32_t code = 77;
    const float r = CALCUSTAR(u, v, p.data(), static_cast<std::int32_t>(p.size()), code);
    errorcode = code;
    return r;
  }
  std::int32_t errorcode = 0;
};

}  // namespace

TEST_F(CalcUstar, ThePolynomialLawAtTheCurrentSpeed) {
  EXPECT_NEAR(ustar(0.3f, 0.4f, {0, 0, 0.0025f}), 0.025f, 1e-8);  // U = 0.5
  EXPECT_EQ(errorcode, 0);
  EXPECT_FLOAT_EQ(ustar(0.3f, -0.4f, {0.0001f}), 0.01f);
  EXPECT_FLOAT_EQ(ustar(0.0f, 2.0f, {0.0001f}), 0.01f);  // whatever the velocity
  EXPECT_NEAR(ustar(0.5f, 0.0f, {0.0001f, 0.001f}), std::sqrt(0.0006), 1e-8);
  EXPECT_NEAR(ustar(0.5f, 0.0f, {0.0001f, 0.001f}), 0.0245f, 1e-4);
  EXPECT_EQ(ustar(0.0f, 0.0f, {0, 0.001f, 0.0025f}), 0.0f);
  EXPECT_EQ(errorcode, 0);
}

// The speed is formed in double and rounded to single precision once; the
// polynomial in double and rounded once. A float evaluation of the speed
// is a float step off here.
TEST_F(CalcUstar, TheSpeedIsRoundedOnce) {
  EXPECT_EQ(ustar(-0x1.7a0f9p-4f, 0x1.f212d8p-10f, {0, 0, 0.0025f}), 0.00461597741f);
  std::mt19937 gen(13);
  std::uniform_real_distribution<float> vel(-2.0f, 2.0f), coef(0.0f, 0.004f);
  for (int n = 0; n < 20000; ++n) {
    const float u = vel(gen), v = vel(gen);
    const std::vector<float> p = {coef(gen) * 0.01f, coef(gen) * 0.1f, coef(gen)};
    const double ud = u, vd = v;
    const float speed = static_cast<float>(std::sqrt(ud * ud + vd * vd));
    const double poly = (static_cast<double>(p[2]) * speed + p[1]) * speed + p[0];
    ASSERT_EQ(ustar(u, v, p), std::sqrt(static_cast<float>(poly))) << u << " " << v;
  }
}

TEST_F(CalcUstar, NoCoefficientsAreAnError) {
  open();
  std::int32_t code = 0;
  const float p[3] = {0.0001f, 0, 0};
  float r = -1;
  EXPECT_FALSE(stops([&] { r = CALCUSTAR(0.3f, 0.4f, p, 0, code); }));
  EXPECT_EQ(r, 0.0f);
  EXPECT_EQ(code, CALCUSTAR_NO_COEFFICIENTS);
  EXPECT_EQ(console, (std::vector<std::string>{
                         " Error: CalcUstar:",
                         " Not enought friction parameters, nfricp =           0"}));
}

// A law whose u*^2 falls below zero has no friction velocity: an error
// the driver reports and ends the run with, not a NaN carried into the
// sediment profile.
TEST_F(CalcUstar, ANegativeFrictionVelocitySquaredIsAnError) {
  open();
  std::int32_t code = 0;
  const float p[3] = {0.0001f, -0.001f, 0};  // negative above U = 0.1
  float r = -1;
  EXPECT_FALSE(stops([&] { r = CALCUSTAR(0.5f, 0.0f, p, 2, code); }));
  EXPECT_EQ(r, 0.0f);
  EXPECT_EQ(code, CALCUSTAR_NEGATIVE);
  const std::vector<std::string> lines = {
      " Error: CalcUstar:",
      " The friction law gives u*^2 < 0. U, u*^2 =  0.5000000     -4.0000002E-04"};
  EXPECT_EQ(console, lines);
  EXPECT_EQ(log, lines);
  EXPECT_NEAR(CALCUSTAR(0.05f, 0.0f, p, 2, code), std::sqrt(0.00005), 1e-7);  // below U = 0.1
  EXPECT_EQ(code, 0);
}
