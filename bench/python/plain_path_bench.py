"""The plain-box path against the engines on prepared Element objects.

    tools/devenv build/venv/bin/python bench/python/plain_path_bench.py [--pages N] [--earlier PYTHON]

Side by side in one run, min and median over several runs:
- order_boxes with boxes as lists of floats and as a float64 numpy array,
  against compute_order / compute_order_ostrel on prepared Elements, on
  realistic pages of 10 to 300 boxes;
- order_pages on one thread against the engine alone, and on two threads
  against one;
- `tarvello order` on a large JSON Lines file against the same process
  only parsing its lines with json and writing the output lines.
"""

from __future__ import annotations

import argparse
import json
import logging
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

from conversion_bench import per_call_microseconds
from tarvello import Element, compute_order, compute_order_ostrel, order_boxes, order_pages, reset_log_cache
from tarvello.labels import label_from_name

ENGINES = {"paper": compute_order, "ostrel": compute_order_ostrel}


def realistic_page(count: int, seed: int) -> dict:
    """A page in the command line's format: a title, a figure, columns of text lines."""
    rng = random.Random(seed)
    columns = rng.choice((1, 2, 3))
    width = 492 / columns
    elements = [{"id": 0, "bbox": [60.0, 40.0, 552.0, 70.0], "label": "title"}]
    if count > 5:
        elements.append({"id": 1, "bbox": [60.0, 80.0, 552.0, 200.0 + rng.random() * 40], "label": "figure"})
    per_column = max(1, (count - len(elements)) // columns)
    for i in range(len(elements), count):
        column = min((i - 2) // per_column, columns - 1)
        row = (i - 2) % per_column
        left = 60 + column * width
        top = 260 + row * (500 / per_column)
        height = max(1.0, 500 / per_column - 2)
        label = "section_header" if rng.random() < 0.05 else "text"
        elements.append({"id": i, "bbox": [left, top, left + width - 12 - rng.random() * 20, top + height], "label": label})
    rng.shuffle(elements)
    return {"page_bounds": [0, 0, 612, 792], "elements": elements}


def prepared(page: dict) -> list[Element]:
    return [Element(e["id"], *e["bbox"], label_from_name(e["label"])) for e in page["elements"]]


def row(name: str, figures: tuple[float, float], base: tuple[float, float] | None = None) -> None:
    text = f"  {name:<44} min {figures[0]:9.2f} us  median {figures[1]:9.2f} us"
    if base is not None:
        text += f"  ratio {figures[0] / base[0]:5.2f} (min) {figures[1] / base[1]:5.2f} (median)"
    print(text)


def single_pages(repeats: int) -> None:
    numpy = None
    try:
        import numpy
    except ImportError:
        pass
    for engine in ENGINES:
        print(f"order_boxes, {engine} engine:")
        for count in (10, 24, 100, 300):
            page = realistic_page(count, seed=count)
            elements = prepared(page)
            boxes = [list(map(float, e["bbox"])) for e in page["elements"]]
            labels = [e["label"] for e in page["elements"]]
            bounds = (0.0, 0.0, 612.0, 792.0)
            function = ENGINES[engine]
            number = max(20, 20000 // count)
            base = per_call_microseconds(lambda: function(elements, bounds), repeats, number)
            row(f"{count} boxes: Elements, compute_order", base)
            row(f"{count} boxes: lists of floats", per_call_microseconds(lambda: order_boxes(boxes, labels, bounds, engine), repeats, number), base)
            if numpy is not None:
                array = numpy.array(boxes, dtype=numpy.float64)
                row(f"{count} boxes: float64 array", per_call_microseconds(lambda: order_boxes(array, labels, bounds, engine), repeats, number), base)


def many_pages(count: int, repeats: int) -> None:
    pages = [realistic_page(random.Random(i).randint(10, 60), seed=i) for i in range(count)]
    for engine, function in ENGINES.items():
        print(f"order_pages, {count} pages, {engine} engine (per page):")
        elements = [prepared(p) for p in pages]
        bounds = (0.0, 0.0, 612.0, 792.0)

        def alone():
            for e in elements:
                function(e, bounds)

        base = tuple(x / count for x in per_call_microseconds(alone, repeats, 1))
        row("the engine alone, on prepared Elements", base)
        one = tuple(x / count for x in per_call_microseconds(lambda: order_pages(pages, engine=engine, threads=1), repeats, 1))
        row("order_pages, 1 thread", one, base)
        two = tuple(x / count for x in per_call_microseconds(lambda: order_pages(pages, engine=engine, threads=2), repeats, 1))
        row("order_pages, 2 threads", two, base)
        print(f"  throughput of 2 threads over 1: {one[0] / two[0]:.2f} (min) {one[1] / two[1]:.2f} (median)")


def command_line(count: int, repeats: int, earlier: str | None) -> None:
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "pages.jsonl")
        with open(path, "w") as stream:
            for i in range(count):
                stream.write(json.dumps({"page_id": i, **realistic_page(random.Random(i).randint(10, 60), seed=i)}) + "\n")
        baseline = (
            "import json, sys\n"
            "out = open('/dev/null', 'w')\n"
            "for line in open(sys.argv[1], 'rb'):\n"
            "    page = json.loads(line)\n"
            "    out.write(json.dumps({'page': page['page_id'], 'order': [e['id'] for e in page['elements']]}) + '\\n')\n"
        )
        commands = {
            "only parse and write the lines": [sys.executable, "-c", baseline, path],
            "tarvello order --jobs 1": [sys.executable, "-m", "tarvello", "order", "--jobs", "1", "-o", "/dev/null", path],
            "tarvello order --jobs 2": [sys.executable, "-m", "tarvello", "order", "--jobs", "2", "-o", "/dev/null", path],
        }
        if earlier:
            commands["an earlier tarvello order"] = [earlier, "-m", "tarvello", "order", "-o", "/dev/null", path]
        print(f"command line, {count} pages of JSON Lines (seconds per file):")
        runs: dict[str, list[float]] = {name: [] for name in commands}
        for _ in range(repeats):
            for name, command in commands.items():
                start = time.perf_counter()
                subprocess.run(command, check=True)
                runs[name].append(time.perf_counter() - start)
        base = runs["only parse and write the lines"]
        for name, times in runs.items():
            ratio = f"  ratio {min(times) / min(base):5.2f} (min) {statistics.median(times) / statistics.median(base):5.2f} (median)"
            pages_per_second = count / min(times)
            print(f"  {name:<34} min {min(times):7.3f} s  median {statistics.median(times):7.3f} s"
                  f"  {pages_per_second:8.0f} pages/s{ratio}")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--pages", type=int, default=20000, help="pages for the command line run")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--earlier", metavar="PYTHON",
                        help="an interpreter with an earlier tarvello installed, timed on the same file")
    args = parser.parse_args()
    logging.getLogger("tarvello").setLevel(logging.WARNING)
    reset_log_cache()
    single_pages(args.repeats)
    many_pages(2000, args.repeats)
    command_line(args.pages, args.repeats, args.earlier)


if __name__ == "__main__":
    main()
