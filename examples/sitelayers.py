"""The made-up coasts and habitats of the bundled examples, as GeoJSON.

Shapes are drawn in the run's own kilometres around the release point and
written in longitude and latitude (WGS 84), the shapes' own coordinates:
they are made up, so a local scale of degrees per kilometre is all they
need (the run's frame itself is PROJ's, from each example's site.toml).
Used by the examples' make_forcing.py; the standard library only.
"""
import json
import math
import os


def ellipse_km(cx, cy, rx, ry, tilt_deg=0.0, n=48):
    """An ellipse in km with a little wobble, so that it looks drawn by hand."""
    t = math.radians(tilt_deg)
    out = []
    for k in range(n):
        a = 2 * math.pi * k / n
        w = 1.0 + 0.08 * math.sin(3 * a) + 0.05 * math.cos(5 * a)
        x, y = rx * w * math.cos(a), ry * w * math.sin(a)
        out.append((cx + x * math.cos(t) - y * math.sin(t), cy + x * math.sin(t) + y * math.cos(t)))
    return out


class Layers:
    """Writes polygon layers of shapes given in km from the release point
    at (lon0, lat0) into the folder `here`."""

    def __init__(self, here, lon0, lat0):
        self.here, self.lon0, self.lat0 = here, lon0, lat0

    def lonlat(self, x_km, y_km):
        lat = self.lat0 + y_km / 111.2
        lon = self.lon0 + x_km / (111.2 * math.cos(math.radians(self.lat0)))
        return [round(lon, 6), round(lat, 6)]

    def write(self, name, features):
        """features: (properties, [(x_km, y_km), ...]) of each polygon."""
        def ring(points):
            r = [self.lonlat(x, y) for x, y in points]
            return r + [r[0]]
        collection = {"type": "FeatureCollection", "name": os.path.splitext(name)[0],
                      "features": [{"type": "Feature", "properties": props,
                                    "geometry": {"type": "Polygon", "coordinates": [ring(pts)]}}
                                   for props, pts in features]}
        with open(os.path.join(self.here, name), "w", newline="\n") as f:
            json.dump(collection, f, indent=1)
            f.write("\n")
