"""S-N curves and damage-equivalent loads of the torvwy package, over the core's."""

import os

import numpy as np

from . import _torvwy

# The reliability factors d of the weld classes, as the life estimate dialog lists them.
RELIABILITIES = (0, 0.5, 1, 2, 3)


def _reliability(reliability):
    if isinstance(reliability, bool) or reliability not in RELIABILITIES:
        raise ValueError(f"reliability {reliability} is not one of 0 0.5 1 2 3")
    return float(reliability)


def _optional(value):
    return None if value is None else float(value)


class SNCurve:
    """An S-N curve: the cycles to failure N of a stress range S.

    - SNCurve("bs7608:F2", reliability=2): a BS 7608 weld class, d standard deviations below
      the mean curve (0, 0.5, 1, 2 or 3); one slope, no knee.
    - SNCurve("en1993:71"): an EN 1993-1-9 detail category (36..160): slope 3 through the
      category at 2e6 cycles, the constant-amplitude limit at 5e6, slope 5 to the cut-off at
      1e8, no damage below it.
    - SNCurve.from_file(path), or SNCurve(path): a curve file ("[Curve]" with ReferenceRange,
      ReferenceCycles, Slope, and optionally KneeCycles, Slope2, CutoffCycles, Unit, Name).
    - SNCurve(reference_range=90, reference_cycles=2e6, slope=3, knee_cycles=1e7, slope2=5,
      cutoff_cycles=1e8, unit="MPa", name="butt weld"): the same pieces given here, checked as
      a curve file is. Without slope2 the curve ends at the knee: a range below it does no
      damage.

    Bad pieces (a slope or reference <= 0, a knee at or above the cut-off, a second slope
    without a knee, a number that is not finite) raise ValueError; an unreadable file raises
    TorvwyError."""

    def __init__(self, curve=None, reliability=None, *, reference_range=None,
                 reference_cycles=None, slope=None, knee_cycles=None, slope2=None,
                 cutoff_cycles=None, unit="", name=""):
        pieces = dict(reference_range=reference_range, reference_cycles=reference_cycles,
                      slope=slope, knee_cycles=knee_cycles, slope2=slope2,
                      cutoff_cycles=cutoff_cycles)
        if curve is not None:
            if any(v is not None for v in pieces.values()) or unit or name:
                raise ValueError("give a curve by its name or file, or by its pieces, not both")
            if not isinstance(curve, (str, os.PathLike)) or not isinstance(os.fspath(curve), str):
                raise ValueError(f"{curve!r} is neither a curve name nor a file path")
            text = os.fspath(curve)
            is_weld_class = text.lower().startswith("bs7608:")
            if reliability is not None and not is_weld_class:
                raise ValueError("reliability= is a weld class's (bs7608:CLASS), not of " + text)
            d = _reliability(2 if reliability is None else reliability)
            self._curve = _torvwy.sn_curve_choice(text, d)
            self._args = ((text,), {"reliability": reliability})
            return
        if reliability is not None:
            raise ValueError("reliability= is a weld class's (bs7608:CLASS)")
        missing = [k for k in ("reference_range", "reference_cycles", "slope") if pieces[k] is None]
        if missing:
            raise ValueError("a curve needs a name (\"bs7608:F2\", \"en1993:71\"), a file, or "
                             f"its pieces: {', '.join(missing)} missing")
        numbers = {k: _optional(v) for k, v in pieces.items()}
        self._curve = _torvwy.sn_curve_pieces(
            numbers["reference_range"], numbers["reference_cycles"], numbers["slope"],
            numbers["knee_cycles"], numbers["slope2"], numbers["cutoff_cycles"], str(unit),
            str(name))
        self._args = ((), dict(pieces, unit=unit, name=name))

    @classmethod
    def from_file(cls, path):
        """The curve of a curve file (INI, at most 64 KiB)."""
        curve = cls.__new__(cls)
        curve._curve = _torvwy.sn_curve_file(os.fspath(path))
        curve._args = ((os.fspath(path),), {})
        return curve

    @classmethod
    def _of(cls, core_curve, args):
        curve = cls.__new__(cls)
        curve._curve, curve._args = core_curve, args
        return curve

    def __reduce__(self):
        args, keywords = self._args
        return _rebuild, (args, keywords)

    @property
    def name(self):
        """"bs7608:F2", "en1993:71", or a file's Name (its file name when it has none)."""
        return self._curve.name

    @property
    def unit(self):
        """The stress unit: "N/mm^2" for the standards, a file's Unit or ""."""
        return self._curve.unit

    @property
    def kind(self):
        """"weld_class", "detail_category" or "file" (a file or pieces of the user's)."""
        return self._curve.kind

    @property
    def weld_class(self):
        """The BS 7608 class ("F2"), None for another kind."""
        return self._curve.weld_class

    @property
    def reliability(self):
        """A weld class's d, None for another kind."""
        return self._curve.reliability

    @property
    def category(self):
        """A detail category's reference range at 2e6 cycles (71), None for another kind."""
        return self._curve.category if self.kind == "detail_category" else None

    @property
    def slope(self):
        """m1, the inverse slope (above the knee)."""
        return self._curve.slope

    def _piece(self, value):
        return None if self.kind == "weld_class" or value == 0.0 else value

    @property
    def reference_range(self):
        """Sref; None for a weld class (its line is given by its table)."""
        return self._piece(self._curve.reference_range)

    @property
    def reference_cycles(self):
        """Nref; None for a weld class."""
        return self._piece(self._curve.reference_cycles)

    @property
    def knee_cycles(self):
        """N at the knee, None without one."""
        return self._piece(self._curve.knee_cycles)

    @property
    def knee_range(self):
        """S at the knee, None without one."""
        return self._piece(self._curve.knee_range)

    @property
    def slope2(self):
        """m2 below the knee, None without it (the curve ends at its knee)."""
        return self._piece(self._curve.slope2)

    @property
    def cutoff_cycles(self):
        """N at the cut-off, None without one."""
        return self._piece(self._curve.cutoff_cycles)

    @property
    def cutoff_range(self):
        """S at the cut-off (no damage below it), None without one."""
        return self._piece(self._curve.cutoff_range)

    def cycles_to_failure(self, stress_range):
        """N of a stress range, or of every value of an array (an array of its shape): inf where
        the curve does no damage (below the cut-off, or below a knee without a second slope),
        NaN for a range that is not a number > 0. A scalar gives a float."""
        lives = self._curve.cycles_to_failure(np.asarray(stress_range, dtype=float))
        return float(lives) if np.ndim(stress_range) == 0 else lives

    def __repr__(self):
        return f"SNCurve({self.name!r})"


def _rebuild(args, keywords):
    if args and not keywords:
        return SNCurve.from_file(args[0])
    return SNCurve(*args, **keywords)


def _weld_class_curve(class_index, reliability):
    """The SNCurve of the weld class of index `class_index` at reliability d."""
    core = _torvwy.weld_class_curve(class_index, _reliability(reliability))
    return SNCurve._of(core, ((core.name,), {"reliability": reliability}))


def damage_equivalent_load(cycles, m, n_eq):
    """The damage-equivalent load (sum of n_i S_i^m / n_eq)^(1/m): the range that, repeated
    n_eq times, does the damage of every cycle (its exact range S_i and count n_i) on a
    one-slope S-N curve of inverse slope m.

    cycles: what rainflow_cycles gives, or anything with "range" and "count" fields of one
    length (a dict of arrays, a DataFrame). m: a Woehler exponent (a float comes back) or a
    sequence of them (a numpy array comes back, in their order). n_eq: the equivalent cycle
    count, often the record's seconds x 1 Hz. No cycle gives 0. ValueError for m or n_eq that
    is not a finite number > 0 or is below the smallest normal double, a range or count that is
    not a finite number >= 0, and a load that would be infinite (m or n_eq too small)."""
    try:
        ranges, counts = cycles["range"], cycles["count"]
    except (KeyError, ValueError, IndexError, TypeError):
        raise ValueError("cycles need a range and a count field, as rainflow_cycles gives"
                         ) from None
    scalar = np.ndim(m) == 0
    exponents = np.atleast_1d(np.asarray(m, dtype=float))
    if exponents.ndim != 1:
        raise ValueError("m must be a number or a sequence of numbers")
    loads = _torvwy.damage_equivalent_loads(
        np.asarray(ranges, dtype=float), np.asarray(counts, dtype=float), exponents.tolist(),
        float(n_eq))
    return float(loads[0]) if scalar else np.array(loads, dtype=float)
