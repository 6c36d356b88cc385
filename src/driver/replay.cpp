// The run's steps and release without the model.
#include "driver/replay.hpp"

#include "driver/startup.hpp"
#include "state/timing.hpp"

void REPLAYSTEPS(std::int32_t nvu, const std::function<bool()>& step) {
  const TiminginRecord& in = TIMINGIN;
  TimingmidRecord& t = TIMINGMID;
  for (std::int32_t i = 1; i <= nvu; ++i) {
    t.tvu = (i - 1) * in.dtvu + in.time0;
    for (std::int32_t j = 1; j <= t.nadv; ++j) {
      t.tlocal = (j - 0.5) * t.dtact;
      t.time = t.tvu + t.tlocal;
      t.timef = t.time + 0.5 * t.dtact;
      std::int32_t errorcode = 0;
      releasePackets(t.time, 0, errorcode);
      if (!step()) return;
    }
  }
}
