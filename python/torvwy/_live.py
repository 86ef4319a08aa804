"""Live counting: a count fed samples as they arrive, and the follow of a node being recorded."""

import os
import pickle
import time
import warnings

import numpy as np

from . import _torvwy
from ._results import LiveResult, Result
from ._torvwy import TorvwyError

_KINDS = {"peak": 0, "range": 1, "rainflow": 2}
_FORMAT_FULL_SCALE = 10000.0  # raw full scale of the float64 record an array is counted as
_STATE_VERSION = 3  # 2: the samples fed are part of the state; 3: residue= and gate=
_OPTION_NAMES = ("kind", "partitions", "amplitude", "full_scale", "frequency", "unit",
                 "keep_cycles", "fatigue", "residue", "gate")


def _life_estimate(kind, fatigue, has_frequency):
    from . import _fatigue

    if fatigue is None:
        return None
    if kind != "rainflow":
        raise ValueError("a life estimate (fatigue=) is made of a rainflow count")
    if not has_frequency:
        raise ValueError("a life estimate of an array needs its sampling frequency: frequency=")
    estimate = _fatigue(fatigue)
    if estimate.needs_cycles:
        raise ValueError("a mean correction works on the cycle list, which a live count does not "
                         "keep: correct the finished record with torvwy.rainflow")
    return estimate


class Counter:
    """A peak, range or rainflow count that grows with its record.

    `feed(array)` counts the next samples, in pieces of any size (1-D float64, float32, int16 or
    int32, every value finite); `result()` gives, at any moment, exactly the result that
    `torvwy.<kind>` gives for the concatenation of every piece fed, with the same options:
    nothing is recounted and no sample is kept, so a result costs the partitions (and, for
    rainflow, the residue), not the record.

    kind: "peak", "range" or "rainflow". partitions, frequency= (Hz; without it the record is
    taken at 1 Hz) and unit: as for torvwy.peak/range/rainflow. amplitude: "full" or a value in
    EU; "auto" is refused, since its partitions would move as the record grows.

    full_scale= (EU) sets what "full" and rainflow's smallest counted range (a thousandth of it)
    use. An array counted whole takes the full scale the import gives its largest magnitude; a
    counter can't know that magnitude before the end, so without full_scale= the first piece fed
    decides it by the same rule, and it stays (`counter.full_scale` tells it). A result then
    equals `torvwy.<kind>(whole, full_scale=counter.full_scale)`, and `torvwy.<kind>(whole)` too
    when the rule gives the first piece the whole's full scale (as when it holds the whole's
    largest magnitude). Give full_scale= (the instrument's range) when a quiet start must not
    decide it.

    The overview: a counter keeps no samples, so its results have an empty "envelope" list;
    envelope_max and envelope_min are the largest and smallest sample fed, which are exactly
    the extremes of the envelope an offline count gives (each envelope value is a sample).

    residue= (rainflow: "half", "full", "discard" or "repeated") and gate= (EU: reversals smaller
    than it removed first; peak, range and rainflow) count as torvwy.rainflow does.

    keep_cycles=True (rainflow) keeps every cycle for `cycles()`. fatigue=dict(...) (rainflow,
    with frequency=) adds the life estimate to every result, as torvwy.rainflow does, on any
    curve but without a mean correction (it works on the cycle list, which a counter does not
    keep); a counter's results have no damage_history.

    A counter pickles (the count's state, not its samples): restored and fed the rest, it gives
    the result of the whole record."""

    _handle = None  # a Counter made by __new__ alone has none; see _live()

    def __init__(self, kind, partitions=25, amplitude="full", full_scale=None, frequency=None,
                 unit="", keep_cycles=False, fatigue=None, residue="half", gate=0.0):
        plan = _plan(kind, partitions, amplitude, residue=residue, gate=gate)
        if keep_cycles and kind != "rainflow":
            raise ValueError("keep_cycles is for a rainflow counter")
        self._options = dict(
            kind=kind, partitions=int(partitions), amplitude=amplitude,
            full_scale=None if full_scale is None else float(full_scale),
            frequency=None if frequency is None else float(frequency), unit=str(unit),
            keep_cycles=bool(keep_cycles), fatigue=None if fatigue is None else dict(fatigue),
            residue=str(residue), gate=float(gate),
        )
        self._estimate = _life_estimate(kind, fatigue, frequency is not None)
        o = self._options
        self._handle = _torvwy.LiveCount(plan, o["frequency"], o["full_scale"], o["unit"],
                                         o["keep_cycles"])

    def _live(self):
        """The count, or TypeError for a Counter that was never set up (made by __new__ alone)."""
        if self._handle is None:
            raise TypeError("this Counter was never set up: make it with torvwy.Counter(kind, ...) "
                            "or restore it from its pickle")
        return self._handle

    @property
    def kind(self):
        self._live()
        return self._options["kind"]

    @property
    def samples(self):
        """Samples fed so far."""
        return self._live().samples

    @property
    def full_scale(self):
        """The full scale in EU: full_scale= as given, or the one the first piece decided (None
        until then)."""
        c1 = self._live().c1
        if self._options["full_scale"] is not None:
            return self._options["full_scale"]
        return None if c1 is None else _FORMAT_FULL_SCALE / c1

    def feed(self, array):
        """Counts the next samples. A piece that is not 1-D of a taken type, or that holds NaN or
        an infinite value, raises ValueError (naming the index in the whole record of the first
        bad value) and counts nothing of it."""
        self._live().feed(_samples(array))

    def result(self):
        """The result of every sample fed, as torvwy.<kind> gives it for their concatenation
        (the envelope list empty, its extremes exact). ValueError before two samples."""
        return Result(self._live().snapshot(), self._estimate)

    def cycles(self):
        """Every rainflow cycle of the samples fed, as rainflow_cycles(whole) lists them: the
        closed ones in the order they closed, then the residue's halves. Needs keep_cycles=True.
        Exact when the full scale is a power of two of the raw full scale, as a first piece
        decides it; with another full_scale= the values are scaled there and back."""
        from . import CYCLE_DTYPE

        columns = self._live().cycles()
        cycles = np.empty(columns[0].shape[0], dtype=CYCLE_DTYPE)
        for name, column in zip(CYCLE_DTYPE.names, columns):
            cycles[name] = column
        return cycles

    def __getstate__(self):
        handle = self._live()
        return {"version": _STATE_VERSION, "options": dict(self._options),
                "samples": handle.samples, "count": handle.state()}

    def __setstate__(self, state):
        """Goes on from a __getstate__() of a counter. A state of another version raises
        pickle.UnpicklingError; one whose fields are of the wrong type or range, or disagree
        with each other (options, samples fed, counts, extremes), raises ValueError."""
        if not isinstance(state, dict) or state.get("version") != _STATE_VERSION:
            raise pickle.UnpicklingError("not the state of a torvwy.Counter of this version")
        options, samples, count = _checked_state(state)
        try:
            # The counter warned of partitions above 2000 when it was made; not again here.
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", UserWarning)
                self.__init__(**options)
        except (TorvwyError, ValueError) as error:
            raise ValueError(f"the Counter state is damaged: its options are refused: {error}") \
                from None
        if count is None:
            # Only a counter that has not been fed, and whose first piece is still to decide
            # the full scale, has no count.
            if samples != 0 or options["full_scale"] is not None:
                raise ValueError("the Counter state is damaged: it has no count, yet "
                                 f"{samples} samples and full_scale={options['full_scale']}")
            return
        self._handle.restore(*count, samples)

    def __repr__(self):
        if self._handle is None:
            return "Counter(<never set up>)"
        o = self._options
        return (f"Counter({o['kind']!r}, partitions={o['partitions']}, "
                f"amplitude={o['amplitude']!r}, samples={self.samples})")


def _real(value):
    """Whether `value` is a real number (a bool is not)."""
    return isinstance(value, (int, float, np.integer, np.floating)) and not isinstance(
        value, (bool, np.bool_))


def _checked_state(state):
    """The options, samples fed and count of a Counter state, each of its type and range;
    ValueError naming the first field that is not."""
    def damaged(why):
        return ValueError(f"the Counter state is damaged: {why}")

    if set(state) != {"version", "options", "samples", "count"}:
        raise damaged("its fields are not version, options, samples and count")
    options, samples, count = state["options"], state["samples"], state["count"]
    if not isinstance(options, dict) or set(options) != set(_OPTION_NAMES):
        raise damaged(f"options are not {', '.join(_OPTION_NAMES)}")
    kinds = {
        "kind": lambda v: isinstance(v, str) and v in _KINDS,
        "partitions": lambda v: isinstance(v, int) and not isinstance(v, bool) and v >= 1,
        "amplitude": lambda v: v == "full" if isinstance(v, str) else (
            _real(v) and np.isfinite(v)),
        "full_scale": lambda v: v is None or (_real(v) and np.isfinite(v) and v > 0),
        "frequency": lambda v: v is None or (_real(v) and np.isfinite(v) and v > 0),
        "unit": lambda v: isinstance(v, str),
        "keep_cycles": lambda v: isinstance(v, bool),
        "fatigue": lambda v: v is None or isinstance(v, dict),
        "residue": lambda v: isinstance(v, str),
        "gate": lambda v: _real(v) and np.isfinite(v) and v >= 0,
    }
    for name, valid in kinds.items():
        if not valid(options[name]):
            raise damaged(f"options[{name!r}] = {options[name]!r} is out of type or range")
    if not isinstance(samples, int) or isinstance(samples, bool) or samples < 0:
        raise damaged(f"samples = {samples!r} is not a count of samples")
    if count is not None and not (
            isinstance(count, tuple) and len(count) == 3 and isinstance(count[0], bytes)
            and isinstance(count[1], float) and isinstance(count[2], float)):
        raise damaged("count is not (bytes, lowest, highest)")
    return options, samples, count


def _plan(kind, partitions, amplitude, residue=None, gate=0.0):
    """The count's plan, with the package's warning above 2000 pointed at the caller of Counter
    or follow."""
    from . import _plan as checked

    return checked(kind, partitions, amplitude, stacklevel=3, residue=residue, gate=gate)


def _samples(array):
    from . import _samples as checked

    return checked(array)


def _node_names(node):
    """data, test, code and node of a Node or of a path "<data>/<test><code>#<node>[.tsp|.sts]"."""
    from . import Node

    if isinstance(node, Node):
        return node.data, node.test, node.code, node.name
    path = os.fspath(node)
    folder, title = os.path.split(path)
    stem, extension = os.path.splitext(title)
    if extension.lower() in (".tsp", ".sts"):
        title = stem
    test, code, name = _torvwy.split_node_title(title)
    if not name or not (test or code):
        raise ValueError(f'"{path}" is not a node path "<data>/<test><code>#<node>"')
    return folder or ".", test, code, name


def follow(node, kind="rainflow", partitions=25, amplitude="full", interval=1.0, idle=30.0,
           fatigue=None):
    """Counts a node while it is being recorded: a generator of LiveResult.

    node: a Node, or the path "<data>/<test><code>#<node>" (with or without .tsp or .sts).
    kind, partitions, amplitude ("full" or a value; "auto" refused) and fatigue= as for
    torvwy.rainflow. Every `interval` seconds it looks at the node and counts the whole blocks
    that arrived since the last look (never a partial block, never a block twice); a look that
    counted something yields the result of the blocks counted so far with live True. The follow
    ends when the record is complete, after `idle` seconds without a new block, or when the
    record goes wrong (shrinks, changes its format, rate or calibration, is deleted, can't be
    read, another file or a FIFO takes the waveform file's name, or samples already counted are
    rewritten: a follow that ends complete or idle reads the bytes it counted again first); it
    then yields the result of every block counted with live False, which for a
    complete record equals torvwy.<kind>(Node(...)) of the finished node. An end that went wrong
    raises TorvwyError with its one-line reason after that last result; an end with no block
    counted raises it without one. Ctrl-C raises KeyboardInterrupt. The looks release the GIL.

    Each result also has `live`, `blocks_counted` and `samples_behind` (samples in the waveform
    file not counted yet: a partial block) as attributes; to_dict() holds the fields of the
    offline result only."""
    plan = _plan(kind, partitions, amplitude)
    estimate = _life_estimate(kind, fatigue, True)
    interval = float(interval)
    if not interval >= 0.0 or not np.isfinite(interval):
        raise ValueError("interval must be a number of seconds >= 0")
    data, test, code, name = _node_names(node)
    handle = _torvwy.follow_start(data, test, code, name, plan, float(idle))
    return _looks(handle, estimate, interval)


def _looks(handle, estimate, interval):
    def result(live):
        return LiveResult(handle.snapshot(), estimate, live=live,
                          blocks_counted=handle.blocks_counted,
                          samples_behind=handle.samples_behind)

    next_look = time.monotonic()
    while True:
        look = handle.poll()
        if look["end"] != "none":
            break
        if look["new_blocks"] > 0:
            yield result(True)
        next_look += interval
        pause = next_look - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        else:
            next_look = time.monotonic()
    last = None
    if handle.blocks_counted > 0:
        try:
            last = result(False)
        except TorvwyError:
            # A record gone wrong may no longer give what its overview needs: its reason is
            # what the user must see.
            if look["reason"] is None:
                raise
    if last is not None:
        yield last
    if look["reason"] is not None:
        raise TorvwyError(look["reason"])
    if last is None:
        raise TorvwyError(f"the follow ended ({look['end']}) before a whole block was recorded")
