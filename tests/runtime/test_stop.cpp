#include <gtest/gtest.h>

#include "runtime/stop.hpp"

TEST(Stop, StopAndIoFailureUnwindToTheCaller) {
  EXPECT_THROW(stopRun(), StopRun);
  try {
    ioFailure("read error on unit 2");
    FAIL();
  } catch (const IoFailure& e) {
    EXPECT_EQ(e.message, "read error on unit 2");
  }
}
