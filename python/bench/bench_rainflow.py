"""Rainflow of a 100 M-sample int16 record: the package (from a Node and from a numpy array)
against the torvwy command on the same record. Run by hand, not in CI:

    PYTHONPATH=build/release/python /usr/bin/python3 python/bench/bench_rainflow.py \\
        build/release/bin/torvwy [FOLDER] [SAMPLES]

Prints the times and the peak memory of the array pass. The machine may be shared: run it a few
times and take the best.
"""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import torvwy


def best_of(runs, work):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    cli = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="torvwy-bench-")
    samples = int(sys.argv[3]) if len(sys.argv) > 3 else 100_000_000
    rng = np.random.default_rng(1)
    # A narrow-band random load: smoothed noise, in int16 counts.
    noise = rng.normal(0.0, 1.0, samples // 16 + 16).astype(np.float32)
    wave = np.repeat(np.cumsum(noise - noise.mean()), 16)[:samples]
    wave = np.round(wave / np.abs(wave).max() * 30000).astype(np.int16)
    if not os.path.exists(os.path.join(folder, "bench1#1.sts")):
        torvwy.write_node(folder, "bench", "1", "1", wave, 1000.0, format=951, c1=3.2768)
    node = torvwy.Node(folder, "bench", "1", "1")
    command = [cli, "rainflow", "--data", folder, "--test", "bench", "--code", "1", "--node", "1",
               "--amplitude", "full", "--json"]
    env = dict(os.environ, TORVWY_HOME=folder)
    cli_time = best_of(3, lambda: subprocess.run(command, check=True, env=env,
                                                 stdout=subprocess.DEVNULL))
    node_time = best_of(3, lambda: torvwy.rainflow(node, amplitude="full"))
    print(f"{samples} int16 samples, rainflow, amplitude full")
    print(f"  torvwy rainflow (command)   {cli_time:7.2f} s")
    print(f"  torvwy.rainflow(Node)       {node_time:7.2f} s   ({node_time / cli_time:.2f} x)")
    # The array pass in a fresh process that holds nothing but the array: its peak memory beyond
    # the array is what the pass adds.
    child = (
        "import resource, sys, time, numpy as np, torvwy\n"
        "wave = np.fromfile(sys.argv[1], dtype=np.int16)\n"
        "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
        "start = time.perf_counter()\n"
        "torvwy.rainflow(wave, frequency=1000.0, amplitude='full')\n"
        "elapsed = time.perf_counter() - start\n"
        "after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
        "print(f'{elapsed:.2f} {(after - before) / 1024:.1f} {wave.nbytes / 2**20:.0f}')\n"
    )
    out = subprocess.run([sys.executable, "-c", child, node.info["sts"]], check=True,
                         capture_output=True, text=True).stdout.split()
    print(f"  torvwy.rainflow(array)      {float(out[0]):7.2f} s   peak memory +{out[1]} MB over"
          f" the {out[2]} MB array")

if __name__ == "__main__":
    main()
