"""One exact clock for every meter: the records of each current meter
placed on the times t0 + k dtvu, by linear interpolation in time between
the two records around each clock time (an instrument clock that jitters
moves no value off its time), short gaps bridged the same way with a
warning, long ones refused unless asked to fill them.
"""
import collections
import datetime
import statistics

from vornimport.reading import ImportError_

Meter = collections.namedtuple("Meter", "height records")


def meters_of(records, path):
    """The records grouped by meter (its height to the centimetre), each in
    time order; times that go back or repeat are errors at their row."""
    groups = collections.OrderedDict()
    for r in records:
        groups.setdefault(round(r.height, 2), []).append(r)
    out = []
    for h in sorted(groups):
        rs = groups[h]
        for a, b in zip(rs, rs[1:]):
            if b.time == a.time:
                raise ImportError_("%s:%d" % (path, b.line), "the meter at %g m has the time %s twice "
                                   "(also row %d)" % (h, b.time.isoformat(), a.line))
            if b.time < a.time:
                raise ImportError_("%s:%d" % (path, b.line), "the time goes back at the meter at %g m: "
                                   "%s after %s (row %d)" % (h, b.time.isoformat(),
                                                             a.time.isoformat(), a.line))
        out.append(Meter(sum(r.height for r in rs) / len(rs), rs))
    if not out:
        raise ImportError_(path, "no current-meter record")
    return out


def spacing_of(meters, path):
    """The records' interval (s): the median spacing, to the whole minute
    when it lies within 5 % of one (instrument clocks keep whole minutes,
    and jitter about them), else to the whole second."""
    gaps = [(b.time - a.time).total_seconds() for m in meters
            for a, b in zip(m.records, m.records[1:])]
    if not gaps:
        raise ImportError_(path, "each meter needs two records at least")
    median = statistics.median(gaps)
    minutes = 60.0 * round(median / 60.0)
    if minutes > 0 and abs(median - minutes) <= 0.05 * minutes:
        return minutes
    return float(round(median))


class Clock:
    """The run's clock: `n` times t0 + k dtvu (dtvu in whole seconds)."""

    def __init__(self, t0, dtvu, n):
        self.t0, self.dtvu, self.n = t0, dtvu, n

    def time(self, k):
        return self.t0 + datetime.timedelta(seconds=k * self.dtvu)


def make_clock(meters, dtvu, start=None):
    """From the first time every meter has a record (or `start`) to the
    last: the first time put on the whole minute nearest to it when that
    lies within a quarter of an interval (a jittering clock's nominal
    start), else on the next whole second."""
    first = max(m.records[0].time for m in meters)
    last = min(m.records[-1].time for m in meters)
    t0 = start
    if t0 is None:
        minute = (first + datetime.timedelta(seconds=30)).replace(second=0, microsecond=0)
        if abs((minute - first).total_seconds()) <= 0.25 * dtvu:
            t0 = minute
        else:
            t0 = first.replace(microsecond=0)
            if t0 < first:
                t0 += datetime.timedelta(seconds=1)
    n = int((last - t0).total_seconds() // dtvu) + 1
    if n < 2:
        raise ImportError_("", "the records of every meter overlap for less than one interval")
    return Clock(t0, dtvu, n)


def place(meter, clock, max_gap, fill_gaps, path):
    """The meter's east, north (and u*) at every clock time; returns them
    with the largest shift (s) between a record and its nearest clock time
    and the gaps bridged [(start, end, seconds, first row, last row)]."""
    rs = meter.records
    east, north, ustar = [], [], []
    gaps = []
    shift = 0.0
    for r in rs:
        off = (r.time - clock.t0).total_seconds() / clock.dtvu
        if -0.5 <= off <= clock.n - 0.5:
            shift = max(shift, abs(off - round(off)) * clock.dtvu)
    j = 0
    for k in range(clock.n):
        t = clock.time(k)
        while j + 1 < len(rs) and rs[j + 1].time <= t:
            j += 1
        a = rs[j]
        if a.time == t or j + 1 >= len(rs):
            b = a
        else:
            b = rs[j + 1]
        span = (b.time - a.time).total_seconds()
        if span > 1.5 * clock.dtvu:
            if not gaps or gaps[-1][0] != a.time:
                if span > max_gap and not fill_gaps:
                    raise ImportError_("%s:%d" % (path, a.line),
                                       "the meter at %.2f m has no record for %.2f h after %s (rows "
                                       "%d to %d): longer than the %.2f h bridged (max_gap); give "
                                       "fill_gaps = true to interpolate across it"
                                       % (meter.height, span / 3600.0, a.time.isoformat(), a.line,
                                          b.line, max_gap / 3600.0))
                gaps.append((a.time, b.time, span, a.line, b.line))
        f = 0.0 if span == 0 else (t - a.time).total_seconds() / span
        east.append(a.east + f * (b.east - a.east))
        north.append(a.north + f * (b.north - a.north))
        if a.ustar is not None and b.ustar is not None:
            ustar.append(a.ustar + f * (b.ustar - a.ustar))
    return east, north, (ustar if len(ustar) == clock.n else None), shift, gaps
