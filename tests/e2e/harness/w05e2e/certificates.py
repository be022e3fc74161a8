"""Certificates for the HTTPS checks, made with openssl in a test folder."""
import os
import subprocess


def make_certificates(folder):
    """Writes a test authority (ca.pem, ca.key), a stranger authority (stranger.pem,
    stranger.key), and one server key (server.key) for 127.0.0.1 and localhost with a
    certificate from each authority: server-ca.pem and server-stranger.pem."""
    def openssl(*args):
        subprocess.run(["openssl"] + list(args), cwd=folder, check=True, capture_output=True)

    for ca in ("ca", "stranger"):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                f"/CN=fetchunpack test {ca}", "-keyout", f"{ca}.key", "-out", f"{ca}.pem")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
            "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(folder, "san.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    for ca in ("ca", "stranger"):
        openssl("x509", "-req", "-in", "server.csr", "-CA", f"{ca}.pem", "-CAkey", f"{ca}.key",
                "-CAcreateserial", "-days", "2", "-extfile", "san.ext", "-out", f"server-{ca}.pem")
