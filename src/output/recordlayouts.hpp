#pragma once
// The layouts of the output records, in one place for the writers and for
// the tools that read the files back (the NetCDF converter).
#include <string_view>

// Sediment parameters: time (days), ustar, ustarc, zw, four Rouse numbers,
// ktotal, kbreak, wstar.
inline constexpr std::string_view kSedimentLayout =
    "(1X,E12.5),3(1X,E9.4),4(1X,E8.3),2(1X,I7),(1X,E7.2)";
// One node of a velocity profile: time (days), height, u, v.
inline constexpr std::string_view kVelocityProfileLayout = "1X,E12.5,1X,F8.3,2(1X,E10.4)";
// One packet: x, y, z.
inline constexpr std::string_view kPacketLayout = "2(1X,F15.6),1X,F10.6";
// Statistics: time (days) and eight values.
inline constexpr std::string_view kStatisticsLayout = "1X,E14.8,9(1X,E10.4)";
// Concentrations at points: time (days) and one value per point.
inline constexpr std::string_view kConcentrationLayout = "1X,E14.6,99E12.4";
// Biology at one point: number, x, y, mid-height, exposure (%), exposure (days).
inline constexpr std::string_view kBiologyLayout = "I10,2(F12.1),F10.3,2(F10.3)";
// One row of the biology map, 100 cells a line.
inline constexpr std::string_view kBiologyMapLayout = "100(F10.3)";
