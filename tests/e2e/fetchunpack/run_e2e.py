#!/usr/bin/env python3
"""End-to-end tests of the fetchunpack program against a local server on 127.0.0.1.

Usage: run_e2e.py FETCHUNPACK_BINARY [GROUP...]
Groups: cli, single, list, failures, replies, https (all when none is given). Prints one line per
failed check and a closing line "N passed, M failed"; exits non-zero when a check failed.
"""

import gzip
import os
import re
import subprocess
import sys

from w05e2e.certificates import make_certificates
from w05e2e.checks import Suite
from w05e2e.files import T2000, leftovers, make_zip, read, write
from w05e2e.testserver import Route, TestServer, closed_port

BANNER = "**** Download and Unzip ****\n"
Y2000 = 946684800  # 2000-01-01 00:00:00 UTC


suite = Suite("fetchunpack_e2e_")
checks = suite.checks
group = suite.group
BINARY = None


def environment(**extra):
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy",
                                "ssl_cert_file", "curl_ca_bundle", "ssl_cert_dir")}
    env.update(TZ="UTC", LANG="C.UTF-8", LC_ALL="C.UTF-8",
               FETCHUNPACK_RETRY_DELAY="0", FETCHUNPACK_STALL_TIMEOUT="1",
               FETCHUNPACK_CONNECT_TIMEOUT="5")
    env.update(extra)
    return env


def run(args, cwd, **env):
    result = subprocess.run([BINARY] + args, cwd=cwd, env=environment(**env),
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=90)
    err = result.stderr.decode("utf-8", "replace")
    # A sanitized build reports its findings on standard error, possibly with status 1.
    checks.check(f"no sanitizer report for {args}",
                 not re.search(r"AddressSanitizer|LeakSanitizer|runtime error:", err), err[:3000])
    return result.returncode, result.stdout.decode("utf-8", "replace"), err


MAIN_ZIP = make_zip([
    ("W05-09_13-g.xml", b"<river data/>", T2000),
    ("Data.xml", b"first", (2001, 2, 3, 4, 5, 6)),
    ("DATA.XML", b"second", T2000),
    ("dir/sub/nested.xml", b"nested", T2000),
    ("河川.xml".encode("cp932"), b"shift_jis name", T2000),
    ("流域.xml", b"utf-8 name", T2000),  # stored with the UTF-8 flag
    ("水系.xml".encode("utf-8"), b"utf-8 name without flag", T2000),
    ("../evil.txt", b"evil", T2000),
])
OTHER_ZIP = make_zip([("x.xml", b"from b", T2000), ("b_a.xml", b"percent", T2000)])


def main_routes():
    return {
        "/ksj/a.zip": Route("body", MAIN_ZIP),
        "/ksj/b.zip": Route("body", OTHER_ZIP),
        "/ksj/W05-09_13.zip": Route("body", MAIN_ZIP),
        "/ksj/empty.zip": Route("body", b""),
        "/ksj/page.zip": Route("body", b"<html>this is not an archive</html>"),
        "/ksj/big.zip": Route("body", os.urandom(3 * 1024 * 1024 + 17)),
        "/ksj/moved.zip": Route("redirect", location="/ksj/a.zip"),
    }


def mtime(path):
    return int(os.stat(path).st_mtime)


# ---------------------------------------------------------------------------------------------
@group("cli")
def no_argument_help_and_version(tmp):
    code, out, _ = run([], tmp)
    checks.equal("exit status without argument", code, 1)
    checks.check("error line and usage without argument",
                 out.startswith(BANNER + "** Error: URL List file does not specified.\nUsage:\n"), out)
    code, out, _ = run(["--help"], tmp)
    checks.equal("exit status of --help", code, 0)
    checks.check("--help prints the usage", out.startswith("Usage:\n  fetchunpack URL") and
                 "Exit status: 0 done, 1 error.\n" in out, out)
    code, out, _ = run(["-h"], tmp)
    checks.equal("exit status of -h", code, 0)
    code, out, _ = run(["--version"], tmp)
    checks.equal("exit status of --version", code, 0)
    checks.check("--version prints the version", re.fullmatch(r"fetchunpack \d+\.\d+\.\d+\n", out), out)


@group("cli")
def list_file_not_found(tmp):
    code, out, _ = run(["missing.txt", "out"], tmp)
    checks.equal("stdout", out, BANNER + '** Error: Not found Download URL List file "missing.txt"')
    checks.equal("exit status", code, 1)
    # "HTTP:" in capitals is no URL: it is taken as a list file path.
    code, out, _ = run(["HTTP://127.0.0.1/a.zip"], tmp)
    checks.equal("capital scheme stdout", out,
                 BANNER + '** Error: Not found Download URL List file "HTTP://127.0.0.1/a.zip"')
    checks.equal("capital scheme exit status", code, 1)
    checks.check("no folder made", not os.path.exists(os.path.join(tmp, "out")))


@group("cli")
def illegal_single_urls(tmp):
    for url in ["http:no-slash", "https://127.0.0.1/dir/"]:
        code, out, _ = run([url, "out", "x.xml"], tmp)
        checks.equal(f"stdout for {url}", out, BANNER + f"** Error: Illegal URL {url}\n")
        checks.equal(f"exit status for {url}", code, 1)
    checks.equal("nothing written", os.listdir(tmp), [])


# ---------------------------------------------------------------------------------------------
@group("single")
def single_url_alone(tmp):
    with TestServer(main_routes()) as server:
        url = server.base + "/ksj/a.zip"
        code, out, _ = run([url], tmp)
        checks.equal("stdout", out, BANNER + f"{url} a.zip\n")
        checks.equal("exit status", code, 0)
        checks.equal("archive", read(os.path.join(tmp, "a.zip")), MAIN_ZIP)
        path, headers = server.requests[-1]
        checks.equal("user agent", headers.get("User-Agent"), "Agent-A")
        checks.equal("cache control", headers.get("Cache-Control"), "no-cache")
        checks.equal("pragma", headers.get("Pragma"), "no-cache")


@group("single")
def single_url_with_folder_and_members(tmp):
    with TestServer(main_routes()) as server:
        url = server.base + "/ksj/a.zip"
        members = ["data.XML", "DIR/Sub/Nested.XML", "河川.xml", "流域.XML", "水系.xml", "absent.xml"]
        code, out, _ = run([url, "out"] + members, tmp)
        checks.equal("stdout", out, BANNER + f"{url} out/a.zip " + " ".join(members) + "\n")
        checks.equal("exit status", code, 0)
        out_dir = os.path.join(tmp, "out")
        checks.equal("first of two names differing in case", read(os.path.join(out_dir, "Data.xml")), b"first")
        checks.check("second of them not written", not os.path.exists(os.path.join(out_dir, "DATA.XML")))
        checks.equal("member time", mtime(os.path.join(out_dir, "Data.xml")), 981173106)
        checks.equal("nested member", read(os.path.join(out_dir, "dir/sub/nested.xml")), b"nested")
        checks.equal("nested member time", mtime(os.path.join(out_dir, "dir/sub/nested.xml")), Y2000)
        checks.equal("Shift_JIS name", read(os.path.join(out_dir, "河川.xml")), b"shift_jis name")
        checks.equal("UTF-8 name", read(os.path.join(out_dir, "流域.xml")), b"utf-8 name")
        checks.equal("UTF-8 name without flag", read(os.path.join(out_dir, "水系.xml")),
                     b"utf-8 name without flag")
        checks.check("absent member writes nothing", not os.path.exists(os.path.join(out_dir, "absent.xml")))
        checks.equal("files", sorted(os.listdir(out_dir)),
                     sorted(["a.zip", "Data.xml", "dir", "河川.xml", "流域.xml", "水系.xml"]))


@group("single")
def single_url_into_current_folder(tmp):
    with TestServer(main_routes()) as server:
        url = server.base + "/ksj/moved.zip"
        write(os.path.join(tmp, "W05-09_13-g.xml"), b"older member")
        code, out, _ = run([url, ".", "w05-09_13-G.xml"], tmp)
        checks.equal("stdout", out, BANNER + f"{url} moved.zip w05-09_13-G.xml\n")
        checks.equal("exit status", code, 0)
        checks.equal("redirect followed", read(os.path.join(tmp, "moved.zip")), MAIN_ZIP)
        checks.equal("member replaced", read(os.path.join(tmp, "W05-09_13-g.xml")), b"<river data/>")
        checks.equal("member time", mtime(os.path.join(tmp, "W05-09_13-g.xml")), Y2000)

        # An empty folder argument means the current folder too, never the root.
        url = server.base + "/ksj/b.zip"
        code, out, _ = run([url, "", "X.XML"], tmp)
        checks.equal("empty folder stdout", out, BANNER + f"{url} b.zip X.XML\n")
        checks.equal("empty folder member", read(os.path.join(tmp, "x.xml")), b"from b")


@group("single")
def proxy_from_the_environment(tmp):
    # The server plays the proxy: it sees the absolute URL, and the named host is never asked.
    url = "http://fetchunpack.invalid/ksj/a.zip"
    with TestServer({url: Route("body", MAIN_ZIP)}) as proxy:
        code, out, _ = run([url, "out", "Data.xml"], tmp, http_proxy=proxy.base)
        checks.equal("stdout", (code, out), (0, BANNER + f"{url} out/a.zip Data.xml\n"))
        checks.equal("request through the proxy", proxy.count(url), 1)
        checks.equal("member", read(os.path.join(tmp, "out/Data.xml")), b"first")


@group("single")
def single_url_large_and_empty_bodies(tmp):
    routes = main_routes()
    with TestServer(routes) as server:
        url = server.base + "/ksj/big.zip"
        code, out, _ = run([url, "out"], tmp)
        checks.equal("large body stdout", out, BANNER + f"{url} out/big.zip\n")
        checks.equal("large body", read(os.path.join(tmp, "out/big.zip")), routes["/ksj/big.zip"].body)
        url = server.base + "/ksj/empty.zip"
        code, out, _ = run([url, "out"], tmp)
        checks.equal("empty body", (code, out), (0, BANNER + f"{url} out/empty.zip\n"))
        checks.equal("empty file", read(os.path.join(tmp, "out/empty.zip")), b"")
        # libzip takes an empty file for no archive.
        code, out, _ = run([url, "out", "a.xml"], tmp)
        checks.equal("member of an empty body", (code, out),
                     (1, BANNER + f"{url} out/empty.zip a.xml** Error: ZIP error code 19\n"))
        checks.equal("no temporary files", leftovers(tmp), [])


@group("single")
def entry_times_up_to_2107(tmp):
    # Archive times run from 1980 to 2107; a signed 32-bit count of seconds ends in 2038.
    times = {"y2038.xml": ((2038, 1, 19, 3, 14, 8), 2147483648),
             "june.xml": ((2038, 6, 1, 0, 0, 0), 2158963200),
             "last.xml": ((2107, 12, 31, 23, 59, 58), 4354819198)}
    archive = make_zip([(name, b"t", date_time) for name, (date_time, _) in times.items()])
    with TestServer({"/ksj/late.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/late.zip"
        code, out, _ = run([url, "out"] + list(times), tmp)
        checks.equal("transcript", (code, out), (0, BANNER + f"{url} out/late.zip " + " ".join(times) + "\n"))
        for name, (_, seconds) in times.items():
            checks.equal(f"{name} time", mtime(os.path.join(tmp, "out", name)), seconds)


# ---------------------------------------------------------------------------------------------
def list_text(server, encoding):
    base = server.base
    return (f"# URL list for the tests\r\n"
            f"// another comment\r\n"
            f"\r\n"
            f"{base}/ksj/\r\n"
            f"a.zip data.xml 河川.xml\r\n"
            f"b.zip x.xml %1%_a.xml\n"
            f"\n"
            f"{base}/ksj/W05-09_13.zip %9%-g.xml 流域.xml\n"
            f"{base}/ksj/b.zip\n").encode(encoding)


def expected_list_transcript(server, prefix):
    base = server.base
    return (BANNER +
            f"{base}/ksj/a.zip {prefix}a.zip data.xml 河川.xml\n"
            f"{base}/ksj/b.zip {prefix}b.zip x.xml b_a.xml\n"
            f"{base}/ksj/W05-09_13.zip {prefix}W05-09_13.zip W05-09_13-g.xml 流域.xml\n"
            f"{base}/ksj/b.zip {prefix}b.zip\n")


@group("list")
def list_in_every_encoding(tmp):
    with TestServer(main_routes()) as server:
        for encoding in ["utf-8", "cp932", "euc-jp", "iso2022_jp"]:
            folder = os.path.join(tmp, encoding)
            os.makedirs(folder)
            write(os.path.join(folder, "urls.txt"), list_text(server, encoding))
            code, out, _ = run(["urls.txt", "out"], folder)
            checks.equal(f"{encoding} stdout", out, expected_list_transcript(server, "out/"))
            checks.equal(f"{encoding} exit status", code, 0)
            out_dir = os.path.join(folder, "out")
            checks.equal(f"{encoding} member", read(os.path.join(out_dir, "Data.xml")), b"first")
            checks.equal(f"{encoding} Japanese member", read(os.path.join(out_dir, "河川.xml")),
                         b"shift_jis name")
            checks.equal(f"{encoding} substituted member", read(os.path.join(out_dir, "b_a.xml")),
                         b"percent")
            checks.equal(f"{encoding} %9 member time", mtime(os.path.join(out_dir, "W05-09_13-g.xml")),
                         Y2000)
            checks.equal(f"{encoding} files", sorted(os.listdir(out_dir)),
                         sorted(["a.zip", "b.zip", "W05-09_13.zip", "Data.xml", "河川.xml", "x.xml",
                                 "b_a.xml", "W05-09_13-g.xml", "流域.xml"]))

        # Without an output folder the files land in the working folder.
        folder = os.path.join(tmp, "plain")
        os.makedirs(folder)
        write(os.path.join(folder, "urls.txt"), list_text(server, "utf-8"))
        code, out, _ = run(["urls.txt"], folder)
        checks.equal("no folder stdout", out, expected_list_transcript(server, ""))
        checks.check("no folder member", os.path.exists(os.path.join(folder, "x.xml")))


@group("list")
def iso2022jp_list_with_katakana_names(tmp):
    # In ISO-2022-JP the bytes of ケース are "%1!<%9" and those of ク "%/": read byte by byte they
    # would be a substitution and a last "/".
    kana = make_zip([("ケース.xml".encode("cp932"), b"case", T2000),
                     ("ケース/クラス.xml", b"class", T2000),
                     ("kana_x.xml", b"substituted", T2000)])
    with TestServer({"/ksj/kana.zip": Route("body", kana), "/ksj/ku.zip": Route("body", kana)}) as server:
        base = server.base
        # The ISO-2022-JP bytes of ク are "%/": a "/" that is no part of the URL.
        write(os.path.join(tmp, "urls.txt"),
              (f"# 一覧 ケース\n{base}/ksj/\n"
               f"kana.zip ケース.xml ケース/クラス.xml %4ー_x.xml\n"
               f"{base}/ksj/ku.zip#ク ケース.xml\n").encode("iso2022_jp"))
        code, out, _ = run(["urls.txt", "out"], tmp)
        checks.equal("transcript", out, BANNER +
                     f"{base}/ksj/kana.zip out/kana.zip ケース.xml ケース/クラス.xml kana_x.xml\n"
                     f"{base}/ksj/ku.zip#ク out/ku.zip#ク ケース.xml\n")
        checks.equal("exit status", code, 0)
        checks.equal("katakana member", read(os.path.join(tmp, "out/ケース.xml")), b"case")
        checks.equal("katakana member in a folder", read(os.path.join(tmp, "out/ケース/クラス.xml")), b"class")
        checks.equal("substituted member", read(os.path.join(tmp, "out/kana_x.xml")), b"substituted")
        checks.equal("requests", [p for p, _ in server.requests], ["/ksj/kana.zip", "/ksj/ku.zip"])


@group("list")
def list_base_cancelled_and_long_lines(tmp):
    with TestServer(main_routes()) as server:
        base = server.base
        lines = [f"{base}/ksj/", "#" + "x" * 1022 + "a.zip", f"{base}/ksj/b.zip", "c.zip"]
        write(os.path.join(tmp, "urls.txt"), ("\n".join(lines) + "\n").encode())
        code, out, _ = run(["urls.txt"], tmp)
        # The 1023 bytes of the comment are one line, "a.zip" behind them another.
        checks.equal("stdout", out, BANNER + f"{base}/ksj/a.zip a.zip\n{base}/ksj/b.zip b.zip\n"
                     "c.zip c.zip** Error: Inet\n")
        checks.equal("exit status", code, 1)
        checks.equal("fetched", sorted(os.listdir(tmp)), ["a.zip", "b.zip", "urls.txt"])


@group("list")
def list_edge_lines(tmp):
    with TestServer(main_routes()) as server:
        base = server.base
        # An empty list runs nothing.
        write(os.path.join(tmp, "empty.txt"), b"")
        code, out, _ = run(["empty.txt"], tmp)
        checks.equal("empty list", (code, out), (0, BANNER))
        # A byte-order mark is no part of the first line: "#" behind it starts a comment, and a
        # URL behind it is fetched.
        write(os.path.join(tmp, "bom.txt"), f"\ufeff# comment\n{base}/ksj/b.zip x.xml\n".encode("utf-8"))
        code, out, _ = run(["bom.txt"], tmp)
        checks.equal("byte-order mark before a comment", (code, out),
                     (0, BANNER + f"{base}/ksj/b.zip b.zip x.xml\n"))
        write(os.path.join(tmp, "bom2.txt"), f"\ufeff{base}/ksj/b.zip\n".encode("utf-8"))
        code, out, _ = run(["bom2.txt", "bom"], tmp)
        checks.equal("byte-order mark before a URL", (code, out), (0, BANNER + f"{base}/ksj/b.zip bom/b.zip\n"))
        # UTF-16 text cannot be converted: the URL stays empty.
        write(os.path.join(tmp, "utf16.txt"), f"{base}/ksj/a.zip\n".encode("utf-16"))
        code, out, _ = run(["utf16.txt"], tmp)
        checks.equal("UTF-16 list", (code, out), (1, BANNER + " ** Error: Inet\n"))
        # URL lines without a file name to save to.
        write(os.path.join(tmp, "noname.txt"), f"{base}/ksj/\n x.xml\n".encode())
        code, out, _ = run(["noname.txt"], tmp)
        checks.equal("empty URL token", (code, out), (1, BANNER + f"** Error: Illegal URL {base}/ksj/\n"))
        write(os.path.join(tmp, "noname2.txt"), f"{base}/ksj/a.zip\n{base}/ksj/ x.xml\n".encode())
        code, out, _ = run(["noname2.txt", "out"], tmp)
        checks.equal("URL token ending in a slash", (code, out),
                     (1, BANNER + f"{base}/ksj/a.zip out/a.zip\n** Error: Illegal URL {base}/ksj/\n"))
        # A line whose last member name ends in "/" is a base line as a whole.
        write(os.path.join(tmp, "base.txt"), f"{base}/ksj/a.zip x.xml {base}/ksj/\nb.zip\n".encode())
        code, out, _ = run(["base.txt", "out2"], tmp)
        checks.equal("member ending in a slash", (code, out),
                     (1, BANNER + f"{base}/ksj/a.zip x.xml {base}/ksj/b.zip out2/b.zip** Error: Inet\n"))


# ---------------------------------------------------------------------------------------------
def old_file_kept(tmp, relative, what):
    checks.equal(f"{what}: older file intact", read(os.path.join(tmp, relative)), b"OLD FILE")
    checks.equal(f"{what}: no temporary files", leftovers(tmp), [])


@group("failures")
def download_failures_keep_the_older_file(tmp):
    body = make_zip([("x.xml", b"x" * 50000, T2000)])
    routes = {
        "/404.zip": Route("status", status=404),
        "/always503.zip": Route("status", status=503),
        "/drop.zip": Route("drop", body),
        "/reset.zip": Route("reset", body),
        "/stall.zip": Route("stall", body),
    }
    with TestServer(routes) as server:
        for name, requests in [("404.zip", 1), ("always503.zip", 4), ("drop.zip", 4),
                               ("reset.zip", 4), ("stall.zip", 4)]:
            write(os.path.join(tmp, "out", name), b"OLD FILE")
            url = f"{server.base}/{name}"
            code, out, err = run([url, "out", "x.xml"], tmp)
            checks.equal(f"{name} stdout", out, BANNER + f"{url} out/{name}** Error: Inet\n")
            checks.equal(f"{name} exit status", code, 1)
            checks.check(f"{name} cause on standard error", url in err, err)
            checks.equal(f"{name} requests", server.count("/" + name), requests)
            old_file_kept(tmp, f"out/{name}", name)
        checks.check("status named", "HTTP status 404" in run([server.base + "/404.zip"], tmp)[2])

    url = f"http://127.0.0.1:{closed_port()}/a.zip"
    write(os.path.join(tmp, "out", "a.zip"), b"OLD FILE")
    code, out, _ = run([url, "out"], tmp)
    checks.equal("closed port", (code, out), (1, BANNER + f"{url} out/a.zip** Error: Inet\n"))
    old_file_kept(tmp, "out/a.zip", "closed port")


@group("failures")
def transient_failures_are_retried(tmp):
    routes = {"/flaky.zip": Route("flaky", OTHER_ZIP, status=500, failures=1),
              "/busy.zip": Route("flaky", OTHER_ZIP, status=429, failures=3)}
    with TestServer(routes) as server:
        for name, requests in [("flaky.zip", 2), ("busy.zip", 4)]:
            url = f"{server.base}/{name}"
            code, out, _ = run([url, "out", "X.xml"], tmp, FETCHUNPACK_RETRY_DELAY="0.01")
            checks.equal(f"{name} stdout", out, BANNER + f"{url} out/{name} X.xml\n")
            checks.equal(f"{name} exit status", code, 0)
            checks.equal(f"{name} requests", server.count("/" + name), requests)
            checks.equal(f"{name} member", read(os.path.join(tmp, "out/x.xml")), b"from b")


@group("failures")
def unwritable_output(tmp):
    with TestServer(main_routes()) as server:
        # The output folder cannot be made: a file has its name.
        write(os.path.join(tmp, "blocker"), b"OLD FILE")
        url = server.base + "/ksj/a.zip"
        code, out, err = run([url, "blocker/out", "data.xml"], tmp)
        checks.equal("folder stdout", out, BANNER + f"{url} blocker/out/a.zip** Error: Inet\n")
        checks.equal("folder exit status", code, 1)
        checks.check("folder cause", "blocker/out/a.zip" in err, err)
        old_file_kept(tmp, "blocker", "folder")
        # A member's folder is taken by a file.
        write(os.path.join(tmp, "out", "dir"), b"OLD FILE")
        code, out, _ = run([url, "out", "dir/sub/nested.xml"], tmp)
        checks.equal("member stdout", out,
                     BANNER + f"{url} out/a.zip dir/sub/nested.xml** Error: ZIP error code 11\n")
        checks.equal("member exit status", code, 1)
        old_file_kept(tmp, "out/dir", "member")
        # A path beyond the platform's limit ends the run with an error line.
        folder = "f" * 4100
        code, out, _ = run([url, folder], tmp)
        checks.equal("long path", (code, out),
                     (1, BANNER + f"** Error: Path too long {folder}/a.zip\n"))


@group("failures")
def archive_failures(tmp):
    damaged = bytearray(make_zip([("x.xml", b"abcdefgh" * 1000, T2000)]))
    routes = dict(main_routes())
    with TestServer(routes) as server:
        url = server.base + "/ksj/page.zip"
        code, out, _ = run([url, "out", "x.xml", "y.xml"], tmp)
        checks.equal("not a zip", (code, out), (1, BANNER + f"{url} out/page.zip x.xml** Error: ZIP error code 19\n"))

        url = server.base + "/ksj/a.zip"
        code, out, _ = run([url, "out", "Data.xml", "../EVIL.txt", "x"], tmp)
        checks.equal("traversal", (code, out),
                     (1, BANNER + f"{url} out/a.zip Data.xml ../EVIL.txt** Error: ZIP error code 18\n"))
        checks.check("nothing outside", not os.path.exists(os.path.join(tmp, "evil.txt")))
        checks.check("member before it written", os.path.exists(os.path.join(tmp, "out/Data.xml")))

        # Damaged data: the stored CRC no longer fits (the entry is deflated; corrupt its CRC).
        crc_at = damaged.index(b"PK\x01\x02") + 16
        local_crc_at = 14
        for at in (crc_at, local_crc_at):
            damaged[at] ^= 0xFF
        server.routes["/ksj/damaged.zip"] = Route("body", bytes(damaged))
        write(os.path.join(tmp, "out", "x.xml"), b"OLD FILE")
        url = server.base + "/ksj/damaged.zip"
        code, out, _ = run([url, "out", "x.xml"], tmp)
        checks.equal("damaged entry", (code, out), (1, BANNER + f"{url} out/damaged.zip x.xml** Error: ZIP error code 7\n"))
        old_file_kept(tmp, "out/x.xml", "damaged entry")


# ---------------------------------------------------------------------------------------------
OLD_ZIP = make_zip([("x.xml", b"from the older archive", T2000)])


@group("replies")
def only_a_final_200_is_a_download(tmp):
    body = make_zip([("x.xml", b"x" * 5000, T2000)])
    routes = {
        "/204.zip": Route("raw", status=204),
        "/304.zip": Route("raw", status=304),
        "/206.zip": Route("raw", body[:100], status=206,
                          headers=[("Content-Range", f"bytes 0-99/{len(body)}"), ("Content-Length", "100")]),
        "/302.zip": Route("raw", b"moved", status=302, headers=[("Content-Length", "5")]),
        "/303.zip": Route("raw", status=303, headers=[("Location", "ftp://127.0.0.1/x.zip"),
                                                      ("Content-Length", "0")]),
        "/299.zip": Route("raw", body, status=299, headers=[("Content-Length", str(len(body)))]),
    }
    with TestServer(routes) as server:
        for name in sorted(routes):
            name = name[1:]
            url = f"{server.base}/{name}"
            for members in ([], ["x.xml"]):
                write(os.path.join(tmp, "out", name), b"OLD FILE")
                code, out, err = run([url, "out"] + members, tmp)
                what = f"{name} {members}"
                checks.equal(f"{what} transcript", out, BANNER + f"{url} out/{name}** Error: Inet\n")
                checks.equal(f"{what} exit status", code, 1)
                checks.check(f"{what} cause", url in err, err)
                old_file_kept(tmp, f"out/{name}", what)
            # Without an older file nothing is left either.
            os.remove(os.path.join(tmp, "out", name))
            code, out, _ = run([url, "out"], tmp)
            checks.equal(f"{name} alone", (code, out), (1, BANNER + f"{url} out/{name}** Error: Inet\n"))
            checks.check(f"{name} alone: no file", not os.path.exists(os.path.join(tmp, "out", name)))
        checks.check("status named", "HTTP status 304" in run([server.base + "/304.zip"], tmp)[2])


def bad_archive_routes(archive):
    return {
        "/page.zip": Route("body", b"<html><body>Service temporarily unavailable</body></html>"),
        # Closed half way, with no length to show it.
        "/cut.zip": Route("raw", archive[: len(archive) // 2]),
        # A length that announces half the body: the rest is never read.
        "/short.zip": Route("raw", archive, headers=[("Content-Length", str(len(archive) // 2))]),
        # Compressed for the wire although the client never asked for it.
        "/gzip.zip": Route("raw", gzip.compress(archive),
                           headers=[("Content-Encoding", "gzip"),
                                    ("Content-Length", str(len(gzip.compress(archive))))]),
    }


@group("replies")
def an_archive_that_does_not_open_keeps_the_older_one(tmp):
    archive = make_zip([("x.xml", os.urandom(20000), T2000), ("y.xml", b"y", T2000)])
    routes = bad_archive_routes(archive)
    routes["/good.zip"] = Route("body", archive)
    with TestServer(routes) as server:
        for name in ["page.zip", "cut.zip", "short.zip", "gzip.zip"]:
            url = f"{server.base}/{name}"
            write(os.path.join(tmp, "out", name), OLD_ZIP)
            code, out, err = run([url, "out", "x.xml", "y.xml"], tmp)
            checks.equal(f"{name} transcript", out,
                         BANNER + f"{url} out/{name} x.xml** Error: ZIP error code 19\n")
            checks.equal(f"{name} exit status", code, 1)
            checks.check(f"{name} cause", f"out/{name}" in err and "kept" in err, err)
            checks.equal(f"{name}: older archive intact", read(os.path.join(tmp, "out", name)), OLD_ZIP)
            checks.check(f"{name}: no member written", not os.path.exists(os.path.join(tmp, "out/y.xml")))
            checks.equal(f"{name}: no temporary file", leftovers(tmp), [])

            # Without an older file the download is kept, and the archive error follows as ever.
            os.remove(os.path.join(tmp, "out", name))
            code, out, _ = run([url, "new", "x.xml"], tmp)
            checks.equal(f"{name} without an older file", (code, out),
                         (1, BANNER + f"{url} new/{name} x.xml** Error: ZIP error code 19\n"))
            checks.check(f"{name} without an older file: download kept",
                         os.path.exists(os.path.join(tmp, "new", name)))

            # Without member names the body cannot be judged and is kept as received.
            code, out, _ = run([url, "out"], tmp)
            checks.equal(f"{name} without members", (code, out), (0, BANNER + f"{url} out/{name}\n"))
            checks.check(f"{name} without members: body kept", read(os.path.join(tmp, "out", name)) != OLD_ZIP)

        # A good archive replaces the older one, and its members are written.
        url = f"{server.base}/good.zip"
        write(os.path.join(tmp, "out/good.zip"), OLD_ZIP)
        code, out, _ = run([url, "out", "x.xml", "y.xml"], tmp)
        checks.equal("good archive", (code, out), (0, BANNER + f"{url} out/good.zip x.xml y.xml\n"))
        checks.equal("good archive replaces the older one", read(os.path.join(tmp, "out/good.zip")), archive)
        checks.equal("good archive member", read(os.path.join(tmp, "out/y.xml")), b"y")

        # In list mode the run stops at the refused archive; the older one stays.
        write(os.path.join(tmp, "list/page.zip"), OLD_ZIP)
        write(os.path.join(tmp, "urls.txt"), f"{server.base}/good.zip y.xml\n{server.base}/page.zip x.xml\n"
                                             f"{server.base}/good.zip\n".encode())
        code, out, _ = run(["urls.txt", "list"], tmp)
        checks.equal("list", (code, out), (1, BANNER + f"{server.base}/good.zip list/good.zip y.xml\n"
                                           f"{server.base}/page.zip list/page.zip x.xml** Error: ZIP error code 19\n"))
        checks.equal("list: older archive intact", read(os.path.join(tmp, "list/page.zip")), OLD_ZIP)
        checks.equal("list: no temporary file", leftovers(tmp), [])


# ---------------------------------------------------------------------------------------------
@group("https")
def https_with_custom_and_unknown_authorities(tmp):
    certs = os.path.join(tmp, "certs")
    os.makedirs(certs)
    make_certificates(certs)
    ca = os.path.join(certs, "ca.pem")
    with TestServer(main_routes(), os.path.join(certs, "server-ca.pem"),
                    os.path.join(certs, "server.key")) as server:
        url = server.base + "/ksj/a.zip"
        for variable in ("SSL_CERT_FILE", "CURL_CA_BUNDLE"):
            code, out, err = run([url, variable, "Data.xml"], tmp, **{variable: ca})
            checks.equal(f"{variable} stdout", out, BANNER + f"{url} {variable}/a.zip Data.xml\n")
            checks.equal(f"{variable} exit status and standard error", (code, err), (0, ""))
            checks.equal(f"{variable} member", read(os.path.join(tmp, variable, "Data.xml")), b"first")

        write(os.path.join(tmp, "out", "a.zip"), b"OLD FILE")
        for what, env in [("unknown authority", {"SSL_CERT_FILE": os.path.join(certs, "stranger.pem")}),
                          ("system authorities", {})]:
            code, out, err = run([url, "out", "Data.xml"], tmp, **env)
            checks.equal(f"{what} stdout", out, BANNER + f"{url} out/a.zip** Error: Inet\n")
            checks.equal(f"{what} exit status", code, 1)
            checks.check(f"{what} cause", "certificate" in err.lower(), err)
            old_file_kept(tmp, "out/a.zip", what)


# ---------------------------------------------------------------------------------------------
def take_binary(path):
    global BINARY
    BINARY = path


def main():
    return suite.main(__doc__, take_binary)


if __name__ == "__main__":
    sys.exit(main())
