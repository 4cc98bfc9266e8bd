"""Mutation testing of the program's sources: plants one fault at a time in a
scratch copy of the tree and asks whether the tests notice. A fault they miss
is a line nothing checks. `python3 scripts/mutants.py --help` runs it.

  operators    the faults, and where each is made (documented there)
  scanning     the sources read as the operators need them
  bookkeeping  the equivalent list and the results kept between runs
  judging      scratch copies, their builds and tests, and the verdicts
  cli          the command line, the choice of mutants and the report
"""
import os

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


class RunError(Exception):
    """The run cannot go on: exit status 2."""
