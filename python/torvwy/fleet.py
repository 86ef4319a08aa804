"""Fleet batches: one task per waveform on a Dask cluster, one row per node in a DataFrame.

Each task opens and streams its own waveform on the worker (the data folder must be on storage
every worker sees); a waveform that fails gives a row with its error and the batch goes on.

    python3 -m torvwy.fleet --scheduler local --data DIR --test NAME --codes 1-3 --nodes 1-8 \\
        rainflow --fatigue actual --class F2 --csv rows.csv

A test programme counts each of its events on a worker and joins them here, in the programme's
order, exactly as one process does (`torvwy programme FILE --json`, byte for byte):

    python3 -m torvwy.fleet --scheduler local programme track.programme --csv events.csv
"""

import argparse
import json
import os
import sys

import torvwy
from torvwy import _torvwy
from torvwy._curves import RELIABILITIES

ANALYSES = ("rainflow", "peak", "range", "crossings", "range-pairs", "time-at-level", "stats")


def _largest_range(counts, width):
    """Upper edge of the highest partition that holds a count (EU); 0 when none does."""
    occupied = [j for j, count in enumerate(counts) if count > 0]
    return (occupied[-1] + 1) * width if occupied else 0.0


def node_row(data, test, code, node, analysis="rainflow", partitions=25, amplitude="auto",
             blocks=None, fatigue=None, peak_peak=None, residue=None, gate=None):
    """The row of one waveform: its names, the analysis's summary and `error` (None, or the
    one-line message of a waveform that failed). Runs wherever it is called: on a worker, or
    in the local loop. residue (rainflow) and gate (the cycle counts; level crossings' own
    gate) are the counting conventions; a row names those given."""
    row = {"test": test, "code": code, "node": node, "analysis": analysis, "error": None}
    if residue is not None:
        row["residue"] = residue
    if gate is not None:
        row["gate"] = float(gate)
    conventions = {} if gate is None else {"gate": gate}
    try:
        if analysis == "stats":
            rows = torvwy.stats(data, test, code, node, peak_peak=peak_peak, threads=1)
            if not rows:
                raise torvwy.TorvwyError(f"{test}{code}#{node}: no statistics row")
            for key, value in rows[0].items():
                if key not in ("code", "node"):
                    row[key] = value
            return row
        source = torvwy.Node(data, test, code, node)
        if analysis == "peak":
            result = torvwy.peak(source, partitions, amplitude, blocks, threads=1, **conventions)
            row.update(largest_separate=result.largest_separate, largest_total=result.largest_total,
                       total_peaks=float(result.two_way.peak.sum()),
                       total_valleys=float(result.two_way.valley.sum()))
        elif analysis == "range":
            result = torvwy.range(source, partitions, amplitude, blocks, threads=1, **conventions)
            row.update(largest=result.largest, total_ranges=float(result.two_way.sum()))
        elif analysis == "rainflow":
            result = torvwy.rainflow(source, partitions, amplitude, blocks, fatigue=fatigue,
                                     threads=1, residue=residue or "half", **conventions)
            row.update(largest=result.largest, total_cycles=float(result.counts.sum()),
                       largest_range=_largest_range(result.counts, result.w))
            if fatigue is not None:
                damage = result.fatigue.total_damage
                row.update(total_damage=damage, life=1.0 / damage if damage > 0 else float("inf"))
        elif analysis == "crossings":
            result = torvwy.crossings(source, partitions, amplitude, blocks, threads=1,
                                      **conventions)
            row.update(total_crossings=float(result.counts.sum()))
        elif analysis == "range-pairs":
            result = torvwy.range_pairs(source, partitions, amplitude, blocks, threads=1,
                                        **conventions)
            row.update(largest=result.largest, total_pairs=float(result.two_way.sum()),
                       left_over_ranges=result.left_over_ranges)
        elif analysis == "time-at-level":
            result = torvwy.time_at_level(source, partitions, amplitude, blocks, threads=1)
            row.update(seconds=float(result.seconds.sum()),
                       seconds_outside=result.seconds_outside)
        else:
            raise ValueError(f'analysis "{analysis}" is not one of {", ".join(ANALYSES)}')
        row.update(N=result.N, A=result.A, first_block=result.first_block,
                   last_block=result.last_block, envelope_max=result.envelope_max,
                   envelope_min=result.envelope_min)
    except Exception as error:  # noqa: BLE001 - every failure of one waveform is its row
        row["error"] = str(error) or type(error).__name__
    return row


def waveforms(data, test, codes, nodes):
    """The (code, node) pairs of the ranges of which a sampling parameter file or a waveform
    file ("<test><code>#<node>.tsp" or ".sts", extension in any case) exists in any form, a
    link that leads nowhere or a file that is not regular among them, code-major: each gets a
    row, with its error when it can't be counted. Raises TorvwyError when `data` is not a
    folder."""
    data = os.fspath(data)
    if not os.path.isdir(data):
        raise torvwy.TorvwyError(f"{data}: no such folder")
    present = set()
    with os.scandir(data) as entries:
        for entry in entries:
            stem, extension = os.path.splitext(entry.name)
            if extension.lower() in (".tsp", ".sts"):
                present.add(stem)
    test = str(test)
    return [(code, node) for code in torvwy.expand_range(codes)
            for node in torvwy.expand_range(nodes) if f"{test}{code}#{node}" in present]


def _frame(rows):
    import pandas

    return pandas.DataFrame(rows)


_OPTIONS = ("partitions", "amplitude", "blocks", "fatigue", "peak_peak", "residue", "gate")


def check_options(analysis, options):
    """Refuses (ValueError) an analysis or options node_row would refuse for every waveform, so
    that a batch fails once before any task is sent instead of in each row."""
    if analysis not in ANALYSES:
        raise ValueError(f'analysis "{analysis}" is not one of {", ".join(ANALYSES)}')
    unknown = [name for name in options if name not in _OPTIONS]
    if unknown:
        raise ValueError(f"unknown options: {', '.join(unknown)} (the options are "
                         f"{', '.join(_OPTIONS)})")
    if analysis != "stats":
        amplitude = options.get("amplitude", "auto")
        conventions = {}
        if options.get("residue") is not None:
            conventions["residue"] = str(options["residue"])
        if options.get("gate") is not None:
            conventions["gate"] = float(options["gate"])
        _torvwy.plan(analysis, int(options.get("partitions", 25)),
                     amplitude if isinstance(amplitude, str) else float(amplitude),
                     **conventions)
    elif options.get("residue") is not None or options.get("gate") is not None:
        raise ValueError("residue= and gate= are counting conventions: stats has none")
    if options.get("fatigue") is not None:
        if analysis != "rainflow":
            raise ValueError("a life estimate (fatigue=) is made of a rainflow count")
        torvwy._fatigue(options["fatigue"])


def run_local(data, test, codes, nodes, analysis="rainflow", **options):
    """The batch in this process, one waveform after another: the reference a cluster's batch
    equals row for row. Options as for run()."""
    check_options(analysis, options)
    data = os.path.abspath(os.fspath(data))
    return _frame([node_row(data, test, code, node, analysis, **options)
                   for code, node in waveforms(data, test, codes, nodes)])


def run(client, data, test, codes, nodes, analysis="rainflow", **options):
    """Maps one task per waveform onto the dask.distributed `client` and gathers the rows, in
    the order of the waveforms, into a pandas DataFrame. `options` are node_row's: partitions,
    amplitude, blocks, fatigue, peak_peak; ones every waveform would refuse raise ValueError
    before any task is sent."""
    if not all(callable(getattr(client, name, None)) for name in ("submit", "gather")):
        raise TypeError(f"client must be a dask.distributed Client, not {type(client).__name__}")
    check_options(analysis, options)
    data = os.path.abspath(os.fspath(data))
    pairs = waveforms(data, test, codes, nodes)
    futures = [
        client.submit(node_row, data, test, code, node, analysis, pure=False, **options)
        for code, node in pairs
    ]
    return _frame(client.gather(futures))


def programme_event(text, folder, index):
    """A worker's task: the count of event `index` (0-based) of a programme, as bytes."""
    return _torvwy.programme_count_event(text, folder, index)


def _join_programme(text, folder, counts):
    json_text, csv = _torvwy.programme_join(text, folder, counts)
    return json_text, csv


def run_programme_local(path):
    """A programme file counted in this process, event after event: (the JSON text of
    `torvwy programme --json`, the CSV table of --csv)."""
    text, folder = _torvwy.programme_read(os.fspath(path))
    counts = [programme_event(text, folder, i)
              for i in range(_torvwy.programme_events(text, folder))]
    return _join_programme(text, folder, counts)


def run_programme(client, path):
    """A programme file counted on the dask.distributed `client`: one task per event (each
    worker reads its event's node), the counts joined here in the programme's order. Returns
    what run_programme_local returns, the same bytes."""
    if not all(callable(getattr(client, name, None)) for name in ("submit", "gather")):
        raise TypeError(f"client must be a dask.distributed Client, not {type(client).__name__}")
    text, folder = _torvwy.programme_read(os.fspath(path))
    futures = [client.submit(programme_event, text, folder, i, pure=False)
               for i in range(_torvwy.programme_events(text, folder))]
    return _join_programme(text, folder, client.gather(futures))


def _programme_main(scheduler, workers, argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m torvwy.fleet --scheduler ADDRESS programme",
        description="A test programme's events counted on a Dask cluster and joined in order.")
    parser.add_argument("file", help="the programme file")
    parser.add_argument("--json", action="store_true",
                        help="print the JSON object (the default prints a summary)")
    parser.add_argument("--csv", help="write the events' table as this CSV file")
    args = parser.parse_args(argv)
    try:
        text, folder = _torvwy.programme_read(os.fspath(args.file))
        if args.csv:
            _torvwy.check_save_target(args.csv)
    except (ValueError, torvwy.TorvwyError, OSError) as error:
        return _fail(error)
    try:
        client, cluster = _client(scheduler, workers)
    except Exception as error:  # noqa: BLE001
        return _fail(f"scheduler {scheduler}: {str(error) or type(error).__name__}")
    try:
        json_text, csv = run_programme(client, args.file)
    except torvwy.TorvwyError as error:
        return _fail(error)
    except Exception as error:  # noqa: BLE001
        return _fail(f"scheduler {scheduler}: {str(error) or type(error).__name__}")
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    if args.csv:
        try:
            _torvwy.save_file(os.fspath(args.csv), csv.encode("utf-8"))
        except torvwy.TorvwyError as error:
            return _fail(error)
    if args.json:
        print(json_text)
    else:
        result = json.loads(json_text)
        life = result["life_programmes"]
        print(f"{len(result['events'])} events, total damage {result['total_damage']:.6g}, "
              f"life {'-' if life is None else f'{life:.6g}'} programmes"
              + (f": {args.csv}" if args.csv else ""))
    return 0


def _client(scheduler, workers):
    from dask.distributed import Client, LocalCluster

    if scheduler == "local":
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address=None)
        return Client(cluster), cluster
    return Client(scheduler), None


def _save_csv(frame, path):
    """Saves the rows as CSV through the core's one save: written beside the target and renamed
    over it; a link to a regular file is followed, anything else that is not a regular file is
    refused (TorvwyError) with nothing touched."""
    _torvwy.save_file(os.fspath(path), frame.to_csv(index=False).encode("utf-8"))


def _workers(text):
    """--workers: a whole number of 1 or more (a local cluster of none would wait forever)."""
    try:
        workers = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f'"{text}" is not a whole number') from None
    if workers < 1:
        raise argparse.ArgumentTypeError(f"{workers}: a local cluster needs 1 or more workers")
    return workers


def _fail(text):
    print(f"torvwy.fleet: {text}", file=sys.stderr)
    return 1


def main(argv=None):
    argv = sys.argv[1:] if argv is None else list(argv)
    # "programme FILE" after the cluster's options is a programme, not a batch of waveforms.
    head = argparse.ArgumentParser(add_help=False)
    head.add_argument("--scheduler")
    head.add_argument("--workers", type=_workers, default=os.cpu_count() or 1)
    known, rest = head.parse_known_args(argv)
    if rest and rest[0] == "programme" and known.scheduler:
        return _programme_main(known.scheduler, known.workers, rest[1:])
    parser = argparse.ArgumentParser(
        prog="python3 -m torvwy.fleet",
        description="One row per waveform of the code and node ranges, computed on a Dask "
        "cluster, written as CSV. (A test programme: --scheduler ADDRESS programme FILE "
        "[--json] [--csv FILE].)")
    parser.add_argument("--scheduler", required=True,
                        help='scheduler address (tcp://host:8786) or "local" for a LocalCluster')
    parser.add_argument("--workers", type=_workers, default=os.cpu_count() or 1,
                        help="workers of a local cluster (default: one per core)")
    parser.add_argument("--data", required=True, help="data folder every worker sees")
    parser.add_argument("--test", required=True, help="test name")
    parser.add_argument("--codes", required=True, help='test codes, e.g. "1-3,7"')
    parser.add_argument("--nodes", required=True, help='node names, e.g. "1-8"')
    parser.add_argument("analysis", choices=ANALYSES)
    parser.add_argument("--partitions", type=int, default=25, help="number of partitions N")
    parser.add_argument("--amplitude", default="auto", help="full, auto or a value in EU")
    parser.add_argument("--blocks", help="analysis range FIRST-LAST in blocks")
    parser.add_argument("--fatigue", choices=("actual", "fitting"), help="rainflow life estimate")
    parser.add_argument("--class", dest="weld_class", default="B", help="S-N weld class")
    parser.add_argument("--reliability", default="2", help="0, 0.5, 1, 2 or 3")
    parser.add_argument("--peak-peak", type=int, help="stats: the N largest peak-to-peak values")
    parser.add_argument("--residue", help="rainflow: half, full, discard or repeated")
    parser.add_argument("--gate", type=float,
                        help="EU: reversals smaller than it removed before counting (level "
                        "crossings: their own gate)")
    parser.add_argument("--csv", required=True, help="the CSV file to write")
    args = parser.parse_args(argv)

    options = {}
    if args.analysis != "stats":
        # The text as typed: the counting plan reads it as the command line does.
        options.update(partitions=args.partitions, amplitude=args.amplitude)
        if args.blocks:
            first, _, last = args.blocks.partition("-")
            try:
                options["blocks"] = (int(first), int(last))
            except ValueError:
                parser.error(f'--blocks "{args.blocks}" is not FIRST-LAST')
    if args.fatigue and args.analysis != "rainflow":
        parser.error("--fatigue applies to rainflow")
    if args.peak_peak is not None:
        options["peak_peak"] = args.peak_peak
    if args.residue is not None:
        options["residue"] = args.residue
    if args.gate is not None:
        options["gate"] = args.gate

    # Options every waveform would refuse, and a CSV the save would refuse, fail here, before
    # any task is sent, in the command line's words.
    try:
        if "partitions" in options:
            _torvwy.plan(args.analysis, args.partitions, args.amplitude)
        if args.fatigue:
            _torvwy.parse_weld_class(args.weld_class, "--class")
            reliability = RELIABILITIES[
                _torvwy.parse_reliability(args.reliability, "--reliability")]
            options["fatigue"] = dict(method=args.fatigue, weld_class=args.weld_class,
                                      reliability=reliability)
        check_options(args.analysis, options)
        _torvwy.check_save_target(args.csv)
        waveforms(args.data, args.test, args.codes, args.nodes)
    except (ValueError, torvwy.TorvwyError, OSError) as error:
        return _fail(error)
    # The scheduler's and the cluster's failures (an address that can't be reached, a cluster
    # that can't start or dies) are one line, as a waveform's are.
    try:
        client, cluster = _client(args.scheduler, args.workers)
    except Exception as error:  # noqa: BLE001
        return _fail(f"scheduler {args.scheduler}: {str(error) or type(error).__name__}")
    try:
        frame = run(client, args.data, args.test, args.codes, args.nodes, args.analysis, **options)
    except Exception as error:  # noqa: BLE001
        return _fail(f"scheduler {args.scheduler}: {str(error) or type(error).__name__}")
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    try:
        _save_csv(frame, args.csv)
    except torvwy.TorvwyError as error:
        return _fail(error)
    failed = int(frame["error"].notna().sum()) if len(frame) else 0
    print(f"{len(frame)} waveforms, {failed} failed: {args.csv}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
