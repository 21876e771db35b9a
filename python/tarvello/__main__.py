"""``python -m tarvello``: the same command line as the ``tarvello`` script."""

import sys

from tarvello.cli import main

if __name__ == "__main__":
    sys.exit(main())
