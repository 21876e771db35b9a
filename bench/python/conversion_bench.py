"""Converting the arguments must stay cheap next to the engine.

Times compute_order on a realistic 200-element page against the same call with
invalid page bounds (which converts everything and returns at validation),
both with the tarvello logger at ERROR and the level cache reset, so that no
record reaches Python. Prints min and median per call and their ratio.
"""

import logging
import statistics
import time

from tarvello import Element, SemanticLabel, compute_order, reset_log_cache


def realistic_page(count=200):
    """A two-column article: a title, a spanning figure, captions and lines."""
    elements = [Element(0, 60, 40, 552, 70, SemanticLabel.HorizontalTitle)]
    elements.append(Element(1, 60, 80, 552, 260, SemanticLabel.Vision))
    elements.append(Element(2, 60, 265, 552, 280, SemanticLabel.Regular))
    next_id = 3
    for column, left in enumerate((60, 316)):
        y = 300.0
        while next_id < count and y < 760:
            if next_id % 40 == 0:
                elements.append(Element(next_id, left, y, left + 236, y + 14, SemanticLabel.HorizontalTitle))
            else:
                elements.append(Element(next_id, left, y, left + 236 - (next_id % 7) * 9, y + 10, SemanticLabel.Regular))
            next_id += 1
            y += 13.5 if column == 0 else 12.5
    while next_id < count:  # a footer band of small notes
        x = 60 + (next_id % 10) * 49
        elements.append(Element(next_id, x, 770, x + 45, 778, SemanticLabel.Regular))
        next_id += 1
    return elements


def per_call_microseconds(call, repeats=7, number=2000):
    runs = []
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(number):
            call()
        runs.append((time.perf_counter() - start) / number * 1e6)
    return min(runs), statistics.median(runs)


def main():
    logging.getLogger("tarvello").setLevel(logging.ERROR)
    reset_log_cache()
    page = realistic_page()
    valid = (0.0, 0.0, 612.0, 792.0)
    invalid = (0.0, 0.0, 0.0, 792.0)
    assert len(compute_order(page, valid)) == len(page)
    assert compute_order(page, invalid) == []
    full_min, full_median = per_call_microseconds(lambda: compute_order(page, valid))
    conv_min, conv_median = per_call_microseconds(lambda: compute_order(page, invalid))
    print(f"compute_order, 200 elements, valid page:   min {full_min:8.2f} us  median {full_median:8.2f} us")
    print(f"compute_order, 200 elements, invalid page: min {conv_min:8.2f} us  median {conv_median:8.2f} us")
    print(f"ratio valid / invalid (median): {full_median / conv_median:.2f}")


if __name__ == "__main__":
    main()
