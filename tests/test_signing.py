#!/usr/bin/env python3
"""Signed packages, made with a throw-away self-signed certificate in a scratch folder.

usage: test_signing.py pack SCRATCH PACK_COMMAND...  makes the certificate, packs with VELMO_SIGN_PFX
                                                     set, checks every signature with osslsigncode
       test_signing.py run SCRATCH BUILD_DIR         runs the signed VELMO.exe under wine
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from test_program import calculate, quit_program, run  # noqa: E402

PASSWORD = "throw-away"


def sh(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def verify(path, cert):
    """osslsigncode's verdict on a file: (passed, its listing)."""
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


def pack(scratch, command):
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    key, cert, pfx = (os.path.join(scratch, n) for n in ("key.pem", "cert.pem", "signer.pfx"))
    sh("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
       "-subj", "/CN=VELMO 2 test signer", "-addext", "extendedKeyUsage=codeSigning")
    sh("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout", "pass:" + PASSWORD)
    sh(*command, env=dict(os.environ, VELMO_SIGN_PFX=pfx, VELMO_SIGN_PASSWORD=PASSWORD))

    packages = os.path.join(scratch, "packages")
    setup, = glob.glob(os.path.join(packages, "*-setup.exe"))
    zipped, = glob.glob(os.path.join(packages, "*.zip"))
    unpacked = os.path.join(scratch, "unpacked")
    with zipfile.ZipFile(zipped) as z:
        z.extractall(os.path.join(unpacked, "zip"))
    sh("7z", "x", "-y", "-o" + os.path.join(unpacked, "setup"), setup)
    files = [setup] + glob.glob(os.path.join(unpacked, "setup", "*.exe")) + \
        glob.glob(os.path.join(unpacked, "zip", "*", "VELMO.exe"))
    checks = [(f"{len(files)} signed files: the installer, the uninstaller and VELMO.exe in both", len(files) == 4)]
    for path in files:
        passed, listing = verify(path, cert)
        sha256 = re.search(r"Message digest algorithm\s*:\s*SHA256", listing) is not None
        checks.append((f"signed with SHA-256: {os.path.relpath(path, scratch)}", passed and sha256))
        print(listing if path == setup or not (passed and sha256) else "", end="")
    # The check can fail: a changed byte, or no signature at all
    changed = os.path.join(scratch, "changed.exe")
    data = bytearray(open(setup, "rb").read())
    data[0x400] ^= 1
    open(changed, "wb").write(data)
    unsigned = next(a for a in command if os.path.basename(a) == "VELMO.exe")
    checks += [(f"refused: {what}", not verify(path, cert)[0])
               for path, what in ((changed, "the installer with a byte changed"), (unsigned, "the unsigned program"))]
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=packages, capture_output=True, text=True)
    checks.append(("SHA256SUMS of the signed packages: " + " ".join(sums.stdout.split()), sums.returncode == 0))
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
