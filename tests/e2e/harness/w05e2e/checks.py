"""Check counting and test groups shared by the end-to-end scripts of fetchunpack."""

import os
import shutil
import sys
import tempfile


class Checks:
    def __init__(self, verbose):
        self.passed = 0
        self.failed = 0
        self.test = ""
        self.verbose = verbose

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
            if self.verbose:
                print(f"ok   {self.test}: {what}")
        else:
            self.failed += 1
            print(f"FAIL {self.test}: {what}" + (f"\n    {detail}" if detail else ""))
        sys.stdout.flush()

    def equal(self, what, actual, expected):
        self.check(what, actual == expected, f"expected {expected!r}\n    actual   {actual!r}")


class Suite:
    """Tests registered by group; each runs in a fresh temporary folder."""

    def __init__(self, prefix, verbose=False):
        self.prefix = prefix
        self.checks = Checks(verbose)
        self.groups = {}

    def group(self, name):
        def register(function):
            self.groups.setdefault(name, []).append(function)
            return function
        return register

    def main(self, usage, take_binary):
        """Runs the groups named on the command line (all when none is), after handing the
        program path to `take_binary`; prints "N passed, M failed" and returns the exit status."""
        if len(sys.argv) < 2:
            print(usage)
            return 2
        take_binary(os.path.abspath(sys.argv[1]))
        for name in sys.argv[2:] or list(self.groups):
            for test in self.groups[name]:
                self.checks.test = f"{name}/{test.__name__}"
                tmp = tempfile.mkdtemp(prefix=self.prefix)
                try:
                    test(tmp)
                except Exception as error:  # a broken test counts as a failure, and the run goes on
                    self.checks.check("ran to the end", False, repr(error))
                finally:
                    shutil.rmtree(tmp, ignore_errors=True)
        print(f"{self.checks.passed} passed, {self.checks.failed} failed")
        return 1 if self.checks.failed else 0
