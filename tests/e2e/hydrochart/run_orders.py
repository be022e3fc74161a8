#!/usr/bin/env python3
"""Every water system ("*") of one generated data set, written in several element orders: large
enough to be read in parts, each order must print the same load report and write the same pages
byte for byte as the order gen_w05 writes by default.

Usage: run_orders.py HYDROCHART GEN_W05
"""
import filecmp
import os
import subprocess
import sys
import tempfile

# Orders in which every river node follows its Point, as the published layout requires.
ORDERS = ["points,curves,nodes,streams", "streams,curves,points,nodes",
          "points,nodes,streams,curves", "interleaved"]


def run(hydrochart, gen_w05, folder, order):
    name = "W05-" + order.replace(",", "-") + ".xml"
    path = os.path.join(folder, name)
    order_args = ["--order", order] if order else []
    subprocess.run([gen_w05, "--streams", "6000", "--water-systems", "30", "--out", path]
                   + order_args, check=True)
    done = subprocess.run([hydrochart, name, "*"], cwd=folder, capture_output=True)
    if done.returncode != 0:
        sys.exit(f"{order or 'default order'}: exit status {done.returncode}")
    return path[:-4] + "_html", done.stdout.decode("utf-8", "replace").replace(name, "DATA")


def main():
    hydrochart, gen_w05 = (os.path.abspath(a) for a in sys.argv[1:3])
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        pages, report = run(hydrochart, gen_w05, folder, "")
        if os.path.getsize(os.path.join(folder, "W05-.xml")) < 8 << 20:
            sys.exit("the data file is too small to be read in parts")
        for order in ORDERS:
            other_pages, other_report = run(hydrochart, gen_w05, folder, order)
            if other_report != report:
                print(f"FAIL {order}: the console lines differ")
                failures += 1
            names = sorted(os.listdir(pages))
            if sorted(os.listdir(other_pages)) != names:
                print(f"FAIL {order}: other pages")
                failures += 1
                continue
            _, mismatch, errors = filecmp.cmpfiles(pages, other_pages, names, shallow=False)
            if mismatch or errors:
                print(f"FAIL {order}: {len(mismatch) + len(errors)} pages differ")
                failures += 1
    print(f"{len(ORDERS)} orders, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
