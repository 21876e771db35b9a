"""The ``tarvello`` command: ``order`` prints reading orders, ``draw`` writes pictures.

Bad input ends the run with one line on standard error naming the file, the
line, the page and the field, and exit status 1; the pages before it have
been written. Usage errors exit with status 2.
"""

from __future__ import annotations

import argparse
import json
import logging
import math
import os
import re
import sys
import time
from collections.abc import Iterator, Mapping, Sequence
from pathlib import Path
from typing import IO, TextIO

from tarvello import __version__
from tarvello._tarvello_core import XYCutConfig, reset_log_cache
from tarvello.boxes import DEFAULT_ENGINE, DIRECTIONS, ENGINES
from tarvello.coco import CocoImage, coco_images, order_coco
from tarvello.lines import error_line, general_order, ordered
from tarvello.pages import Page, PageError, PageReader, page_elements
from tarvello.pagexml import read_page_xml, write_atomically
from tarvello.svg import Panel, page_svg

__all__ = ["main"]

LOG_LEVELS = ("debug", "info", "warning", "error", "critical")
# Pages handed to the engines at once: enough to keep every thread busy,
# few enough that memory stays flat however long the input and its pages.
CHUNK_PAGES = 256
CHUNK_BYTES = 1 << 20


class Progress:
    """A one-line progress bar on a terminal; silent elsewhere and for a single page."""

    def __init__(self, stream: TextIO, source: str, size: int | None) -> None:
        self.stream = stream
        self.source = source
        self.size = size
        self.enabled = stream.isatty()
        self.shown = False
        self.last = 0.0

    def update(self, pages: int, position: int) -> None:
        now = time.monotonic()
        if not self.enabled or pages < 2 or now - self.last < 0.1:
            return
        self.last = now
        text = f"{self.source}: {pages} pages"
        if self.size:
            done = min(position / self.size, 1.0)
            bar = "#" * round(done * 30)
            text = f"{self.source} [{bar:-<30}] {done:4.0%}  {pages} pages"
        self.stream.write("\r" + text + "\x1b[K")
        self.stream.flush()
        self.shown = True

    def clear(self) -> None:
        if self.shown:
            self.stream.write("\r\x1b[K")
            self.stream.flush()
            self.shown = False


class _Where(logging.Filter):
    """Adds the page being ordered to every record, and clears the progress bar before it."""

    def __init__(self) -> None:
        super().__init__()
        self.source = "-"
        self.pages: Mapping[int, Page | CocoImage] = {}  # the pages being ordered, by index
        self.progress: Progress | None = None

    def filter(self, record: logging.LogRecord) -> bool:
        page = self.pages.get(getattr(record, "page", None))  # type: ignore[arg-type]
        record.where = f"{self.source} page {page.key if page is not None else '-'}"
        if self.progress is not None:
            self.progress.clear()
        return True


_WHERE = _Where()
_HANDLER = logging.StreamHandler()
_HANDLER.setFormatter(logging.Formatter("%(levelname)s %(name)s: %(message)s [%(where)s]"))
_HANDLER.addFilter(_WHERE)


def _configure_logging(level: str) -> None:
    _HANDLER.setStream(sys.stderr)
    logger = logging.getLogger("tarvello")
    if _HANDLER not in logger.handlers:
        logger.addHandler(_HANDLER)
    logger.setLevel(level.upper())
    # The module caches each logger's level on first use; a level set after
    # that only counts once the cache is emptied.
    reset_log_cache()


def _positive(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not (math.isfinite(value) and value > 0):
        raise argparse.ArgumentTypeError(f"must be a positive number: {text!r}")
    return value


def _jobs(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {text!r}")
    return value


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="tarvello",
        description="Reading order of the layout elements of document pages.",
        epilog="Input: one page per JSON document, a JSON list of pages, or JSON Lines "
        'with one page per line: {"page_bounds": [x_min, y_min, x_max, y_max], '
        '"elements": [{"id": 7, "bbox": [x1, y1, x2, y2], "label": "text"}, ...]}.',
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    order = commands.add_parser(
        "order", help="print each page's reading order as JSON Lines",
        description='Print {"page": <index or page_id>, "order": [ids]} for each page.',
    )
    draw = commands.add_parser(
        "draw", help="write one SVG picture of the reading order per page",
        description="Write one SVG per page into DIR and print the paths written.",
    )
    page_xml = commands.add_parser(
        "page-xml", help="write the reading order into PAGE XML files",
        description="Order the regions of each PAGE XML file and write its ReadingOrder, "
        "into DIR or in place; the rest of each file is kept as it was.",
    )
    # Pictures show both engines side by side unless told otherwise; a PAGE
    # XML page says how it is read unless told otherwise.
    for sub, engines, default, direction, files in (
        (order, list(ENGINES), DEFAULT_ENGINE, "ltr", "JSON or JSON Lines file, - for standard input"),
        (draw, [*ENGINES, "both"], "both", "ltr", "JSON or JSON Lines file, - for standard input"),
        (page_xml, list(ENGINES), DEFAULT_ENGINE, None, "PAGE XML file"),
    ):
        sub.add_argument("files", nargs="+", metavar="FILE", help=files)
        sub.add_argument("--engine", choices=engines, default=default,
                         help=f"ordering engine (default: {default})")
        sub.add_argument("--direction", choices=DIRECTIONS, default=direction,
                         help="how the pages are read: lines left to right or right to left, or "
                         "vertical columns right to left or left to right (default: "
                         f"{direction or 'the page readingDirection and textLineOrder'})")
        tuning = sub.add_argument_group("paper engine tuning (the ostrel engine ignores these)")
        tuning.add_argument("--min-cut-threshold", type=_positive, metavar="UNITS",
                            help="narrowest empty band that separates columns or rows (default 15)")
        tuning.add_argument("--histogram-resolution-scale", type=_positive, metavar="BINS",
                            help="histogram bins per page unit (default 0.5)")
        tuning.add_argument("--same-row-tolerance", type=_positive, metavar="UNITS",
                            help="height of the bands that make a row (default 10)")
        sub.add_argument("--log-level", type=str.lower, choices=LOG_LEVELS, default="warning",
                         help="print the engines' log records from this level up to "
                         "standard error (default: warning)")
    order.add_argument("--output", "-o", metavar="FILE",
                       help="write to FILE instead of standard output")
    order.add_argument("--format", choices=("json", "coco"), default="json",
                       help="json: pages in the format below; coco: a COCO detection file, one page "
                       "per image, its annotation ids in order (default: json)")
    order.add_argument("--keep-going", action="store_true",
                       help='write {"page": ..., "error": "..."} for a bad page and go on; '
                       "the exit status is 1 if any page was bad")
    order.add_argument("--jobs", "-j", type=_jobs, default=os.process_cpu_count() or 1, metavar="N",
                       help="order pages on N threads (default: the CPUs this process may use)")
    draw.add_argument("--out", required=True, metavar="DIR",
                      help="folder for the pictures (made if missing)")
    where = page_xml.add_mutually_exclusive_group(required=True)
    where.add_argument("--out", metavar="DIR", help="write each file into DIR under its own name (made if missing)")
    where.add_argument("--in-place", action="store_true", help="replace each file")
    return parser


def _config(args: argparse.Namespace) -> XYCutConfig | None:
    given = {
        name: getattr(args, name)
        for name in ("min_cut_threshold", "histogram_resolution_scale", "same_row_tolerance")
        if getattr(args, name) is not None
    }
    return XYCutConfig(**given) if given else None


def _chunks(files: Sequence[str]) -> Iterator[tuple[str, list[Page]]]:
    """The pages of every file in chunks, in order, with the progress bar kept up to date.

    A chunk ends when it is full or when the next page would have to be
    waited for, so that a page that came in through a pipe goes out at once.
    A bad JSON document ends the run after the chunk before it.
    """
    for name in files:
        source = "<stdin>" if name == "-" else name
        with _open(name) as stream:
            try:
                size: int | None = os.fstat(stream.fileno()).st_size or None
            except (OSError, ValueError):
                size = None
            progress = Progress(sys.stderr, source, size)
            _WHERE.source = source
            _WHERE.progress = progress
            reader = PageReader(stream, source)
            chunk: list[Page] = []
            size = 0
            try:
                try:
                    for count, page in enumerate(reader, 1):
                        progress.update(count, reader.position)
                        chunk.append(page)
                        size += len(page.text or b"")
                        if len(chunk) >= CHUNK_PAGES or size >= CHUNK_BYTES or not reader.ready():
                            done, chunk, size = chunk, [], 0
                            yield source, done
                except PageError:
                    if chunk:
                        yield source, chunk
                    raise
                if chunk:
                    yield source, chunk
            finally:
                progress.clear()
                _WHERE.progress = None


def _open(name: str) -> IO[bytes]:
    if name == "-":
        return os.fdopen(os.dup(sys.stdin.fileno()), "rb")
    try:
        return open(name, "rb")
    except OSError as error:
        raise _file_problem(name, error) from None


def _file_problem(name: str, error: OSError) -> PageError:
    # "No such file or directory" reads better than the errno tuple.
    return PageError(name, None, None, error.strerror or str(error))


def _order(args: argparse.Namespace, config: XYCutConfig | None) -> bool:
    """Writes every page's line; whether every page was good (with --keep-going)."""
    out = _output(args.output)
    good = True
    try:
        if args.format == "coco":
            return _order_coco(args, config, out)
        for source, chunk in _chunks(args.files):
            # With several files, "file" tells apart pages of the same index.
            head = '{"file": ' + json.dumps(source) + ", " if len(args.files) > 1 else "{"
            _WHERE.pages = {page.index: page for page in chunk}
            for page, result in ordered(chunk, args.engine, config, args.jobs, args.direction):
                if isinstance(result, str):
                    out.write(head + result + "\n")
                    continue
                if not args.keep_going:
                    raise result
                out.write(error_line(page, result, head) + "\n")
                _report(result)
                good = False
            _WHERE.pages = {}
            # A chunk's lines go out as soon as it is ordered, so that a
            # pipeline downstream sees pages while a long input streams in.
            out.flush()
    finally:
        _WHERE.pages = {}
        out.flush()
        if out is not sys.stdout:
            out.close()
    return good


def _order_coco(args: argparse.Namespace, config: XYCutConfig | None, out: TextIO) -> bool:
    good = True
    for name in args.files:
        source = "<stdin>" if name == "-" else name
        head = '{"file": ' + json.dumps(source) + ", " if len(args.files) > 1 else "{"
        with _open(name) as stream:
            value = PageReader(stream, source).document()
        images = coco_images(value, source)
        _WHERE.source, _WHERE.pages = source, dict(enumerate(images))
        for image, result in order_coco(images, source, args.engine, config, args.jobs, args.direction):
            if isinstance(result, list):
                out.write(head + json.dumps({"page": image.key, "order": result})[1:] + "\n")
                continue
            if not args.keep_going:
                raise result
            out.write(head + json.dumps({"page": image.key, "error": result.problem})[1:] + "\n")
            _report(result)
            good = False
        out.flush()
    return good


def _report(error: PageError) -> None:
    sys.stdout.flush()
    print(f"tarvello: {error}", file=sys.stderr)


def _output(name: str | None) -> TextIO:
    if name is None or name == "-":
        return sys.stdout
    try:
        return open(name, "w", encoding="utf-8")
    except OSError as error:
        raise _file_problem(name, error) from None


def _draw(args: argparse.Namespace, config: XYCutConfig | None) -> None:
    folder = Path(args.out)
    try:
        folder.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        raise _file_problem(args.out, error) from None
    engines = list(ENGINES) if args.engine == "both" else [args.engine]
    used: set[str] = set()
    for source, chunk in _chunks(args.files):
        for page in chunk:
            _WHERE.pages = {page.index: page}
            panels = [Panel(f"{engine} engine", general_order(page, engine, config, args.direction))
                      for engine in engines]
            _WHERE.pages = {}
            bounds, elements, names = page_elements(page.value)
            title = f"{source}, page {page.key}"
            path = folder / _picture_name(source, page, used)
            text = page_svg(title, bounds, elements, names, panels)
            try:
                path.write_text(text, encoding="utf-8")
            except OSError as error:
                raise _file_problem(str(path), error) from None
            print(path, flush=True)


def _page_xml(args: argparse.Namespace, config: XYCutConfig | None) -> bool:
    """Writes each file's order; a bad file is reported and the others go on."""
    folder = None if args.in_place else Path(args.out)
    if folder is not None:
        try:
            folder.mkdir(parents=True, exist_ok=True)
        except OSError as error:
            raise _file_problem(args.out, error) from None
    good = True
    for name in args.files:
        _WHERE.source, _WHERE.pages = name, {}
        try:
            page = read_page_xml(name)
            data = page.write_order(page.order(args.engine, config, args.direction))
            path = Path(name) if folder is None else folder / Path(name).name
            try:
                write_atomically(path, data)
            except OSError as error:
                raise _file_problem(str(path), error) from None
        except PageError as error:
            _report(error)
            good = False
            continue
        print(path, flush=True)
    return good


def _picture_name(source: str, page: Page, used: set[str]) -> str:
    stem = "stdin" if source == "<stdin>" else Path(source).stem
    base = str(page.page_id) if page.page_id is not None else f"{stem}-{page.index}"
    # A page_id may hold anything; keep file names portable and distinct.
    base = re.sub(r"[^A-Za-z0-9._-]+", "_", base).strip("._") or f"{stem}-{page.index}"
    name, n = base, 1
    while name in used:
        n += 1
        name = f"{base}-{n}"
    used.add(name)
    return name + ".svg"


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line; returns the exit status."""
    args = _parser().parse_args(argv)
    _configure_logging(args.log_level)
    config = _config(args)
    try:
        good = True
        if args.command == "order":
            good = _order(args, config)
        elif args.command == "page-xml":
            good = _page_xml(args, config)
        else:
            _draw(args, config)
    except PageError as error:
        _report(error)
        return 1
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (| head); say nothing, like other filters.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
    return 0 if good else 1


def run() -> None:
    """Entry point of the console script."""
    sys.exit(main())
