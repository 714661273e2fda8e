"""Signed packages, made with a throw-away self-signed certificate in a scratch folder.

    pytest tests/test_signing.py --signing=SCRATCH --pack=WORD... --pack-arg=ARG... -k "not signed_program"
    pytest tests/test_signing.py::test_signed_program --signing=SCRATCH --build=BUILD

The packing command is the --pack words, the packages' folder, then the --pack-arg arguments.
test_signatures makes the certificate, packs with VELMO_SIGN_PFX set into SCRATCH/packages and
checks every signature with osslsigncode; test_time_stamps packs again into SCRATCH/time-stamped,
with VELMO_SIGN_TSA set to a time-stamp authority of its own on 127.0.0.1, and checks the time
stamps; test_signed_program runs the signed VELMO.exe under wine.
"""
import calendar
import filecmp
import glob
import http.server
import os
import re
import shutil
import subprocess
import threading
import time
import zipfile

import pytest

import program

PASSWORD = "throw-away"
SIGN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build-aux", "sign.sh")


def sh(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def verify(path, cert, *more):
    """osslsigncode's verdict on a file: (passed, its listing)."""
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, *more, "-in", path],
                          capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


def signed_files(packages, unpacked):
    """The installer, then every other signed program: the uninstaller and VELMO.exe in both packages,
    unpacked into a folder of their own."""
    setup, = glob.glob(os.path.join(packages, "*-setup.exe"))
    zipped, = glob.glob(os.path.join(packages, "*.zip"))
    with zipfile.ZipFile(zipped) as z:
        z.extractall(os.path.join(unpacked, "zip"))
    sh("7z", "x", "-y", "-o" + os.path.join(unpacked, "setup"), setup)
    return [setup] + glob.glob(os.path.join(unpacked, "setup", "*.exe")) + \
        glob.glob(os.path.join(unpacked, "zip", "*", "VELMO.exe"))


def make_tsa(folder):
    """A throw-away CA and the time-stamp authority it certifies; gives the CA's
    certificate and the configuration openssl ts -reply answers with."""
    os.makedirs(folder)
    ca_key, ca, key, request, cert, ext, serial, config = (os.path.join(folder, n) for n in (
        "ca-key.pem", "ca.pem", "tsa-key.pem", "tsa.csr", "tsa.pem", "tsa.ext", "serial", "ts.cnf"))
    sh("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca, "-days", "2",
       "-subj", "/CN=VELMO 2 test time-stamp CA", "-addext", "basicConstraints=critical,CA:TRUE",
       "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    sh("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
       "-subj", "/CN=VELMO 2 test time-stamp authority")
    with open(ext, "w") as f:
        f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=critical,timeStamping\n")
    sh("openssl", "x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key, "-set_serial", "1",
       "-days", "2", "-extfile", ext, "-out", cert)
    with open(serial, "w") as f:
        f.write("01\n")
    with open(config, "w") as f:
        f.write(f"""[ tsa ]
default_tsa = velmo_test
[ velmo_test ]
serial = {serial}
signer_cert = {cert}
certs = {ca}
signer_key = {key}
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
""")
    return ca, config


class TimeStamps(http.server.BaseHTTPRequestHandler):
    """POST an RFC 3161 query, get openssl ts -reply's answer to it."""
    timeout = 20

    def do_POST(self):
        server = self.server
        if self.headers.get("Content-Type") != "application/timestamp-query":
            self.send_error(415)
            return
        query, reply = (os.path.join(server.folder, n) for n in ("query.tsq", "reply.tsr"))
        with open(query, "wb") as f:
            f.write(self.rfile.read(int(self.headers["Content-Length"])))
        done = subprocess.run(["openssl", "ts", "-reply", "-config", server.config, "-queryfile", query,
                               "-out", reply], capture_output=True, timeout=20)
        if done.returncode != 0:
            self.send_error(500)
            return
        with open(reply, "rb") as f:
            body = f.read()
        server.answered += 1
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def clock(seconds):
    return time.strftime("%H:%M:%S", time.gmtime(seconds))


def stamp_time(listing):
    """The time in a listing's time stamp, in seconds since 1970, or None."""
    found = re.search(r"Timestamp time:\s*(\w+ +\d+ [\d:]+ \d+) GMT", listing)
    return found and calendar.timegm(time.strptime(found.group(1), "%b %d %H:%M:%S %Y"))


class Packer:
    """The packing command, its scratch folder and the throw-away certificate it signs with."""

    def __init__(self, option):
        if not (option.signing and option.pack and option.pack_arg):
            pytest.fail("--signing, --pack and --pack-arg are needed")
        self.scratch, self.pack, self.args = os.path.abspath(option.signing), option.pack, option.pack_arg
        # The program as the build made it, which the packing command signs a copy of
        self.unsigned = next(a for a in self.args if os.path.basename(a) == "VELMO.exe")
        shutil.rmtree(self.scratch, ignore_errors=True)
        os.makedirs(self.scratch)
        key, self.cert, pfx = (os.path.join(self.scratch, n) for n in ("key.pem", "cert.pem", "signer.pfx"))
        sh("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", self.cert, "-days", "2",
           "-subj", "/CN=VELMO 2 test signer", "-addext", "extendedKeyUsage=codeSigning")
        sh("openssl", "pkcs12", "-export", "-inkey", key, "-in", self.cert, "-out", pfx, "-passout", "pass:" + PASSWORD)
        self.env = dict(os.environ, VELMO_SIGN_PFX=pfx, VELMO_SIGN_PASSWORD=PASSWORD)
        self.env.pop("VELMO_SIGN_TSA", None)

    def run(self, folder, **env):
        """Packs into SCRATCH/folder; gives the signed files, unpacked into SCRATCH/unpacked-folder."""
        packages = os.path.join(self.scratch, folder)
        subprocess.run(self.pack + [packages] + self.args, check=True, capture_output=True, text=True,
                       env=dict(self.env, **env), timeout=300)
        return signed_files(packages, os.path.join(self.scratch, "unpacked-" + folder))


@pytest.fixture(scope="module")
def packer(option):
    return Packer(option)


@pytest.fixture(scope="module")
def signed(packer):
    """The signed files of SCRATCH/packages, packed with VELMO_SIGN_PFX set and no time-stamp authority."""
    return packer.run("packages")


def test_signatures(packer, signed):
    scratch, cert, setup = packer.scratch, packer.cert, signed[0]
    assert len(signed) == 4, f"{len(signed)} signed files, expected 4: the installer, the uninstaller and VELMO.exe " \
        f"in both packages: {signed}"
    for path in signed:
        passed, listing = verify(path, cert)
        print(listing if path == setup else "", end="")
        assert passed and re.search(r"Message digest algorithm\s*:\s*SHA256", listing), \
            f"not signed with SHA-256: {os.path.relpath(path, scratch)}\n{listing}"
    # Only the packed copy is signed: the build's own VELMO.exe stays unsigned
    assert not verify(packer.unsigned, cert)[0], f"the build's VELMO.exe signed: {packer.unsigned}"
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=os.path.dirname(setup), capture_output=True, text=True)
    assert sums.returncode == 0, f"SHA256SUMS of the signed packages: {sums.stdout}{sums.stderr}"
    stamped = [os.path.relpath(path, scratch) for path in signed if "Countersignatures:" in verify(path, cert)[1]]
    assert stamped == [], f"time-stamped without VELMO_SIGN_TSA: {stamped}"


def test_time_stamps(packer):
    """Packs again, with VELMO_SIGN_TSA the URL of a time-stamp authority of our
    own on the loopback address, and checks the time stamps."""
    scratch, cert = packer.scratch, packer.cert
    tsa = os.path.join(scratch, "tsa")
    tsa_ca, config = make_tsa(tsa)
    server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamps)
    server.folder, server.config, server.answered = tsa, config, 0
    url = f"http://127.0.0.1:{server.server_address[1]}/"
    # Nothing of the loopback address goes through a proxy
    env = dict(VELMO_SIGN_TSA=url, no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
    thread = threading.Thread(target=server.serve_forever)
    thread.start()
    try:
        started = int(time.time())
        files = packer.run("time-stamped", **env)
        ended = int(time.time()) + 1
    finally:
        server.shutdown()
        server.server_close()
        thread.join()

    setup = files[0]
    assert server.answered == 3, f"{server.answered} time stamps given by the test authority at {url}, expected 3: " \
        "VELMO.exe, the uninstaller and the installer"
    # A month on, the certificates have expired: only a time stamp keeps a signature good then
    later = str(int(time.time()) + 30 * 86400)
    for path in files:
        passed, listing = verify(path, cert, "-TSA-CAfile", tsa_ca)
        print(listing if path == setup else "", end="")
        stamped = stamp_time(listing)
        ok = passed and re.search(r"Message digest algorithm\s*:\s*SHA256", listing) is not None and \
            "Timestamp Server Signature verification: ok" in listing and \
            stamped is not None and started <= stamped <= ended
        assert ok, f"not time-stamped while packing ({clock(started)} to {clock(ended)} UTC; stamped " \
            f"{clock(stamped) if stamped else 'no time'}) and verified: {os.path.relpath(path, scratch)}\n{listing}"
        assert verify(path, cert, "-TSA-CAfile", tsa_ca, "-time", later)[0], \
            f"not good a month on, the certificate expired: {os.path.relpath(path, scratch)}"
    # The authority gone (its port closed), nothing is signed
    copy = os.path.join(tsa, "VELMO.exe")
    shutil.copyfile(packer.unsigned, copy)
    failed = subprocess.run(["sh", SIGN, copy], env=dict(packer.env, **env), capture_output=True, text=True,
                            timeout=60)
    assert failed.returncode != 0, "sign.sh did not fail when the time-stamp server does not answer"
    assert filecmp.cmp(copy, packer.unsigned, shallow=False) and not os.path.exists(copy + ".signed"), \
        "sign.sh left the file changed, or its .signed copy, when the time-stamp server does not answer"


def test_signed_program(option):
    """The signed VELMO.exe of SCRATCH/packages at work, as test_signatures packed it."""
    if not (option.signing and option.build):
        pytest.fail("--signing and --build are needed")
    found = glob.glob(os.path.join(option.signing, "packages", "*", "VELMO.exe"))
    assert len(found) == 1, f"signed VELMO.exe in {option.signing}/packages/*: {found}, expected one"
    with program.session(option.build, found[0]) as s:
        s.start()
        program.calculate(s)
        program.quit_program(s)
