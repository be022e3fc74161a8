#!/usr/bin/python3
"""hydrochart.exe under Wine: a water-system page whose name Windows cannot hold as a plain file
(a character of < > : " / \\ | ? *, or a "?" that stands for a character code page 932 lacks)
fails with its error line and the run goes on; kanji whose second Shift_JIS byte is that of a
backslash or "|" are names like any other, and so is a folder path with a drive colon.

Usage: run_page_names.py HYDROCHART_EXE WINE_RUNNER
"""

import os
import shutil
import subprocess
import sys
import tempfile

from w05e2e.w05data import code_list_text, w05_text

# (code, label, whether the page is written); 鷗 is not in code page 932, ソ and 表 end in the
# byte 0x5C and ポ in 0x7C there.
PAGES = [(820001, "a:b", False), (820002, "x<y", False), (820003, "p|q", False),
         (820004, "s*t", False), (820005, "u?v", False), (820006, "森鷗外", False),
         (820007, "c\\d", False), (820008, "ソ表ポ", True), (820009, "普通", True)]


def main():
    exe, runner = (os.path.abspath(a) for a in sys.argv[1:3])
    work = tempfile.mkdtemp(prefix="w05names_")
    try:
        with open(os.path.join(work, "W05-82_01-g.xml"), "wb") as f:
            f.write(w05_text([(code, 2, 3, "川") for code, _, _ in PAGES]))
        with open(os.path.join(work, "WaterSystemCodeCd.xml"), "wb") as f:
            f.write(code_list_text([(code, label) for code, label, _ in PAGES]))
        # The folder part holds a drive colon and backslashes: only the page's own name counts.
        data = "Z:" + os.path.join(work, "W05-82_01-g.xml").replace("/", "\\")
        run = subprocess.run([runner, exe, data, "*"], cwd=work, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=120)
        out = run.stdout.decode("cp932", "replace").replace("\r\n", "\n")
        items = "".join(f"{code:06d}(2) " if written else
                        f"** Error: html file could not created. {code:06d}\n"
                        for code, _, written in PAGES)
        folder = os.path.join(work, "W05-82_01-g_html")
        expected = sorted(f"{code:06d}_{label}.htm" for code, label, written in PAGES if written)
        failures = []
        if run.returncode != 0:
            failures.append(f"status {run.returncode}")
        if items not in out:
            failures.append("page items:\n" + out + "\nexpected:\n" + items)
        found = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
        if found != expected:
            failures.append(f"pages {found!r}, expected {expected!r}")
        print("\n".join(failures) if failures else "page names: ok")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
