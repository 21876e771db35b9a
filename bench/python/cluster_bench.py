"""Pages per second of the Dask recipe on a two-worker local cluster, against
`tarvello order --jobs 2` on the same machine and file.

    tools/devenv build/venv/bin/python bench/python/cluster_bench.py [--pages N]

Side by side in one run, min and median of several runs. To show where the
cluster's extra time goes, the same Dask pipeline also runs with a function
that only passes the lines through: reading, scheduling, moving the lines
between processes and writing, without ordering.
"""

from __future__ import annotations

import argparse
import json
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import dask.bag as db
from dask.distributed import Client, LocalCluster

from plain_path_bench import realistic_page
from tarvello import order_lines


def passed_through(lines):
    return [line.rstrip("\n") for line in lines]


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--pages", type=int, default=50000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        source = Path(folder) / "pages.jsonl"
        with open(source, "w") as stream:
            for i in range(args.pages):
                page = realistic_page(random.Random(i).randint(10, 60), seed=i)
                stream.write(json.dumps({"page_id": i, **page}) + "\n")
        size = source.stat().st_size
        runs: dict[str, list[float]] = {"tarvello order --jobs 2": [], "dask, order_lines": [],
                                        "dask, lines passed through": []}
        with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, Client(cluster):
            for _ in range(args.repeats):
                start = time.perf_counter()
                subprocess.run([sys.executable, "-m", "tarvello", "order", "--jobs", "2", "-o", "/dev/null",
                                str(source)], check=True)
                runs["tarvello order --jobs 2"].append(time.perf_counter() - start)
                for name, function in (("dask, order_lines", order_lines), ("dask, lines passed through", passed_through)):
                    target = Path(folder) / "out"
                    shutil.rmtree(target, ignore_errors=True)
                    start = time.perf_counter()
                    # 32 partitions: a few per worker, as on a cluster.
                    lines = db.read_text(str(source), blocksize=size // 32 + 1)
                    lines.map_partitions(function).to_textfiles(f"{target}/*.jsonl", last_endline=True)
                    runs[name].append(time.perf_counter() - start)
    print(f"{args.pages} pages of JSON Lines, {size / 2**20:.1f} MiB, two workers / two threads:")
    base = runs["tarvello order --jobs 2"]
    for name, times in runs.items():
        print(f"  {name:<28} min {min(times):7.3f} s  median {statistics.median(times):7.3f} s  "
              f"{args.pages / min(times):8.0f} pages/s  time ratio to the command line "
              f"{min(times) / min(base):5.2f} (min) {statistics.median(times) / statistics.median(base):5.2f} (median)")


if __name__ == "__main__":
    main()
