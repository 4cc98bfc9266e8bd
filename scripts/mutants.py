#!/usr/bin/env python3
"""Mutation testing of the program's sources: plants one fault at a time in a
scratch copy of the tree and asks whether the tests notice. The runner is the
package in scripts/mutation/ (its parts and their documentation are listed
there); this is its command."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from mutation.cli import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
