"""One call with a million elements per engine: prints the time of the call
and the peak resident memory of the process that made it.

    tools/devenv tools/run-scale [N]

Each engine runs in a fresh process, so that its peak is its own. The page
is a realistic one scaled up: a tall page of two-column text with a title
and a figure every fifty lines.
"""

import resource
import subprocess
import sys
import time

CHILD = """
import resource, sys, time
from tarvello import Element, SemanticLabel, {function} as order

n = int(sys.argv[1])
elements = []
for i in range(n):
    line, column = divmod(i, 2)
    y = line * 14.0
    if line % 50 == 0 and column == 0:
        elements.append(Element(i, 40, y, 572, y + 10, SemanticLabel.HorizontalTitle))
    elif line % 50 == 25 and column == 0:
        elements.append(Element(i, 40, y, 572, y + 12, SemanticLabel.Vision))
    else:
        x = 40 + column * 276
        elements.append(Element(i, x, y, x + 256, y + 10, SemanticLabel.Regular))
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
result = order(elements, (0, 0, 612, n * 7.0 + 20))
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
assert sorted(result) == list(range(n)), "not a permutation of the ids"
print(f"{{seconds:.2f}} {{before / 1024:.0f}} {{peak / 1024:.0f}}")
"""


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    print(f"{n} elements, one call per engine")
    for function in ("compute_order", "compute_order_ostrel"):
        done = subprocess.run(
            [sys.executable, "-c", CHILD.format(function=function), str(n)], capture_output=True, text=True
        )
        if done.returncode != 0:
            print(f"{function}: failed\n{done.stderr}")
            sys.exit(1)
        seconds, before, peak = done.stdout.split()
        print(f"{function:22} {seconds:>8} s   peak RSS {peak} MiB (inputs alone {before} MiB)")


if __name__ == "__main__":
    main()
