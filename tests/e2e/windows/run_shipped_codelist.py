#!/usr/bin/python3
"""The code list that the Windows zip ships (tools/codelist_xml.sh over data/) is read beside
hydrochart.exe and names the water-system pages.

Usage: run_shipped_codelist.py HYDROCHART_EXE WINE_RUNNER SOURCE_DIR
"""

import os
import shutil
import subprocess
import sys
import tempfile


def main():
    exe, runner, source = (os.path.abspath(a) for a in sys.argv[1:4])
    program = tempfile.mkdtemp(prefix="w05zip_")
    work = tempfile.mkdtemp(prefix="w05zipwork_")
    try:
        shutil.copy(exe, program)
        with open(os.path.join(program, "WaterSystemCodeCd.xml"), "wb") as f:
            subprocess.run([os.path.join(source, "tools", "codelist_xml.sh"),
                            os.path.join(source, "data", "WaterSystemCodeCd.csv")], stdout=f, check=True)
        # The sample's water system 130010 becomes 830305, which the code list names 多摩川.
        with open(os.path.join(source, "sample", "W05-09_13-g.xml"), encoding="utf-8") as f:
            data = f.read().replace("130010", "830305")
        with open(os.path.join(work, "W05-09_13-g.xml"), "w", encoding="utf-8") as f:
            f.write(data)
        run = subprocess.run([runner, os.path.join(program, "hydrochart.exe"), "W05-09_13-g.xml", "*"],
                             cwd=work, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        out = run.stdout.decode("cp932", "replace")
        page = os.path.join(work, "W05-09_13-g_html", "830305_多摩川.htm")
        failures = []
        if run.returncode != 0:
            failures.append(f"status {run.returncode}")
        if "CodePage=65001 nws=5475" not in out:
            failures.append("code list not read beside the program:\n" + out)
        if not os.path.isfile(page):
            failures.append("no page 830305_多摩川.htm: " + str(os.listdir(os.path.dirname(page))))
        elif "<title>830305 多摩川</title>" not in open(page, encoding="utf-8").read():
            failures.append("page title without the water system's name")
        print("\n".join(failures) if failures else "shipped code list: ok")
        return 1 if failures else 0
    finally:
        shutil.rmtree(program, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
