#!/usr/bin/python3
"""fetchunpack.exe under Wine against a local server on 127.0.0.1.

Usage: run_fetchunpack.py FETCHUNPACK_EXE WINE_RUNNER TRUST_CA_EXE [GROUP...]
Groups: single, list, failures, https, escaped, names. The program runs on a Japanese system (ANSI code page 932):
its console text is Shift_JIS and its lines end in CR LF; the files it writes appear on this
side under their UTF-8 names. The https group trusts a test authority made here inside the Wine
prefix (TRUST_CA_EXE, removed again afterwards); the host's own trust store is never touched.
"""

import io
import os
import subprocess
import sys
import time
import zipfile

from w05e2e.certificates import make_certificates
from w05e2e.checks import Suite
from w05e2e.testserver import Route, TestServer

BANNER = "**** Download and Unzip ****\n"
suite = Suite("fetchunpack_wine_")
checks = suite.checks
group = suite.group
EXE = None
RUNNER = None
TRUST_CA = None


def run(args, cwd):
    env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    env.update(FETCHUNPACK_RETRY_DELAY="0", FETCHUNPACK_STALL_TIMEOUT="2",
               FETCHUNPACK_CONNECT_TIMEOUT="5")
    result = subprocess.run([RUNNER, EXE] + args, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=120)
    out = result.stdout.decode("cp932", "replace").replace("\r\n", "\n")
    return result.returncode, out, result.stderr.decode("cp932", "replace")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def archive(entries):
    """A zip of (raw name bytes, data, date_time) entries; names are stored as the raw bytes,
    without the UTF-8 flag, as Japanese Windows tools write them."""
    placeholders = []
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for n, (raw, data, date_time) in enumerate(entries):
            placeholder = (b"%c" % (65 + n)) * len(raw)
            placeholders.append((placeholder, raw))
            z.writestr(zipfile.ZipInfo(placeholder.decode("ascii"), date_time), data)
    data = buffer.getvalue()
    for placeholder, raw in placeholders:
        data = data.replace(placeholder, raw)
    return data


@group("single")
def single_url(tmp):
    body = b"plain body"
    with TestServer({"/files/a.bin": Route("body", body)}) as server:
        url = server.base + "/files/a.bin"
        status, out, err = run([url], tmp)
        checks.equal("status", status, 0)
        checks.equal("transcript", out, BANNER + f"{url} a.bin\n")
        checks.equal("file", read(os.path.join(tmp, "a.bin")), body)
        status, out, err = run([url, "out"], tmp)
        checks.equal("transcript with a folder", out, BANNER + f"{url} out\\a.bin\n")
        checks.equal("file in the folder", read(os.path.join(tmp, "out", "a.bin")), body)
        checks.equal("agent", server.requests[0][1].get("User-Agent"), "Agent-A")


@group("list")
def shift_jis_list(tmp):
    entry = "河川データ.xml".encode("cp932")
    when = (2020, 1, 2, 3, 4, 6)
    zip_bytes = archive([(entry, b"<river/>", when), (b"data_2020_a.xml", b"<a/>", when)])
    routes = {"/w05/data_2020.zip": Route("body", zip_bytes)}
    with TestServer(routes) as server:
        text = (f"# 一覧\n{server.base}/w05/\ndata_2020.zip %9%_a.xml 河川データ.xml\n")
        with open(os.path.join(tmp, "一覧.txt"), "wb") as f:
            f.write(text.encode("cp932").replace(b"\n", b"\r\n"))
        status, out, err = run(["一覧.txt", "出力"], tmp)
        checks.equal("status", status, 0)
        checks.equal("transcript", out, BANNER +
                     f"{server.base}/w05/data_2020.zip 出力\\data_2020.zip data_2020_a.xml 河川データ.xml\n")
        folder = os.path.join(tmp, "出力")
        checks.equal("%N member", read(os.path.join(folder, "data_2020_a.xml")), b"<a/>")
        member = os.path.join(folder, "河川データ.xml")
        checks.equal("Shift_JIS entry name", read(member), b"<river/>")
        checks.equal("entry time", os.stat(member).st_mtime, time.mktime(when + (0, 0, -1)))
        checks.equal("no temporary file", sorted(os.listdir(folder)),
                     ["data_2020.zip", "data_2020_a.xml", "河川データ.xml"])


@group("failures")
def not_found_and_dropped(tmp):
    older = b"older archive"
    with open(os.path.join(tmp, "gone.zip"), "wb") as f:
        f.write(older)
    with open(os.path.join(tmp, "cut.zip"), "wb") as f:
        f.write(older)
    routes = {"/cut.zip": Route("drop", b"x" * 300000)}
    with TestServer(routes) as server:
        status, out, err = run([server.base + "/gone.zip"], tmp)
        checks.equal("404: status", status, 1)
        checks.equal("404: transcript", out, BANNER + f"{server.base}/gone.zip gone.zip** Error: Inet\n")
        checks.check("404: cause on standard error", "HTTP status 404" in err, err)
        checks.equal("404: older file kept", read(os.path.join(tmp, "gone.zip")), older)
        status, out, err = run([server.base + "/cut.zip"], tmp)
        checks.equal("dropped: status", status, 1)
        checks.equal("dropped: transcript", out, BANNER + f"{server.base}/cut.zip cut.zip** Error: Inet\n")
        checks.equal("dropped: retried", server.count("/cut.zip"), 4)
        checks.equal("dropped: older file kept", read(os.path.join(tmp, "cut.zip")), older)
        checks.equal("no temporary file", sorted(os.listdir(tmp)), ["cut.zip", "gone.zip"])


# The path of 流域/データ.zip as libcurl sends it: UTF-8 in lower-case percent escapes.
ESCAPED_PATH = "/%e6%b5%81%e5%9f%9f/%e3%83%87%e3%83%bc%e3%82%bf.zip"
WHEN = (2021, 3, 4, 5, 6, 8)


def escaped_routes():
    zip_bytes = archive([("河川.xml".encode("cp932"), b"<river/>", WHEN)])
    return {ESCAPED_PATH: Route("body", zip_bytes),
            "/%E6%B5%81%e5%9f%9f/a%20b.zip": Route("body", b"kept escapes")}


def requested(server):
    return [path for path, _ in server.requests]


@group("escaped")
def japanese_url_on_the_command_line(tmp):
    with TestServer(escaped_routes()) as server:
        # The fragment names a place in the document and never reaches the server.
        url = server.base + "/流域/データ.zip#先頭"
        status, out, err = run([url, "出力", "河川.xml"], tmp)
        checks.equal("status", status, 0)
        checks.equal("transcript keeps the text", out,
                     BANNER + f"{url} 出力\\データ.zip#先頭 河川.xml\n")
        checks.equal("request path", requested(server), [ESCAPED_PATH])
        checks.equal("member", read(os.path.join(tmp, "出力", "河川.xml")), b"<river/>")
        # Escapes already in the URL stay as written, upper case included.
        url = server.base + "/%E6%B5%81域/a b.zip"
        status, out, err = run([url], tmp)
        checks.equal("escapes kept: status", (status, err), (0, ""))
        checks.equal("escapes kept: request path", requested(server)[1:],
                     ["/%E6%B5%81%e5%9f%9f/a%20b.zip"])
        checks.equal("escapes kept: file", read(os.path.join(tmp, "a b.zip")), b"kept escapes")


@group("escaped")
def japanese_url_in_a_list_of_each_encoding(tmp):
    for encoding in ("utf-8", "cp932", "euc_jp", "iso2022_jp"):
        with TestServer(escaped_routes()) as server:
            text = (f"# 国土数値情報 河川データの一覧 ({encoding})\n{server.base}/流域/\n"
                    "データ.zip 河川.xml\n")
            folder = "出力" + encoding
            with open(os.path.join(tmp, encoding + ".txt"), "wb") as f:
                f.write(text.encode(encoding))
            status, out, err = run([encoding + ".txt", folder], tmp)
            checks.equal(f"{encoding}: status", (status, err), (0, ""))
            checks.equal(f"{encoding}: transcript", out, BANNER +
                         f"{server.base}/流域/データ.zip {folder}\\データ.zip 河川.xml\n")
            checks.equal(f"{encoding}: request path", requested(server), [ESCAPED_PATH])
            checks.equal(f"{encoding}: member", read(os.path.join(tmp, folder, "河川.xml")),
                         b"<river/>")


@group("names")
def saved_names_windows_cannot_hold(tmp):
    with TestServer({}) as server:
        for name in ("b:c.zip", "CON.zip", "nul", "aux.zip", "Com1.tar.gz", "lpt9", "a|b.zip",
                     "q.php?id=1"):
            url = f"{server.base}/dl/{name}"
            status, out, err = run([url, "o", "x.xml"], tmp)
            checks.equal(f"{name}: refused", (status, out), (1, BANNER + f"** Error: Illegal URL {url}\n"))
        with open(os.path.join(tmp, "list.txt"), "wb") as f:
            f.write(f"{server.base}/dl/\nPRN.zip x.xml\n".encode("cp932"))
        status, out, err = run(["list.txt"], tmp)
        checks.equal("list line refused", (status, out),
                     (1, BANNER + f"** Error: Illegal URL {server.base}/dl/PRN.zip\n"))
        checks.equal("nothing requested", server.requests, [])
        checks.equal("nothing written", sorted(os.listdir(tmp)), ["list.txt"])


@group("names")
def members_windows_cannot_hold(tmp):
    entries = [(b"CON.xml", b"device", WHEN), (b"d/nul.txt", b"device in a folder", WHEN),
               (b"a|b.xml", b"pipe", WHEN), ("ソ表.xml".encode("cp932"), b"<kana/>", WHEN)]
    with TestServer({"/m.zip": Route("body", archive(entries))}) as server:
        url = server.base + "/m.zip"
        # Kanji whose second byte in code page 932 is that of "\\" are names like any other.
        status, out, err = run([url, ".", "ソ表.xml"], tmp)
        checks.equal("plain member", (status, out), (0, BANNER + f"{url} m.zip ソ表.xml\n"))
        checks.equal("plain member file", read(os.path.join(tmp, "ソ表.xml")), b"<kana/>")
        for member in ("con.xml", "d/NUL.txt", "a|b.xml"):
            status, out, err = run([url, ".", member], tmp)
            checks.equal(f"{member}: refused", (status, out),
                         (1, BANNER + f"{url} m.zip {member}** Error: ZIP error code 18\n"))
            checks.check(f"{member}: cause", "names no plain file" in err, err)
        checks.equal("nothing written", sorted(os.listdir(tmp)), ["m.zip", "ソ表.xml"])


def trust(action, pem):
    result = subprocess.run([RUNNER, TRUST_CA, action, pem], stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=120)
    checks.equal(f"trust_ca {action}", (result.returncode, result.stderr.decode(errors="replace")),
                 (0, ""))


@group("https")
def https_trusted_and_unknown_authorities(tmp):
    certs = os.path.join(tmp, "certs")
    os.makedirs(certs)
    make_certificates(certs)
    body = b"over https"
    routes = {"/secure/a.bin": Route("body", body)}
    ca = os.path.join(certs, "ca.pem")
    trust("add", ca)
    try:
        with TestServer(routes, os.path.join(certs, "server-ca.pem"),
                        os.path.join(certs, "server.key")) as server:
            # Wine checks a certificate's DNS names but not its IP addresses: the server is
            # reached as localhost, its certificate's DNS name.
            url = server.base.replace("127.0.0.1", "localhost") + "/secure/a.bin"
            checks.check("https server", url.startswith("https://localhost:"), url)
            status, out, err = run([url], tmp)
            checks.equal("trusted: status", status, 0)
            checks.equal("trusted: transcript", out, BANNER + f"{url} a.bin\n")
            checks.equal("trusted: file", read(os.path.join(tmp, "a.bin")), body)

        # The same address, now with a certificate from an authority nobody trusts.
        older = b"older file"
        with open(os.path.join(tmp, "a.bin"), "wb") as f:
            f.write(older)
        with TestServer(routes, os.path.join(certs, "server-stranger.pem"),
                        os.path.join(certs, "server.key")) as server:
            url = server.base.replace("127.0.0.1", "localhost") + "/secure/a.bin"
            status, out, err = run([url], tmp)
            checks.equal("unknown authority: status", status, 1)
            checks.equal("unknown authority: transcript", out, BANNER + f"{url} a.bin** Error: Inet\n")
            # Windows names an unknown authority (12045); Wine reports that the revocation
            # check of such a chain failed (12057). Either is a refused certificate.
            checks.check("unknown authority: cause on standard error",
                         "WinINet error 12045" in err or "WinINet error 12057" in err, err)
            checks.equal("unknown authority: older file kept", read(os.path.join(tmp, "a.bin")), older)
            checks.equal("no temporary file", sorted(os.listdir(tmp)), ["a.bin", "certs"])
    finally:
        trust("remove", ca)


def take(path):
    global EXE, RUNNER, TRUST_CA
    EXE = path
    RUNNER = os.path.abspath(sys.argv.pop(2))
    TRUST_CA = os.path.abspath(sys.argv.pop(2))


if __name__ == "__main__":
    sys.exit(suite.main(__doc__, take))
