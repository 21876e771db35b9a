"""The README's Dask recipe on two worker processes writes, byte for byte, what `tarvello order --keep-going`
writes, a bad page included; the workers' log records reach their own logging."""

import json
import logging
import os
import subprocess
import sys

import pytest

pytest.importorskip("dask.bag")
distributed = pytest.importorskip("distributed")
if hasattr(sys, "gettotalrefcount") or os.environ.get("TARVELLO_SANITIZED") == "1":
    pytest.skip("worker processes, which the leak hunt and the sanitizers do not see", allow_module_level=True)

import dask.bag as db  # noqa: E402

from tarvello import order_lines  # noqa: E402

PAGES = 3000


def corpus(path):
    with open(path, "w") as stream:
        for i in range(PAGES):
            columns = [{"id": 10 * i + k, "bbox": [60 * (k % 2), 20 * (k // 2), 60 * (k % 2) + 40, 20 * (k // 2) + 10],
                        "label": "title" if k == 0 else "text"} for k in range(2 + i % 9)]
            if i % 500 == 7:
                columns = columns[:1]  # a lone title, which the paper engine warns of
            page = {"page_id": f"p{i}", "page_bounds": [0, 0, 100, 200], "elements": columns}
            if i == 1234:
                page["elements"][0]["bbox"] = [0, 0, 1]  # the bad page
            stream.write(json.dumps(page) + "\n")


class Collect(logging.Handler):
    seen: list[str] = []

    def emit(self, record):
        Collect.seen.append(f"{record.levelname} {record.name} page={record.page}")


def listen():
    logger = logging.getLogger("tarvello")
    logger.setLevel(logging.WARNING)
    logger.addHandler(Collect())
    import tarvello
    tarvello.reset_log_cache()


def test_the_dask_recipe_writes_what_the_command_line_writes(tmp_path):
    path = tmp_path / "pages.jsonl"
    corpus(path)
    with (distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster,
          distributed.Client(cluster) as client):
        client.run(listen)
        lines = db.read_text(str(path), blocksize=64 * 1024)
        assert lines.npartitions > 4
        lines.map_partitions(order_lines, engine="paper").to_textfiles(str(tmp_path / "out" / "*.jsonl"), last_endline=True)
        records = [line for seen in client.run(lambda: Collect.seen).values() for line in seen]
    written = b"".join(p.read_bytes() for p in sorted((tmp_path / "out").iterdir(), key=lambda p: int(p.stem)))
    cli = subprocess.run([sys.executable, "-m", "tarvello", "order", "--engine", "paper", "--keep-going", str(path)],
                         capture_output=True)
    assert cli.returncode == 1 and cli.stdout.count(b"\n") == PAGES
    assert written == cli.stdout
    assert b'{"page": "p1234", "error": "elements[0].bbox: expected 4 numbers (x1, y1, x2, y2), got 3"}' in written
    # A lone title finds no place to go: a warning in a worker, naming its page by its index in the partition.
    assert len(records) == PAGES // 500 and all(r.startswith("WARNING tarvello.paper page=") for r in records)
