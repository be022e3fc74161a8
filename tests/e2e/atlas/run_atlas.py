#!/usr/bin/env python3
"""End-to-end checks of hydrochart's atlas pages (--atlas) against the map page and the GeoJSON
export of the same selection.

usage: run_atlas.py HYDROCHART [GROUP...]

Groups:
  selection  the page of a selection: the same report line as its map page; the embedded
             collection parses as strict JSON and holds the export's features, properties and
             positions, with the map page's directions and marker positions; the same title
             and view-fitting line as the map page
  every      "*" writes the same page names and console lines as without the option, each page
             with as many features as its stream count, and the index over them is the index
             over map pages
  batch      a pattern writes atlas pages for every matching data file
  failures   --atlas alone prints the usage (status 1); a selection that does not resolve and a
             missing data file fail as they do without the option

Prints one line per failed check and "N passed, M failed"; exits 1 when a check failed.
"""
import json
import os
import re
import shutil
import subprocess
import sys

from w05e2e.checks import Suite
from w05e2e.files import read, write
from w05e2e.w05data import SYSTEMS, w05_text, write_data_set

suite = Suite("hydrochart-atlas-")
check = suite.checks.check
equal = suite.checks.equal
HYDROCHART = None
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
DATA_START = b'<script type="application/json" id="atlas-rivers">'
EXPORT_PROPERTIES = ["waterSystemCode", "waterSystemName", "riverCode", "riverName",
                     "sectionType", "originalDataType", "curveId", "lengthKm", "stroke"]


def run(args, cwd):
    return subprocess.run([HYDROCHART] + args, cwd=cwd, env=ENV, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)




def refuse(constant):
    raise ValueError("constant " + constant)


def collection_of(page):
    """The parsed collection of an atlas page's text, or the reason it has none."""
    start = page.find(DATA_START)
    if start < 0:
        return None, "no collection element"
    start += len(DATA_START)
    end = page.find(b"</script>", start)
    block = page[start:end]
    if b"<" in block:
        return None, "a '<' inside the collection"
    try:
        return json.loads(block.decode("utf-8"), parse_constant=refuse), ""
    except (UnicodeDecodeError, ValueError) as error:
        return None, str(error)


def map_page_streams(page):
    """Per stream of a map page, in page order: its popup's direction and its markers'
    [lon, lat] positions (stream start and end, then river start and end when drawn)."""
    text = page.decode("utf-8")
    streams = {}
    for m in re.finditer(r'^myPath(\d+)\.bindPopup\(".*<br>方向:(.*)"\);$', text, re.M):
        streams[int(m.group(1))] = {"direction": m.group(2), "nodes": {}}
    for m in re.finditer(r"^var marker(\d+)(a|b|ra|rb)=L\.circleMarker\(\[([-\d.]+),([-\d.]+)\]",
                         text, re.M):
        streams[int(m.group(1))]["nodes"][m.group(2)] = [float(m.group(4)), float(m.group(3))]
    return [streams[n] for n in sorted(streams)]


def fit_line(page):
    m = re.search(rb"^map\.fitBounds\(.*$", page, re.M)
    return m.group(0) if m else None


@suite.group("selection")
def selection_matches_map_page_and_export(tmp):
    data = write_data_set(tmp)
    codes = ["130010", "8606010002/00ff00", "12345"]
    atlas = run(["--atlas", data, "sel.htm", "選択 <川>"] + codes, tmp)
    page = run([data, "map.htm", "選択 <川>"] + codes, tmp)
    export = run(["--geojson", data, "sel.geojson", "選択 <川>"] + codes, tmp)
    equal("exit statuses", (atlas.returncode, page.returncode, export.returncode), (0, 0, 0))
    equal("the report line of the map page, with its stream count",
          atlas.stdout.replace(b"sel.htm", b"map.htm"), page.stdout)
    text = read(os.path.join(tmp, "sel.htm"))
    mapped = read(os.path.join(tmp, "map.htm"))
    collection, reason = collection_of(text)
    check("the embedded collection is strict JSON without a '<'", collection is not None, reason)
    if collection is None:
        return
    exported = json.loads(read(os.path.join(tmp, "sel.geojson")))
    features, expected = collection["features"], exported["features"]
    equal("one feature per stream of the export", len(features), len(expected))
    differ = [i for i, (f, e) in enumerate(zip(features, expected))
              if [f["properties"][k] for k in EXPORT_PROPERTIES]
              != [e["properties"][k] for k in EXPORT_PROPERTIES]]
    equal("the export's properties, feature by feature", differ, [])

    moved = [i for i, (f, e) in enumerate(zip(features, expected)) if e["geometry"] is not None
             and f["geometry"]["coordinates"] != e["geometry"]["coordinates"]]
    equal("the export's positions (as the same numbers)", moved, [])
    # A curve of one position, which the export leaves without geometry, stays on it: at its
    # stream's start node, which the data file puts there.
    single = [(f["geometry"] or {}).get("coordinates") == [f["properties"]["nodes"][0]] * 2
              for f, e in zip(features, expected) if e["geometry"] is None]
    check("a curve of one position is a line that stays on it", single == [True] * 5, repr(single))
    numbers = [n for c in re.findall(rb'"coordinates":\[([^}]*)\]\}', text)
               for n in re.findall(rb"[-\d.]+", c)]
    check("positions are written as the map page writes them, with eight decimals",
          numbers and all(re.fullmatch(rb"-?\d+\.\d{8}", n) for n in numbers), repr(numbers[:4]))

    streams = map_page_streams(mapped)
    equal("as many streams as the map page", len(streams), len(features))
    keys = ["a", "b", "ra", "rb"]
    wrong = []
    for i, (feature, stream) in enumerate(zip(features, streams)):
        p = feature["properties"]
        nodes = {keys[k]: v for k, v in enumerate(p["nodes"]) if v is not None}
        if p["direction"] != stream["direction"] or nodes != stream["nodes"]:
            wrong.append((i, p["direction"], nodes, stream))
    equal("directions and node markers of the map page", wrong[:3], [])
    equal("the title of the map page", re.search(rb"<title>.*</title>", text).group(0),
          re.search(rb"<title>.*</title>", mapped).group(0))
    equal("the view-fitting line of the map page", fit_line(text), fit_line(mapped))
    check("no statement per stream", b"L.polyline(" not in text and b"bindPopup(\"" not in text,
          "")


@suite.group("every")
def every_water_system(tmp):
    for folder in ("maps", "atlas"):
        os.mkdir(os.path.join(tmp, folder))
        write_data_set(os.path.join(tmp, folder))
    maps = run(["W05-01_01-g.xml", "*"], os.path.join(tmp, "maps"))
    atlas = run(["--atlas", "W05-01_01-g.xml", "*"], os.path.join(tmp, "atlas"))
    equal("exit statuses", (maps.returncode, atlas.returncode), (0, 0))
    equal("the same console lines", atlas.stdout, maps.stdout)
    pages = os.path.join(tmp, "atlas", "W05-01_01-g_html")
    names = sorted(os.listdir(pages))
    equal("the same page names", names, sorted(os.listdir(os.path.join(tmp, "maps", "W05-01_01-g_html"))))
    counts = [int(n) for n in re.findall(rb"\((\d+)\) ", atlas.stdout)]
    features = []
    for name in names:
        collection, reason = collection_of(read(os.path.join(pages, name)))
        features.append(len(collection["features"]) if collection else reason)
    equal("each page holds a feature per stream it reports", features, counts)
    for folder in ("maps", "atlas"):
        run(["create_index", "."], os.path.join(tmp, folder))
    equal("the index links the atlas pages as it links map pages",
          read(os.path.join(tmp, "atlas", "index.html")), read(os.path.join(tmp, "maps", "index.html")))


@suite.group("batch")
def batch_of_files(tmp):
    for name in ("W05-01_01-g.xml", "W05-01_02-g.xml"):
        write_data_set(os.path.join(tmp, "data"), name, SYSTEMS[:2])
    result = run(["--atlas", "data/W05-*.xml"], tmp)
    equal("exit status", result.returncode, 0)
    equal("each file processed", re.findall(rb"(\S+) was processed\.$", result.stdout, re.M),
          [b"data/W05-01_01-g.xml", b"data/W05-01_02-g.xml"])
    for folder in ("W05-01_01-g_html", "W05-01_02-g_html"):
        pages = sorted(os.listdir(os.path.join(tmp, "data", folder)))
        atlas = [n for n in pages if DATA_START in read(os.path.join(tmp, "data", folder, n))]
        check(f"{folder}: every page is an atlas page", pages and atlas == pages, repr(pages))
    equal("no match: status 2", run(["--atlas", "data/none-*.xml"], tmp).returncode, 2)


@suite.group("failures")
def failures_as_without_the_option(tmp):
    alone = run(["--atlas"], tmp)
    check("--atlas alone: the usage and status 1",
          alone.returncode == 1 and b"Usage:" in alone.stdout, alone.stdout.decode("utf-8", "replace"))
    helped = run(["--help"], tmp)
    check("--help names the option", b"hydrochart --atlas DATA.xml" in helped.stdout, "")
    broken = w05_text([(860601, 3, 4, "石狩川")]).replace(b'href="#rn_2"', b'href="#rn_gone"', 1)
    write(os.path.join(tmp, "broken.xml"), broken)
    atlas = run(["--atlas", "broken.xml", "a.htm", "", "860601"], tmp)
    page = run(["broken.xml", "m.htm", "", "860601"], tmp)
    equal("unresolved node: status 1 as the map page", (atlas.returncode, page.returncode), (1, 1))
    equal("unresolved node: the map page's lines", atlas.stdout, page.stdout)
    for args in (["missing.xml", "*"], ["missing.xml", "p.htm", "t", "1"]):
        atlas = run(["--atlas"] + args, tmp)
        plain = run(args, tmp)
        equal(f"{args[1]}: a missing data file fails as without the option",
              (atlas.returncode, atlas.stdout), (plain.returncode, plain.stdout))


def main():
    def take(binary):
        global HYDROCHART
        HYDROCHART = binary
    return suite.main(__doc__, take)


if __name__ == "__main__":
    sys.exit(main())
