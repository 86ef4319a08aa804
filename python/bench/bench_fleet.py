"""A fleet batch of 200 waveforms on a LocalCluster with 2 workers against 1 worker. Run by
hand, not in CI:

    PYTHONPATH=build/release/python /usr/bin/python3 python/bench/bench_fleet.py \\
        build/release/bin/torvwy [FOLDER] [BLOCKS]

The machine may be shared with other builds: the numbers are noisy.
"""

import os
import subprocess
import sys
import tempfile
import time

from dask.distributed import Client, LocalCluster

from torvwy import fleet


def timed(workers, folder):
    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                           host="127.0.0.1", dashboard_address=None)
    with Client(cluster) as client:
        fleet.run(client, folder, "fleet", "1-10", "1-2", "rainflow")  # warm the workers
        start = time.perf_counter()
        frame = fleet.run(client, folder, "fleet", "1-10", "1-20", "rainflow",
                          fatigue=dict(method="actual"))
        elapsed = time.perf_counter() - start
    cluster.close()
    assert len(frame) == 200 and frame["error"].isna().all()
    return elapsed


def main():
    cli = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="torvwy-fleet-")
    blocks = sys.argv[3] if len(sys.argv) > 3 else "6000"
    env = dict(os.environ, TORVWY_HOME=folder)
    for code in range(1, 11):
        if not os.path.exists(os.path.join(folder, f"fleet{code}#20.sts")):
            subprocess.run([cli, "gen", "--data", folder, "--test", "fleet", "--code", str(code),
                            "--nodes", "20", "--blocks", blocks], check=True, env=env,
                           stdout=subprocess.DEVNULL)
    one = timed(1, folder)
    two = timed(2, folder)
    print(f"200 waveforms of {blocks} blocks, rainflow with the life estimate")
    print(f"  1 worker   {one:7.2f} s")
    print(f"  2 workers  {two:7.2f} s   ({one / two:.2f} x)")


if __name__ == "__main__":
    main()
