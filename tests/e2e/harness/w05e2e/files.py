"""File helpers of the end-to-end suites."""

import hashlib
import io
import os
import zipfile

# The date of archive entries that do not name their own.
T2000 = (2000, 1, 1, 0, 0, 0)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def leftovers(folder):
    """Temporary files of fetchunpack left anywhere below `folder`."""
    found = []
    for root, _, files in os.walk(folder):
        found += [os.path.join(root, f) for f in files if f.startswith(".fetchunpack-")]
    return found


def digest_tree(root, skip=()):
    """Digest of every regular file below `root` (links not followed), by relative path."""
    digests = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if rel in skip or os.path.islink(path) or not os.path.isfile(path):
                continue
            digests[rel] = hashlib.sha256(read(path)).hexdigest()
    return digests


def make_zip(entries, compression=zipfile.ZIP_STORED):
    """entries: (name, data) or (name, data, date_time) tuples; a name given as bytes is stored
    raw, without the UTF-8 flag (written under an ASCII stand-in of the same length, then
    patched)."""
    buffer = io.BytesIO()
    patches = []
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for number, (name, data, *date_time) in enumerate(entries):
            if isinstance(name, bytes):
                stand_in = f"~{number:03d}".ljust(len(name), "~")
                patches.append((stand_in.encode(), name))
                name = stand_in
            info = zipfile.ZipInfo(name, date_time[0] if date_time else T2000)
            info.compress_type = compression
            archive.writestr(info, data)
    data = buffer.getvalue()
    for stand_in, raw in patches:
        assert data.count(stand_in) == 2
        data = data.replace(stand_in, raw)
    return data
