// The global attributes: conventions, provenance and the run's parameters
// as the program read them.
#include <string>

#include "state/bblran.hpp"
#include "state/friction.hpp"
#include "state/heights.hpp"
#include "state/packets.hpp"
#include "state/release.hpp"
#include "state/settling.hpp"
#include "state/shuffling.hpp"
#include "state/timing.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

#ifndef VORN_VERSION
#define VORN_VERSION "7.0"
#endif

namespace vorn2nc {
namespace {

const char* frictionModel(std::int32_t nfricp) {
  switch (nfricp) {
    case 1:
    case 2:
    case 3:
      return "drag law u*^2 = c1 + c2 U + c3 U^2 at the lowest current meter";
    case 0:
      return "bottom stress file, one layer with u*cw";
    case -1:
      return "bottom stress file, one layer with u*c";
    case -2:
      return "bottom stress file, two layers: u*cw below zw, u*c above";
    default:
      return "bottom stress file, no profile model";
  }
}

}  // namespace

void writeRunAttributes(int ncid, const Run& run, const std::string& history) {
  const int g = NC_GLOBAL;
  nc::text(ncid, g, "Conventions", "CF-1.8");
  nc::text(ncid, g, "title", "vornv7 run: packets of suspended sediment in the bottom boundary layer");
  nc::text(ncid, g, "source",
           "vornv7 " VORN_VERSION " (text outputs converted by vorn2nc " VORN_VERSION ")");
  nc::text(ncid, g, "history", history);
  nc::text(ncid, g, "comment",
           "One group per output file of the run. Values are those of the text files, at the "
           "precision the files write them; a field that did not fit its text field (written "
           "as asterisks) is the variable's _FillValue. time is exact, from the output "
           "schedule of the parameter file; time_in_file holds the file's own value. Day d of "
           "the files is d * 86400 s after the time origin: day 1.0 is 1 January 00:00 of the "
           "year in the velocity series' header.");
  nc::text(ncid, g, "parameter_file", run.parfile);
  nc::text(ncid, g, "log_file", run.logfile);

  const std::int32_t seeds[2] = {BBLRAN.seed1, BBLRAN.seed2};
  nc::numbers(ncid, g, "random_seeds", seeds, 2);
  const TiminginRecord& t = TIMINGIN;
  nc::number(ncid, g, "run_length_s", t.ttotal);
  nc::number(ncid, g, "start_day", t.time0 / 86400.0);
  nc::number(ncid, g, "velocity_update_interval_s", t.dtvu);
  nc::number(ncid, g, "velocity_updates", run.nvu);
  nc::number(ncid, g, "advection_step_asked_s", t.dta);
  nc::number(ncid, g, "advection_step_s", TIMINGMID.dtact);
  nc::number(ncid, g, "advection_steps_per_update", TIMINGMID.nadv);
  nc::number(ncid, g, "mixing_time_scale_s", SHUFFLINGIN.dtms);
  nc::number(ncid, g, "vertical_shuffling_method", SHUFFLINGIN.vmethod);

  const FrictioninRecord& f = FRICTIONIN;
  nc::number(ncid, g, "friction_model", f.nfricp);
  nc::text(ncid, g, "friction_model_description", frictionModel(f.nfricp));
  if (f.nfricp > 0) {
    nc::numbers(ncid, g, "friction_coefficients", f.fricp, static_cast<std::size_t>(f.nfricp));
  } else {
    nc::text(ncid, g, "bottom_stress_file", f.fricfile.trimmed());
  }
  nc::number(ncid, g, "von_karman_constant", f.kappa);
  nc::number(ncid, g, "reference_height_m", HEIGTHS.href);
  nc::number(ncid, g, "profile_top_m", HEIGTHS.hmax);

  const SettlinginRecord& s = SETTLINGIN;
  nc::number(ncid, g, "settling_velocity_initial_m_s", s.iniwstar);
  nc::number(ncid, g, "settling_velocity_large_flocs_m_s", s.bigwstar);
  nc::number(ncid, g, "settling_velocity_small_flocs_m_s", s.litwstar);
  nc::number(ncid, g, "floc_breakup_friction_velocity_m_s", s.breakupus);

  const ReleaseinRecord& r = RELEASEIN;
  if (r.btype != 0) {
    nc::text(ncid, g, "release", "steady");
    nc::number(ncid, g, "release_mass_g", r.relmass);
    nc::number(ncid, g, "release_packets", r.npack);
    nc::number(ncid, g, "release_interval_s", r.addint);
    nc::number(ncid, g, "release_duration_s", r.reldur);
  } else {
    nc::text(ncid, g, "release", "discharge series");
    nc::text(ncid, g, "discharge_file", r.pckfile.trimmed());
  }
  nc::number(ncid, g, "packet_mass_g", PACKETS.pmass);
}

}  // namespace vorn2nc
