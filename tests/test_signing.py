#!/usr/bin/env python3
"""Signed packages, made with a throw-away self-signed certificate in a scratch folder.

usage: test_signing.py pack SCRATCH PACK_COMMAND...  makes the certificate, packs with VELMO_SIGN_PFX
                                                     set, checks every signature with osslsigncode;
                                                     then packs again into SCRATCH/time-stamped, with
                                                     VELMO_SIGN_TSA set to a time-stamp authority of
                                                     its own on 127.0.0.1, and checks the time stamps
       test_signing.py run SCRATCH BUILD_DIR         runs the signed VELMO.exe under wine
"""
import calendar
import filecmp
import glob
import http.server
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from test_program import calculate, quit_program, run  # noqa: E402

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


def changed_byte(path, changed):
    """A copy of the file with one byte of its code changed."""
    data = bytearray(open(path, "rb").read())
    data[0x400] ^= 1
    open(changed, "wb").write(data)
    return changed


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
        body = open(reply, "rb").read()
        server.answered += 1
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def stamp_time(listing):
    """The time in a listing's time stamp, in seconds since 1970, or None."""
    found = re.search(r"Timestamp time:\s*(\w+ +\d+ [\d:]+ \d+) GMT", listing)
    return found and calendar.timegm(time.strptime(found.group(1), "%b %d %H:%M:%S %Y"))


def pack_time_stamped(scratch, command, env, cert, plain_setup):
    """Packs again, with VELMO_SIGN_TSA the URL of a time-stamp authority of our
    own on the loopback address, and checks the time stamps."""
    tsa = os.path.join(scratch, "tsa")
    tsa_ca, config = make_tsa(tsa)
    plain = os.path.join(scratch, "packages")
    packages = os.path.join(scratch, "time-stamped")
    assert command.count(plain) == 1, "the packages' folder is not in the packing command"
    command = [packages if a == plain else a for a in command]

    server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamps)
    server.folder, server.config, server.answered = tsa, config, 0
    url = f"http://127.0.0.1:{server.server_address[1]}/"
    thread = threading.Thread(target=server.serve_forever)
    thread.start()
    try:
        # Nothing of the loopback address goes through a proxy
        env = dict(env, VELMO_SIGN_TSA=url, no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
        started = int(time.time())
        subprocess.run(command, check=True, capture_output=True, text=True, env=env, timeout=300)
        ended = int(time.time()) + 1
    finally:
        server.shutdown()
        server.server_close()
        thread.join()

    files = signed_files(packages, os.path.join(scratch, "unpacked-time-stamped"))
    setup = files[0]
    checks = [(f"{server.answered} time stamps given by the test authority at {url}: VELMO.exe, the uninstaller "
               "and the installer", server.answered == 3),
              (f"{len(files)} time-stamped files", len(files) == 4)]
    # A month on, the certificates have expired: only a time stamp keeps a signature good then
    later = str(int(time.time()) + 30 * 86400)
    for path in files:
        passed, listing = verify(path, cert, "-TSA-CAfile", tsa_ca)
        stamped = stamp_time(listing)
        ok = passed and re.search(r"Message digest algorithm\s*:\s*SHA256", listing) is not None and \
            "Timestamp Server Signature verification: ok" in listing and \
            stamped is not None and started <= stamped <= ended
        when = time.strftime("%H:%M:%S", time.gmtime(stamped)) if stamped else "no time"
        checks.append((f"time-stamped ({when} UTC) and verified: {os.path.relpath(path, scratch)}", ok))
        print(listing if path == setup or not ok else "", end="")
        checks.append((f"still good a month on, the certificate expired: {os.path.relpath(path, scratch)}",
                       verify(path, cert, "-TSA-CAfile", tsa_ca, "-time", later)[0]))
    # The checks can fail: a changed byte, a time stamp from another authority, no time stamp
    passed, listing = verify(changed_byte(setup, os.path.join(scratch, "changed-time-stamped.exe")), cert, "-TSA-CAfile", tsa_ca)
    checks.append(("refused: the time-stamped installer with a byte changed", not passed))
    print(listing, end="")
    passed, listing = verify(setup, cert, "-TSA-CAfile", cert)
    checks.append(("time stamp refused when its authority is not the one trusted",
                   "Timestamp Server Signature verification: failed" in listing))
    checks.append(("refused a month on: that installer, its time stamp not trusted",
                   not verify(setup, cert, "-TSA-CAfile", cert, "-time", later)[0]))
    checks.append(("refused a month on: the installer signed without a time stamp",
                   not verify(plain_setup, cert, "-TSA-CAfile", tsa_ca, "-time", later)[0]))
    # The authority gone (its port closed), nothing is signed
    program = os.path.join(tsa, "VELMO.exe")
    unsigned = next(a for a in command if os.path.basename(a) == "VELMO.exe")
    shutil.copyfile(unsigned, program)
    failed = subprocess.run(["sh", SIGN, program], env=env, capture_output=True, text=True, timeout=60)
    checks.append(("sign.sh fails, and leaves the file unsigned, when the time-stamp server does not answer",
                   failed.returncode != 0 and filecmp.cmp(program, unsigned, shallow=False)
                   and not os.path.exists(program + ".signed")))
    return checks


def pack(scratch, command):
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    key, cert, pfx = (os.path.join(scratch, n) for n in ("key.pem", "cert.pem", "signer.pfx"))
    sh("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
       "-subj", "/CN=VELMO 2 test signer", "-addext", "extendedKeyUsage=codeSigning")
    sh("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout", "pass:" + PASSWORD)
    env = dict(os.environ, VELMO_SIGN_PFX=pfx, VELMO_SIGN_PASSWORD=PASSWORD)
    env.pop("VELMO_SIGN_TSA", None)
    sh(*command, env=env)

    packages = os.path.join(scratch, "packages")
    files = signed_files(packages, os.path.join(scratch, "unpacked"))
    setup = files[0]
    checks = [(f"{len(files)} signed files: the installer, the uninstaller and VELMO.exe in both", len(files) == 4)]
    for path in files:
        passed, listing = verify(path, cert)
        sha256 = re.search(r"Message digest algorithm\s*:\s*SHA256", listing) is not None
        checks.append((f"signed with SHA-256: {os.path.relpath(path, scratch)}", passed and sha256))
        print(listing if path == setup or not (passed and sha256) else "", end="")
    # The check can fail: a changed byte, or no signature at all
    changed = changed_byte(setup, os.path.join(scratch, "changed.exe"))
    unsigned = next(a for a in command if os.path.basename(a) == "VELMO.exe")
    checks += [(f"refused: {what}", not verify(path, cert)[0])
               for path, what in ((changed, "the installer with a byte changed"), (unsigned, "the unsigned program"))]
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=packages, capture_output=True, text=True)
    checks.append(("SHA256SUMS of the signed packages: " + " ".join(sums.stdout.split()), sums.returncode == 0))
    checks.append(("no time stamp without VELMO_SIGN_TSA", all(
        "Countersignatures:" not in verify(path, cert)[1] for path in files)))

    checks += pack_time_stamped(scratch, list(command), env, cert, setup)
    for what, ok in checks:
        print(f"{'ok' if ok else 'FAILED':7}{what}")
    failed = sum(not ok for _, ok in checks)
    print(f"{len(checks) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


def signed_program(s):
    s.start()
    calculate(s)
    quit_program(s)


if __name__ == "__main__":
    if len(sys.argv) < 4 or sys.argv[1] not in ("pack", "run"):
        sys.exit(__doc__)
    if sys.argv[1] == "pack":
        pack(os.path.abspath(sys.argv[2]), sys.argv[3:])
    else:
        exe, = glob.glob(os.path.join(os.path.abspath(sys.argv[2]), "packages", "*", "VELMO.exe"))
        run({"signed_program": signed_program}, os.path.abspath(sys.argv[3]), exe=exe)
