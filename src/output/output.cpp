#include "output/output.hpp"

#include <cmath>
#include <cstdint>

#include "output/contrmaout.hpp"
#include "output/controut.hpp"
#include "output/dobiology.hpp"
#include "output/modelrecords.hpp"
#include "output/outfileopen.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/outputs.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"

namespace {

bool on(double dtout) { return dtout > kOutputOff; }

// The due test of an output of interval s at elapsed time e (the end of
// the step, single precision): due when e lies less than one advection
// step past a whole number of intervals.
bool due(float e, double s) {
  if (!on(s)) return false;
  const double elapsed = e;
  const double k = std::trunc(elapsed / s);
  return elapsed - TIMINGMID.dtact < k * s;
}

// A biology interval must be a whole multiple of the interval of the
// concentrations it is made of; stops with the two messages otherwise.
void checkMultiple(double dtbio, double dtconc, const char* zeroA, const char* zeroB,
                   const char* multipleA, const char* multipleB, const char* record) {
  if (std::fabs(dtconc) <= kOutputOff) {
    const rio::Problem problem(rio::Severity::error, record);
    rio::listWrite(VORNIO.outunit, zeroA, zeroB);
    stopOnError();
  }
  const double r = dtbio / dtconc;
  if (!(r - std::trunc(r) < static_cast<double>(1e-6f))) {
    const rio::Problem problem(rio::Severity::error, record);
    rio::listWrite(VORNIO.outunit, multipleA, multipleB);
    stopOnError();
  }
}

// Concentration or map set-up: a negative interval evaluates without
// writing; `write` tells which.
void evaluationInterval(double& dtout, bool& write) {
  if (dtout < 0) {
    write = false;
    dtout = -dtout;
  } else {
    write = true;
  }
}

void setUp(std::int32_t iflag, std::int32_t& errorcode) {
  const bool first = true;
  const double time0 = TIMINGIN.time0;
  rio::listWrite(VORNIO.outunit, "Parameters for output");
  rio::listWrite(VORNIO.logunit, "Parameters for output");

  OUTFILEOPEN(SEDIN.unit, SEDIN.dtout, "sediment parameter output", errorcode, "sediment");
  if (SEDIN.dtout == 1.0) SEDIN.dtout = TIMINGMID.dtact;

  OUTFILEOPEN(VELIN.unit, VELIN.dtout, "velocity profiles", errorcode, "velocity");
  if (on(VELIN.dtout)) VELOUT(time0, first);

  StatsinRecord& st = STATSIN;
  OUTFILEOPEN(st.unit, st.dtout, "statistics output ", errorcode, "statistics");
  if (on(st.dtout)) {
    rio::listWrite(VORNIO.outunit, "For Conc. following center of mass");
    rio::listWrite(VORNIO.outunit, "Enter zlow,ztop,radius (metres)");
    rio::nameNextRead(VORNIO.inunit, "cylinder", "zlow ztop radius", 0, "statistics");
    rio::listRead(VORNIO.inunit, st.zlow, st.ztop, st.radius);
    rio::listWrite(VORNIO.logunit, "z1,z2,radius", st.zlow, st.ztop, st.radius);
    if (st.ztop == st.zlow) {
      // The layer concentration would divide by a zero thickness.
      const rio::Problem problem(rio::Severity::error, "statistics.cylinder");
      for (std::int32_t u : {VORNIO.outunit, VORNIO.logunit}) {
        rio::listWrite(u, "Statistics: the sampling layer has no thickness (zlow = ztop).");
      }
      stopOnError();
    }
  }

  OUTFILEOPEN(PACKIN.unit, PACKIN.dtout, "packet position ", errorcode, "packets");
  if (on(PACKIN.dtout)) PACKOUT(time0, first);

  OUTFILEOPEN(CONTRIN.unit, CONTRIN.dtout, "Concentration", errorcode, "concentration");
  if (std::fabs(CONTRIN.dtout) > kOutputOff) {
    evaluationInterval(CONTRIN.dtout, CONTRIN.writeconc);
    CONTROUT(time0, first);
  }

  OUTFILEOPEN(CONTRMAPIN.unit, CONTRMAPIN.dtout, "ConcentrationMap", errorcode, "map");
  if (std::fabs(CONTRMAPIN.dtout) > kOutputOff) {
    evaluationInterval(CONTRMAPIN.dtout, CONTRMAPIN.writemap);
    CONTRMAOUT(time0, first);
  }

  BiologyinRecord& bio = BIOLOGYIN;
  OUTFILEOPEN(bio.unit, bio.dtbio, "Biology at given locations", errorcode, "biology",
              "dtbio");
  if (on(bio.dtbio)) {
    if (!CONTRIN.writeconc) {
      CONTRIN.dtout = bio.dtbio;
    } else {
      checkMultiple(bio.dtbio, CONTRIN.dtout, "Concetration Time step must",
                    " be non-zero, Exiting!!!", "Biology Timestep Must Be Multiple",
                    " of Concentration, Exiting!!!", "biology.interval");
    }
    DOBIOLOGY(iflag);
  }

  OUTFILEOPEN(bio.mapunit, bio.dtbiomap, "Biology Map", errorcode, "biology_map", "dtbiomap");
  if (on(bio.dtbiomap)) {
    if (!CONTRMAPIN.writemap) {
      CONTRMAPIN.dtout = bio.dtbiomap;
    } else {
      checkMultiple(bio.dtbiomap, CONTRMAPIN.dtout, "Concetration Time step must",
                    " be non zero, Exiting!!!", "Biology Map Timestep Must Be Multiple",
                    " of Concentration Map, Exiting!!!", "biology_map.interval");
    }
    DOBIOLOGYMAP(iflag);
  }
}

// Writes the outputs that are due; then every unit goes out to its file,
// so that a run that is killed later keeps every record written so far.
void afterStep(std::int32_t iflag) {
  const bool first = false;
  const TimingmidRecord& t = TIMINGMID;
  const float e = static_cast<float>(t.timef - TIMINGIN.time0);
  if (due(e, SEDIN.dtout)) SEDOUT(t.time, first);
  if (due(e, VELIN.dtout)) VELOUT(t.time, first);
  if (due(e, STATSIN.dtout)) STATOUT(t.timef, first);
  if (due(e, PACKIN.dtout)) PACKOUT(t.timef, first);
  if (due(e, CONTRIN.dtout)) CONTROUT(t.timef, first);
  if (due(e, BIOLOGYIN.dtbio)) DOBIOLOGY(iflag);
  if (due(e, CONTRMAPIN.dtout)) CONTRMAOUT(t.timef, first);
  if (due(e, BIOLOGYIN.dtbiomap)) DOBIOLOGYMAP(iflag);
  rio::flushAllUnits();
}

void closeIfOpen(double dtout, std::int32_t unit) {
  if (on(dtout) && unit != 0 && rio::unitIsOpen(unit)) rio::closeUnit(unit);
}

void endOfRun(std::int32_t iflag) {
  closeIfOpen(STATSIN.dtout, STATSIN.unit);
  closeIfOpen(PACKIN.dtout, PACKIN.unit);
  closeIfOpen(VELIN.dtout, VELIN.unit);
  closeIfOpen(SEDIN.dtout, SEDIN.unit);
  closeIfOpen(CONTRIN.dtout, CONTRIN.unit);
  closeIfOpen(CONTRMAPIN.dtout, CONTRMAPIN.unit);
  if (on(BIOLOGYIN.dtbio)) DOBIOLOGY(iflag);
  if (on(BIOLOGYIN.dtbiomap)) DOBIOLOGYMAP(iflag);
}

}  // namespace

void OUTPUT(std::int32_t iflag, std::int32_t& errorcode) {
  errorcode = 0;
  if (iflag < 0) {
    setUp(iflag, errorcode);
  } else if (iflag == 0) {
    afterStep(iflag);
  } else {
    endOfRun(iflag);
  }
  errorcode = 0;
}

bool OUTPUTDUE(float elapsed, double interval) { return due(elapsed, interval); }
