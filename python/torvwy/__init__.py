"""torvwy: amplitude-domain analysis of test-and-measurement waveforms from Python.

Nodes are read and written as the command line reads and writes them; peak, range and rainflow
counting run the same counting as `torvwy peak|range|rainflow` and give the same fields as its
JSON. A numpy array counts every value it holds, with the full scale `torvwy import` would
give it.

The life estimate of a rainflow count (fatigue=) takes a BS 7608 weld class, an EN 1993-1-9
detail category or an S-N curve of the user's (SNCurve), optionally with a mean-stress
correction of the counted cycles, and gives the cumulative damage over the record
(Result.damage_history); damage_equivalent_load summarises a cycle list by one range.
"""

import builtins
import json
import os
import warnings

import numpy as np

from . import _torvwy
from ._live import Counter, follow
from ._programme import Programme, ProgrammeResult
from ._curves import SNCurve, _weld_class_curve, damage_equivalent_load
from ._results import Fields, LiveResult, Result, Rows, Table
from ._torvwy import RequestError, TorvwyError

__all__ = [
    "Node", "write_node", "peak", "range", "rainflow", "crossings", "range_pairs",
    "time_at_level", "rainflow_cycles", "rainflow_matrix",
    "stats", "open_result", "expand_range", "TorvwyError", "RequestError", "Result", "Rows", "CYCLE_DTYPE",
    "read_channels", "import_file", "Counter", "follow", "LiveResult", "SNCurve",
    "damage_equivalent_load", "Table", "Programme", "ProgrammeResult",
]

_BLOCK = 1024
_KINDS = {"peak": 0, "range": 1, "rainflow": 2}

#: The fields of one extracted rainflow cycle.
CYCLE_DTYPE = np.dtype(
    [("range", "f8"), ("mean", "f8"), ("count", "f8"), ("start", "i8"), ("end", "i8"),
     ("from", "f8"), ("to", "f8")]
)


class Node:
    """A node of a test: `<data>/<test><code>#<node>.tsp` and its waveform `.sts`."""

    def __init__(self, data, test, code, node):
        self._node = _torvwy.Node(os.fspath(data), str(test), str(code), str(node))
        self.data, self.test, self.code, self.name = os.fspath(data), str(test), str(code), str(node)

    @property
    def info(self):
        """The sampling record: frequency_hz, c1, c2, format, length_half_blocks, samples,
        whole_blocks, full_scale (raw units) and full_scale_eu, eu (the unit), text1..text3."""
        return self._node.info

    @property
    def bookmarks(self):
        """The bookmarks, each a dict of position (a sample number as text) and text."""
        return self._node.bookmarks

    def _span(self, first_block, last_block):
        samples = self.info["samples"]
        first = 0 if first_block is None else (int(first_block) - 1) * _BLOCK
        end = samples if last_block is None else min(samples, int(last_block) * _BLOCK)
        if first < 0 or first > end:
            raise ValueError(f"blocks {first_block}..{last_block} are not a range of the record")
        return first, end

    def samples(self, first_block=None, last_block=None):
        """The samples in engineering units as a float64 array: the whole record, or blocks
        first_block..last_block (1024 samples each, from 1)."""
        first, end = self._span(first_block, last_block)
        return self._node.read(first, end - first)

    def blocks(self, n=64, first_block=None, last_block=None):
        """The samples n blocks at a time, for records larger than memory."""
        if int(n) < 1:
            raise ValueError("n must be 1 or more")
        first, end = self._span(first_block, last_block)
        step = int(n) * _BLOCK
        for start in builtins.range(first, end, step):
            yield self._node.read(start, min(step, end - start))

    def __repr__(self):
        return f"Node({self.data!r}, {self.test!r}, {self.code!r}, {self.name!r})"


def write_node(data, test, code, node, samples, frequency, unit="", format=886, c1=None, c2=1.0,
               description="", text1="torvwy import", text2="numpy array"):
    """Writes `samples` (EU) as the node `<data>/<test><code>#<node>` as `torvwy import` does:
    padded with the last value to whole half blocks of 512 samples; without c1 the full scale
    fits the signal (integer formats at 90 %, float formats a power of two that keeps every
    value). Returns samples, padding, c1, c2 and full_scale_eu."""
    return _torvwy.write_node(
        os.fspath(data), str(test), str(code), str(node), _samples(samples), float(frequency),
        unit, int(format), None if c1 is None else float(c1), float(c2), text1, text2, description,
    )


def _channel_list(items, what):
    if items is None:
        return []
    if isinstance(items, (str, int)):
        items = [items]
    out = []
    for item in items:
        if isinstance(item, bool) or not isinstance(item, (str, int)):
            raise ValueError(f"{what} must be names or numbers from 1, not {item!r}")
        out.append(str(item))
    return out


def _read_options(time_column, decimal_comma, nan_value, rate_from, datasets):
    return (
        None if time_column is None else int(time_column), bool(decimal_comma),
        None if nan_value is None else float(nan_value), "" if rate_from is None else str(rate_from),
        _channel_list(datasets, "datasets"),
    )


def read_channels(path, channels=None, time_column=None, decimal_comma=False, nan_value=None,
                  rate_from=None, datasets=None):
    """Reads the channels of a recording (CSV/text, MATLAB .mat, HDF5, WAV/FLAC/AIFF) without
    writing anything. Returns (arrays, rate): a dict of channel name -> float64 array (in the
    file's order; a name met twice gets "_2", "_3", ...), and the sampling frequency in Hz the
    file gives: one number when every channel has the same, a dict name -> Hz when they differ,
    None when the file gives none. Sound files read in raw units: full scale is 10000. `channels`
    picks some by name or number from 1."""
    names, arrays, rates, _units, _skipped = _torvwy.read_channels(
        os.fspath(path), *_read_options(time_column, decimal_comma, nan_value, rate_from, datasets),
        _channel_list(channels, "channels"),
    )
    out, by_name = {}, {}
    for name, array, rate in zip(names, arrays, rates):
        key, n = name, 2
        while key in out:
            key, n = f"{name}_{n}", n + 1
        out[key] = array
        by_name[key] = rate if rate > 0 else None
    distinct = set(by_name.values())
    rate = distinct.pop() if len(distinct) == 1 else (None if not distinct else by_name)
    return out, rate


def import_file(path, data, test, code, channels=None, node_names=None, rate=None, eu=None,
                format=886, c1=None, c2=1.0, description="", overwrite=False, time_column=None,
                decimal_comma=False, nan_value=None, rate_from=None, datasets=None):
    """Imports the channels of a recording as nodes of `<data>/<test><code>#<node>`, as
    `torvwy import` does: every channel (or those `channels` picks), named from the file or by
    `node_names`. Returns the written nodes as a list of Node. An existing node is replaced only
    with overwrite=True; without it nothing is written. A failure raises TorvwyError naming the
    nodes written before it (they are complete; nothing of the failed one is left)."""
    if rate is not None and not float(rate) > 0:
        raise ValueError("rate must be a number > 0")
    written = _torvwy.import_file(
        os.fspath(path), os.fspath(data), str(test), str(code), _channel_list(channels, "channels"),
        _channel_list(node_names, "node_names"), int(format),
        None if c1 is None else float(c1), float(c2), None if eu is None else str(eu),
        str(description), 0.0 if rate is None else float(rate), bool(overwrite),
        *_read_options(time_column, decimal_comma, nan_value, rate_from, datasets),
    )
    return [Node(data, test, code, entry["node"]) for entry in written]


def _samples(array):
    array = np.asarray(array)
    if array.dtype not in (np.float64, np.float32, np.int16, np.int32):
        raise ValueError(f"the samples must be float64, float32, int16 or int32, not {array.dtype}")
    return array


def _plan(method, partitions, amplitude, blocks=None, threads=1, stacklevel=2, crossings=None,
          residue=None, gate=0.0):
    """The core's counting plan of a call, checked as the command line's options are (ValueError
    with its line); above 2000 partitions a UserWarning says that 2000 are counted, as the
    command line notes it. stacklevel points the warning at the caller's call. crossings: the
    level crossing options (level_list, reference, direction, gate) as a dict; residue and gate:
    the conventions of the cycle counts (None and 0: the system's own)."""
    if not isinstance(amplitude, str):
        amplitude = float(amplitude)
    options = dict(crossings or {})
    if options.get("level_list") is not None:
        options["level_list"] = [float(level) for level in options["level_list"]]
    for key in ("reference", "gate"):
        if key in options:
            options[key] = float(options[key])
    if method != "crossings":
        options["gate"] = float(gate)
    if residue is not None:
        options["residue"] = str(residue)
    plan = _torvwy.plan(method, int(partitions), amplitude, blocks, threads, **options)
    if plan.note is not None:
        warnings.warn(plan.note, UserWarning, stacklevel=stacklevel + 1)
    return plan


def _blocks(blocks):
    if blocks is None:
        return None
    first, last = blocks
    return int(first), int(last)


def _threads(threads):
    """0 (every core) for None, else a count of 1 to 256."""
    if threads is None:
        return 0
    threads = int(threads)
    if not 1 <= threads <= 256:
        raise ValueError("threads must be 1 to 256, or None for every core")
    return threads


def _count(kind, source, partitions, amplitude, blocks, frequency, full_scale, unit, threads,
           crossings=None, residue=None, gate=0.0, stacklevel=3):
    # The warning points at the user's call of peak, range, rainflow and the others.
    plan = _plan(kind, partitions, amplitude, _blocks(blocks), _threads(threads), stacklevel,
                 crossings, residue, gate)
    if isinstance(source, Node):
        return _torvwy.count_node(plan, source._node)
    return _torvwy.count_array(
        plan, _samples(source), None if frequency is None else float(frequency),
        None if full_scale is None else float(full_scale), unit,
    )


def peak(source, partitions=25, amplitude="auto", blocks=None, frequency=None, full_scale=None,
         unit="", threads=None, gate=0.0):
    """Peak counting of a Node or a 1-D array: the fields of `torvwy peak --json`.

    An array of two or more finite values counts every value: its blocks of 1024 run from 1 to
    the last, partial one, and blocks=(first, last) picks some of them. frequency= (Hz) is the
    array's sampling frequency; without it the record is taken at 1 Hz, so that its times (of a
    saved result's envelope) are sample numbers. threads: the workers of the pass (None: every
    core); the counts are the same for every number. partitions above 2000 are counted with 2000,
    with a UserWarning that says so. gate (EU, 0: none): reversals smaller than it are removed
    before counting (the count then runs on one thread); the result has "gate" when one is set."""
    return Result(_count("peak", source, partitions, amplitude, blocks, frequency, full_scale, unit,
                         threads, gate=gate))


def range(source, partitions=25, amplitude="auto", blocks=None, frequency=None, full_scale=None,
          unit="", threads=None, gate=0.0):
    """Range counting of a Node or a 1-D array: the fields of `torvwy range --json`. Arrays,
    frequency=, threads and gate: as for peak."""
    return Result(_count("range", source, partitions, amplitude, blocks, frequency, full_scale, unit,
                         threads, gate=gate))


def crossings(source, partitions=None, amplitude="auto", blocks=None, level_list=None,
              reference=0.0, direction="astm", gate=0.0, frequency=None, full_scale=None, unit="",
              threads=None):
    """Level crossing counting of a Node or a 1-D array: the fields of `torvwy crossings --json`.

    The levels are the partitions + 1 edges of [-A, A] (25 partitions unless given), or
    level_list (strictly increasing; not with partitions). A sample on a level is above it.
    direction: "up", "down", "both" or "astm" (upward crossings at and above the reference,
    downward ones below it). gate (EU): after a crossing a level counts again only once the load
    has come back gate beyond it. Arrays, frequency= and threads: as for peak."""
    if level_list is not None and partitions is not None:
        raise RequestError("Invalid value! level_list= and partitions= can't go together")
    options = dict(level_list=level_list, reference=reference, direction=direction, gate=gate)
    return Result(_count("crossings", source, 25 if partitions is None else partitions,
                         amplitude, blocks, frequency, full_scale, unit, threads, options))


def range_pairs(source, partitions=25, amplitude="auto", blocks=None, frequency=None,
                full_scale=None, unit="", threads=None, gate=0.0):
    """Range-pair counting of a Node or a 1-D array: the fields of `torvwy range-pairs --json`,
    the histograms of range counting and the ranges left over. Counted on one thread. gate: as
    for peak."""
    return Result(_count("range-pairs", source, partitions, amplitude, blocks, frequency,
                         full_scale, unit, threads, gate=gate))


def time_at_level(source, partitions=25, amplitude="auto", blocks=None, frequency=None,
                  full_scale=None, unit="", threads=None):
    """Time at level of a Node or a 1-D array: the fields of `torvwy time-at-level --json`, the
    seconds (samples / frequency) in each partition of [-A, A], their fractions and the share at
    or above each. An array without frequency= is taken at 1 Hz (seconds are samples)."""
    return Result(_count("time-at-level", source, partitions, amplitude, blocks, frequency,
                         full_scale, unit, threads))


def rainflow(source, partitions=25, amplitude="auto", blocks=None, fatigue=None, frequency=None,
             full_scale=None, unit="", threads=None, residue="half", gate=0.0):
    """Rainflow counting of a Node or a 1-D array: the fields of `torvwy rainflow --json`.

    amplitude is "auto" (1.1 x the envelope's span), "full" (the full scale) or a value in EU.
    full_scale= (EU) sets what "full" and the smallest counted range (a thousandth of it) use,
    by default the full scale `torvwy import` would give the same values. threads: as for peak.

    residue: how the residue (the turning points left open) is counted: "half" (each step half
    a cycle, the default), "full" (a whole cycle), "discard" (not at all) or "repeated" (the
    cycles it closes when the record repeats). gate (EU, 0: none): reversals smaller than it are
    removed before counting. The result has "residue" and "gate" when they are not the default;
    the life estimate and its damage history follow them.

    fatigue=dict(...) adds the life estimate as the "fatigue" field (for an array it needs
    frequency=), with the keys
      method           "actual" (the counted cycles, by default) or "fitting" (a fitted
                       distribution of them)
      weld_class       a BS 7608 class, B C D E F F2 G W S T (B unless a curve is given)
      reliability      its d: 0, 0.5, 1, 2 (by default) or 3
      curve            "bs7608:F2", "en1993:71", a curve file's path or an SNCurve; with
                       weld_class only when both name one class
      mean_correction  "goodman", "gerber", "swt" or "walker": each counted cycle is taken at
                       its equivalent fully reversed range; needs the actual method
      ultimate         Su (EU): Goodman and Gerber need it; a cycle whose maximum exceeds it
                       is refused
      walker_gamma     Walker's gamma, 0 < gamma <= 1 (0.5 by default)
    A weld class without a correction gives the fields it always has; another curve adds
    "curve" and "curve_unit", a correction "mean_correction", "ultimate" and "walker_gamma"
    (the command line's keys). An infinite life (a range the curve does no damage at) is inf
    in L and null in to_dict(). With the actual method, `damage_history` is the damage over
    the record (a Table), computed when first asked for."""
    if fatigue is not None and frequency is None and not isinstance(source, Node):
        raise ValueError("a life estimate of an array needs its sampling frequency: frequency=")
    estimate = None if fatigue is None else _fatigue(fatigue)
    handle = _count("rainflow", source, partitions, amplitude, blocks, frequency, full_scale, unit,
                    threads, residue=residue, gate=gate)
    cycles = None
    if estimate is not None and estimate.method == "actual":
        counted = handle.counted_blocks
        cycles = lambda: _listed(source, counted, residue, gate)  # noqa: E731
    return Result(handle, estimate, cycles)


def _listed(source, blocks, residue="half", gate=0.0, transitions=(0, 0.0)):
    """The core's cycle list of a Node or an array, by the residue method and the gate; with
    transitions=(classes, A) it also counts the reversals in classes of [-A, A]."""
    if isinstance(source, Node):
        return _torvwy.node_cycles(source._node, blocks, str(residue), float(gate), *transitions)
    return _torvwy.array_cycles(_samples(source), blocks, str(residue), float(gate), *transitions)


def _fatigue(options):
    """The estimate fatigue= options ask for, checked before anything is counted."""
    options = dict(options)
    method = options.pop("method", "actual")
    weld_class = options.pop("weld_class", None)
    reliability = options.pop("reliability", None)
    curve = options.pop("curve", None)
    correction = options.pop("mean_correction", None)
    ultimate = options.pop("ultimate", None)
    gamma = options.pop("walker_gamma", None)
    if options:
        raise ValueError(f"unknown fatigue options: {', '.join(options)}")
    if correction is None or correction == "none":
        if ultimate is not None:
            raise ValueError("ultimate= goes with a mean_correction=")
        if gamma is not None:
            raise ValueError("walker_gamma= is Walker's exponent: it needs mean_correction=\"walker\"")
        correction = "none"
    elif gamma is not None and correction != "walker":
        raise ValueError("walker_gamma= is Walker's exponent: it needs mean_correction=\"walker\"")
    return _torvwy.fatigue_choice(
        str(method), _curve(curve, weld_class, reliability)._curve, str(correction),
        None if ultimate is None else float(ultimate), None if gamma is None else float(gamma),
    )


def _curve(curve, weld_class, reliability):
    """The SNCurve of curve=, weld_class= and reliability=."""
    if weld_class is not None:
        weld_class = str(weld_class)
        class_index = _torvwy.sn_class_index(weld_class)
        if class_index < 0:
            raise ValueError(f'weld class "{weld_class}" is not one of B C D E F F2 G W S T')
    if curve is None:
        return _weld_class_curve(class_index if weld_class is not None else 0,
                                2 if reliability is None else reliability)
    if not isinstance(curve, SNCurve):
        curve = SNCurve(curve, reliability=reliability)
    elif reliability is not None and curve.reliability != reliability:
        raise ValueError(f"reliability={reliability} and curve={curve.name!r} disagree")
    if weld_class is not None and curve.weld_class != weld_class:
        raise ValueError(f'weld_class="{weld_class}" and curve={curve.name!r} disagree: give one')
    return curve


def rainflow_cycles(source, blocks=None, residue="half", gate=0.0):
    """Every cycle rainflow extracts from a Node (its whole blocks) or a 1-D array (every value;
    two or more, all finite), as a structured array of CYCLE_DTYPE: range and mean (EU), count
    (1.0 closed, 0.5 residue half cycle), the sample indices of its two turning points, and
    their values "from" and "to" (EU). Closed cycles come first, in the order they closed, then
    the residue's halves in time order. residue= and gate= as for rainflow ("full" counts the
    residue's steps 1.0, "repeated" lists the cycles the repeat closes). A range of zero is no
    cycle; nothing else is dropped: rainflow's histogram is these cycles binned by range,
    without those below the smallest counted range or above A."""
    listed = _listed(source, _blocks(blocks), residue, gate)
    columns = listed.columns()
    cycles = np.empty(columns[0].shape[0], dtype=CYCLE_DTYPE)
    for name, column in zip(CYCLE_DTYPE.names, columns):
        cycles[name] = column
    return cycles


def _bin_count(bins, name):
    """The number of bins of a count or of a 1-D array of edges."""
    if isinstance(bins, (int, np.integer)) and not isinstance(bins, (bool, np.bool_)):
        return int(bins)
    edges = np.asarray(bins)
    if edges.ndim != 1:
        raise ValueError(f"{name} must be a number of bins or a 1-D array of their edges")
    return edges.size - 1


def rainflow_matrix(source, range_bins=10, mean_bins=10, blocks=None, kind="range-mean",
                    classes=None, partitions=25, amplitude="auto", residue="half", gate=0.0,
                    frequency=None, full_scale=None, unit=""):
    """A matrix of the rainflow cycles of a Node or a 1-D array, counted as
    rainflow(source, partitions, amplitude, blocks, residue=, gate=) counts them, as
    (matrix, row_edges, column_edges). Every matrix counts what that histogram counts: the
    cycles from its smallest counted range to A (a residue half 0.5).

      "range-mean"   rows by range, columns by mean: range_bins over [0, A] by the histogram's
                     rule (a bin (lo, hi], the first closed below), mean_bins over the counted
                     cycles' means; as `torvwy rainflow --matrix`. Bins given as arrays of
                     edges are taken as numpy.histogram2d takes them, over the same cycles.
      "from-to"      rows the class of each cycle's first turning point, columns its second,
                     in `classes` (default: partitions) classes of [-A, A]; as --from-to.
      "transitions"  every reversal from one turning point to the next, in the same classes,
                     whatever its range; as --transitions.

    Each axis has 1 to 2000 bins or classes; more or none raise ValueError."""
    if kind not in ("range-mean", "from-to", "transitions"):
        raise ValueError(f'kind="{kind}" is not one of "range-mean", "from-to", "transitions"')
    result = _count("rainflow", source, partitions, amplitude, blocks, frequency, full_scale,
                    unit, None, residue=residue, gate=gate, stacklevel=3)
    counted = result.counted_blocks
    if kind != "range-mean":
        m = int(partitions if classes is None else classes)
        if not 1 <= m <= 2000:
            raise RequestError(f"Invalid value! classes={m} lies outside 1..2000")
        transitions = (m, result.fields()["A"]) if kind == "transitions" else (0, 0.0)
        return result.matrix(kind, _listed(source, counted, residue, gate, transitions), m, 0)
    _torvwy.check_matrix_bins(_bin_count(range_bins, "range_bins"),
                              _bin_count(mean_bins, "mean_bins"))
    listed = _listed(source, counted, residue, gate)
    if isinstance(range_bins, (int, np.integer)) and isinstance(mean_bins, (int, np.integer)):
        return result.matrix(kind, listed, int(range_bins), int(mean_bins))
    columns = listed.columns()
    kept = result.counts_ranges(columns[0])
    return np.histogram2d(columns[0][kept], columns[1][kept], bins=[range_bins, mean_bins],
                          weights=columns[2][kept])


def _stats_threads(threads):
    """The workers of `torvwy stats --threads`: 0 (one per core) for None, else 0 to 256."""
    if threads is None:
        return 0
    threads = int(threads)
    if not 0 <= threads <= 256:
        raise ValueError("threads must be 0 to 256 (0: one per core), or None")
    return threads


def stats(data, test, codes, nodes, peak_peak=None, threads=None):
    """The amplitude statistics of every waveform of the code and node ranges (or, with
    peak_peak=N, the N largest peak-to-peak values of each): rows of `torvwy stats --json`."""
    text = _torvwy.statistics(
        os.fspath(data), str(test), str(codes), str(nodes),
        None if peak_peak is None else int(peak_peak), _stats_threads(threads),
    )
    fields = json.loads(text)
    return Rows(fields["rows"], fields.get("content", 0))


def open_result(path):
    """Reads a result file of any analysis (.PCM, .DCM, .RFL, any layout) as a Result, or a
    statistics list (.aps) as Rows."""
    opened = _torvwy.open_result(os.fspath(path))
    if isinstance(opened, str):
        fields = json.loads(opened)
        return Rows(fields["rows"], fields.get("content", 0))
    return Result(opened)


def expand_range(text):
    """The codes of a range text such as "1,3,5-9,A1-A7"."""
    return _torvwy.expand_range(str(text))

