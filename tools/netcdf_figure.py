#!/usr/bin/python3
"""The README's figure, made from the CF-NetCDF file of a run alone.

    /usr/bin/python3 tools/netcdf_figure.py RUN.nc OUT.png

The last concentration map frame (group map), the tracks of a few packets
(group packets, one selection each) and the sampling points (group
concentration). Needs python3-xarray, python3-netcdf4, python3-matplotlib.
"""
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import xarray as xr  # noqa: E402


def main(nc, out):
    m = xr.open_dataset(nc, group="map")
    p = xr.open_dataset(nc, group="packets")
    c = xr.open_dataset(nc, group="concentration")
    frame = m.layer_concentration.isel(time=-1)
    fig, ax = plt.subplots(figsize=(7.2, 4.6))
    im = ax.pcolormesh(m.x / 1000, m.y / 1000, frame, cmap="viridis", shading="nearest")
    fig.colorbar(im, ax=ax, label="layer concentration (g m$^{-3}$)")
    for k in (1, 30001, 60001, 100100):
        track = p.sel(trajectory=k)
        ax.plot(track.x / 1000, track.y / 1000, ".-", color="white", lw=0.8, ms=3)
    ax.plot(c.x / 1000, c.y / 1000, "r^", ms=6, label="sampling points")
    ax.set_xlabel("x from the release point (km)")
    ax.set_ylabel("y (km)")
    when = str(frame.time.values)[:16].replace("T", " ")
    ax.set_title("%s, layer %.2f-%.2f m above the bed; white: four packets' tracks"
                 % (when, *m.z_bounds.values), fontsize=10)
    ax.set_aspect("equal")
    ax.legend(loc="lower right", fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=80)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
