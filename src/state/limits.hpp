#pragma once
// Fixed sizes of the model's storage.

constexpr int KMAX = 1001000;     // largest number of packets
constexpr int MAXNODES = 120;     // largest number of vertical nodes (a run uses at most 119)
constexpr int MAXVELFILES = 85;   // largest number of velocity series files
constexpr int NFRICMAX = 3;       // largest number of friction parameters
constexpr int NPDF = 50;          // levels per vertical profile table
constexpr int CMAX = 50;          // largest number of concentration points
constexpr int MAPMAX = 301;       // largest number of map grid points per axis
constexpr int MAXUNITNUMBER = 99; // largest unit number
