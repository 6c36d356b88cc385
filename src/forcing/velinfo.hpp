#pragma once
#include <cstdint>

// Velocity series: flag 0 opens every file and moves time0 onto the
// records; flag i reads the record of velocity update i. uu, vv receive the
// node velocities (the log layer derived below the lowest current meter).
void VELINFO(float* uu, float* vv, std::int32_t flag, std::int32_t& errorcode);

// Stops the run, with the messages of the velocity reader, when a series
// has fewer than the three columns time, u, v. Called by VELINFO and by the
// parameter checker.
void checkVelocityColumns(std::int32_t ncol);

// Reads one row of a velocity series: the time (days, returned in seconds)
// and u, v (m/s); further columns are skipped. Called by VELINFO and by the
// parameter checker.
void readVelocityRow(std::int32_t unit, double& t, float& u, float& v);
