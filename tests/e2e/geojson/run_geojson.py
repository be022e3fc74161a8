#!/usr/bin/env python3
"""End-to-end checks of hydrochart's GeoJSON export with GDAL (Debian's gdal-bin) and a strict
JSON reader.

usage: run_geojson.py HYDROCHART [GROUP...]

Groups:
  gdal      ogrinfo reads the export of every stream and of a selection: feature count, field
            names and types, layer name, an extent inside Japan; ogr2ogr converts it to a
            GeoPackage with every feature
  names     river and water-system names with kanji, quotation marks, backslashes, control
            characters, XML references and "</script>" come back from GDAL unchanged
  strict    every export is UTF-8 without byte-order mark, LF line ends only, and parses with
            Python's json while NaN and Infinity are refused
  failures  a failed export (a selection that does not resolve, a full disk, a file-size
            limit, an unwritable folder) exits 1 without a success line, keeps the older file
            and leaves no temporary file
  batch     a pattern writes one GeoJSON file next to each data file, and a second run does
            not take those files for data

Prints one line per failed check and "N passed, M failed"; exits 1 when a check failed.
"""
import json
import os
import re
import resource
import shutil
import signal
import sqlite3
import subprocess
import sys

from w05e2e.checks import Suite
from w05e2e.files import read, write
from w05e2e.w05data import SYSTEMS, code_list_text, w05_text, write_data_set

suite = Suite("hydrochart-geojson-")
check = suite.checks.check
equal = suite.checks.equal
HYDROCHART = None
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
FIELDS = [("waterSystemCode", "String"), ("waterSystemName", "String"), ("riverCode", "String"),
          ("riverName", "String"), ("sectionType", "Integer"), ("originalDataType", "Integer"),
          ("curveId", "Integer"), ("lengthKm", "Real"), ("stroke", "String")]


def run(args, cwd, fsize=None):
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
        resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
    return subprocess.run([HYDROCHART] + args, cwd=cwd, env=ENV, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                          preexec_fn=limit if fsize is not None else None)


def tool(args, cwd):
    return subprocess.run(args, cwd=cwd, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=120)


def prepare(tmp, systems=SYSTEMS, name="W05-01_01-g.xml"):
    return write_data_set(tmp, name, systems)


def summary(path, cwd):
    """ogrinfo -al -so of `path`: layer name, feature count, extent and fields."""
    result = tool(["ogrinfo", "-al", "-so", path], cwd)
    text = result.stdout.decode("utf-8", "replace")
    info = {"status": result.returncode, "text": text}
    m = re.search(r"^Layer name: (.*)$", text, re.M)
    info["layer"] = m.group(1) if m else None
    m = re.search(r"^Feature Count: (\d+)$", text, re.M)
    info["count"] = int(m.group(1)) if m else None
    m = re.search(r"^Extent: \(([-\d.]+), ([-\d.]+)\) - \(([-\d.]+), ([-\d.]+)\)$", text, re.M)
    info["extent"] = tuple(float(v) for v in m.groups()) if m else None
    info["fields"] = re.findall(r"^(\w+): (\w+) \(", text, re.M)
    return info


def inside_japan(extent):
    if not extent:
        return False
    west, south, east, north = extent
    return 122 <= west <= east <= 154 and 20 <= south <= north <= 46


def strict_json(data):
    """The parsed document, or the reason it is not strict UTF-8 JSON as RFC 7946 wants it."""
    if data.startswith(b"\xef\xbb\xbf"):
        return None, "starts with a byte-order mark"
    if b"\r" in data:
        return None, "holds a CR"
    def refuse(constant):
        raise ValueError("constant " + constant)
    try:
        return json.loads(data.decode("utf-8"), parse_constant=refuse), ""
    except (UnicodeDecodeError, ValueError) as error:
        return None, str(error)


def temporary_files(folder):
    return [n for n in os.listdir(folder) if n.startswith(".") and "geojson" in n]


@suite.group("gdal")
def every_stream_and_selection(tmp):
    data = prepare(tmp)
    result = run(["--geojson", data], tmp)
    equal("every stream: exit status", result.returncode, 0)
    check("every stream: report line counts written and left out",
          b"W05-01_01-g.geojson successfully generated. (features=60, left out=0)\n" in result.stdout,
          result.stdout.decode("utf-8", "replace"))
    info = summary("W05-01_01-g.geojson", tmp)
    equal("every stream: ogrinfo reads the file", info["status"], 0)
    equal("every stream: feature count", info["count"], 60)
    equal("every stream: layer named after the file", info["layer"], "W05-01_01-g")
    equal("every stream: fields and their types", info["fields"], FIELDS)
    check("every stream: extent inside Japan", inside_japan(info["extent"]), info["text"])
    converted = tool(["ogr2ogr", "-f", "GPKG", "rivers.gpkg", "W05-01_01-g.geojson"], tmp)
    equal("ogr2ogr -f GPKG converts the file", converted.returncode, 0)
    equal("the GeoPackage holds every feature", summary("rivers.gpkg", tmp)["count"], 60)
    with sqlite3.connect(os.path.join(tmp, "rivers.gpkg")) as db:
        rows = db.execute('SELECT waterSystemCode, riverCode, sectionType FROM "W05-01_01-g" '
                          'WHERE riverCode = ?', ("0123450001",)).fetchall()
    check("leading zeros of the codes are kept", len(rows) >= 1 and rows[0][0] == "012345",
          repr(rows))

    # A selection: one water system and one river of another in a given colour.
    result = run(["--geojson", data, "sel.geojson", "選択した川", "130010", "8606010002/00ff00"], tmp)
    equal("selection: exit status", result.returncode, 0)
    page = run([data, "sel.htm", "選択した川", "130010", "8606010002/00ff00"], tmp)
    paths = re.search(rb"\(path=(\d+)\)", page.stdout)
    features = re.search(rb"\(features=(\d+)\)", result.stdout)
    check("selection: as many features as the page has polylines",
          paths and features and paths.group(1) == features.group(1),
          (page.stdout + result.stdout).decode("utf-8", "replace"))
    info = summary("sel.geojson", tmp)
    equal("selection: the title is the layer name", info["layer"], "選択した川")
    equal("selection: feature count", info["count"], 25 + 10)
    check("selection: extent inside Japan", inside_japan(info["extent"]), info["text"])
    page_colors = re.findall(r"color:'(#[0-9a-f]{6})',weight", read(os.path.join(tmp, "sel.htm")).decode())
    document, _ = strict_json(read(os.path.join(tmp, "sel.geojson")))
    equal("selection: the stroke colours are the page's, in its order",
          [f["properties"]["stroke"] for f in document["features"]] if document else None,
          page_colors)


@suite.group("names")
def names_come_back_unchanged(tmp):
    name = '川"引用"\\バックスラッシュ\x01\x1f\t</script>'
    data = w05_text([(860601, 3, 4, name.replace("&", "&amp;")), (860602, 1, 2, "A&amp;B &#x5DDD;")])
    write(os.path.join(tmp, "names.xml"), data)
    label = '水系"<一>"\\'
    write(os.path.join(tmp, "WaterSystemCodeCd.xml"),
          code_list_text([(860601, label.replace("<", "&lt;").replace('"', "&quot;"))]))
    result = run(["--geojson", "names.xml", "names.geojson", "名前 \"x\" \\"], tmp)
    equal("exit status", result.returncode, 0)
    converted = tool(["ogr2ogr", "-f", "GPKG", "names.gpkg", "names.geojson"], tmp)
    equal("ogr2ogr converts it", converted.returncode, 0)
    with sqlite3.connect(os.path.join(tmp, "names.gpkg")) as db:
        db.text_factory = bytes
        tables = [r[0].decode() for r in db.execute("SELECT table_name FROM gpkg_contents")]
        equal("the title is the layer name", tables, ['名前 "x" \\'])
        table = tables[0].replace('"', '""') if tables else ""
        rows = db.execute(f'SELECT riverCode, riverName, waterSystemName FROM "{table}" '
                          "ORDER BY riverCode").fetchall() if tables else []
    got = {code.decode(): (river.decode("utf-8"), system and system.decode("utf-8"))
           for code, river, system in rows}
    equal("main river name with kanji, quotes, backslash, control characters",
          got.get("8606010001"), (name, label))
    equal("XML references are resolved, a water system without label has null",
          got.get("8606020001"), ("A&B 川", None))


@suite.group("strict")
def strict_utf8_json(tmp):
    data = prepare(tmp)
    outputs = {"every": ["--geojson", data, "every.geojson"],
               "selection": ["--geojson", data, "sel.geojson", "t", "860601", "12345"],
               "empty selection": ["--geojson", data, "none.geojson", "", "999"]}
    for what, args in outputs.items():
        result = run(args, tmp)
        equal(f"{what}: exit status", result.returncode, 0)
        document, reason = strict_json(read(os.path.join(tmp, args[2])))
        check(f"{what}: strict JSON, UTF-8 without BOM, LF only", document is not None, reason)
        if document is None:
            continue
        check(f"{what}: a FeatureCollection without crs", document.get("type") == "FeatureCollection"
              and "crs" not in document, repr(list(document)))
        for feature in document["features"]:
            geometry = feature["geometry"]
            ok = geometry is None or (geometry["type"] == "LineString" and len(geometry["coordinates"]) >= 2
                                      and all(122 < lon < 154 and 20 < lat < 46
                                              for lon, lat in geometry["coordinates"]))
            if not ok:
                check(f"{what}: geometries are LineStrings of [lon, lat] in Japan, or null", False,
                      repr(feature)[:300])
                break
    document, _ = strict_json(read(os.path.join(tmp, "sel.geojson")))
    if document:
        nulls = [f for f in document["features"] if f["geometry"] is None]
        equal("curves of one position have null geometry", len(nulls), 5)
    text = read(os.path.join(tmp, "sel.geojson")).decode()
    lengths = re.findall(r'"lengthKm":([^,}]*)', text)
    check("lengths are written with the page's three places",
          lengths and all(re.fullmatch(r"\d+\.\d{3}", v) for v in lengths), repr(lengths[:5]))
    # Coordinates come back exactly as the data file wrote them.
    text = read(os.path.join(tmp, "every.geojson")).decode()
    check("coordinates are the data's decimals, neither rounded nor padded",
          "[139.00007,35.0001]" in text and "[139,35]" in text, text[:400])


@suite.group("failures")
def failed_exports_keep_the_older_file(tmp):
    data = prepare(tmp)
    older = b"an older export\n"
    target = os.path.join(tmp, "rivers.geojson")

    def failed(what, result, marker):
        equal(f"{what}: exit status 1", result.returncode, 1)
        check(f"{what}: no success line", b"successfully generated" not in result.stdout,
              result.stdout.decode("utf-8", "replace"))
        check(f"{what}: its error line", marker in result.stdout, result.stdout.decode("utf-8", "replace"))
        check(f"{what}: no sanitizer report", b"Sanitizer" not in result.stderr and b"runtime error" not in result.stderr,
              result.stderr.decode("utf-8", "replace"))
        equal(f"{what}: the older file is intact", read(target), older)
        equal(f"{what}: no temporary file is left", temporary_files(tmp), [])

    # A selection whose river does not resolve: the page's message.
    broken = w05_text([(860601, 3, 4, "石狩川")]).replace(b'href="#rn_2"', b'href="#rn_gone"', 1)
    write(os.path.join(tmp, "broken.xml"), broken)
    write(target, older)
    result = run(["--geojson", "broken.xml", "rivers.geojson", "", "860601"], tmp)
    failed("unresolved node", result, b"Not found RiverNode 'rn_gone'\n")
    page = run(["broken.xml", "page.htm", "", "860601"], tmp)
    equal("unresolved node: the page fails with the same lines after the load",
          result.stdout.split(b"\n")[3:], page.stdout.split(b"\n")[3:])

    # The whole-file export leaves that stream out instead, and says so.
    result = run(["--geojson", "broken.xml", "every.geojson"], tmp)
    check("every stream: the broken stream is left out and counted",
          result.returncode == 0 and b"Not found RiverNode 'rn_gone'\n" in result.stdout
          and b"(features=2, left out=1)" in result.stdout, result.stdout.decode("utf-8", "replace"))

    # A file-size limit below the export's size: the write fails with EFBIG.
    result = run(["--geojson", data, "rivers.geojson"], tmp, fsize=4096)
    failed("file-size limit", result, b'** Error: Output file "rivers.geojson" not created.\n')

    # A folder without write permission (as root, permissions do not stop the write).
    if os.geteuid() != 0:
        locked = os.path.join(tmp, "locked")
        os.mkdir(locked)
        write(os.path.join(locked, "rivers.geojson"), older)
        os.chmod(locked, 0o555)
        result = run(["--geojson", data, "locked/rivers.geojson"], tmp)
        os.chmod(locked, 0o755)
        equal("unwritable folder: exit status 1", result.returncode, 1)
        equal("unwritable folder: the older file is intact", read(os.path.join(locked, "rivers.geojson")), older)

    # Every write fails (a link to /dev/full, which has no content to lose).
    os.symlink("/dev/full", os.path.join(tmp, "full.geojson"))
    result = run(["--geojson", data, "full.geojson"], tmp)
    equal("disk full: exit status 1", result.returncode, 1)
    check("disk full: its error line and no success line",
          b'** Error: Output file "full.geojson" not created.\n' in result.stdout
          and b"successfully generated" not in result.stdout, result.stdout.decode("utf-8", "replace"))

    # The output may not overwrite an input of the run.
    result = run(["--geojson", data, data], tmp)
    equal("output naming the data file: exit status 1", result.returncode, 1)
    equal("output naming the data file: the data stays", read(os.path.join(tmp, data)), w05_text(SYSTEMS))


@suite.group("batch")
def pattern_writes_next_to_each_file(tmp):
    os.mkdir(os.path.join(tmp, "data"))
    write(os.path.join(tmp, "data", "W05-01_01-g.xml"), w05_text(SYSTEMS[:1]))
    write(os.path.join(tmp, "data", "W05-01_02-g.XML"), w05_text(SYSTEMS[1:]))
    for attempt in ("first", "second"):
        result = run(["--geojson", "data/W05-*"], tmp)
        equal(f"{attempt} run: exit status", result.returncode, 0)
        equal(f"{attempt} run: one GeoJSON file per data file",
              sorted(os.listdir(os.path.join(tmp, "data"))),
              ["W05-01_01-g.geojson", "W05-01_01-g.xml", "W05-01_02-g.XML", "W05-01_02-g.geojson"])
        equal(f"{attempt} run: one report line per data file",
              re.findall(rb"^(\S+) successfully generated\. \(features=(\d+), left out=0\)$",
                         result.stdout, re.M),
              [(b"data/W05-01_01-g.geojson", b"30"), (b"data/W05-01_02-g.geojson", b"30")])
    for name, count in (("W05-01_01-g.geojson", 30), ("W05-01_02-g.geojson", 30)):
        equal(f"{name}: ogrinfo counts its features", summary(os.path.join("data", name), tmp)["count"], count)
    equal("no match: status 2", run(["--geojson", "data/none-*.xml"], tmp).returncode, 2)


def main():
    def take(binary):
        global HYDROCHART
        HYDROCHART = binary
    for program in ("ogrinfo", "ogr2ogr"):
        if shutil.which(program) is None:
            print(f"{program} not found: scripts/setup.sh installs gdal-bin")
            return 1
    return suite.main(__doc__, take)


if __name__ == "__main__":
    sys.exit(main())
