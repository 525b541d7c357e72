#!/usr/bin/env python3
"""The maker's tool for the update database: its signing key and the index that vouches for it
(needs Debian's python3-cryptography).

    sign_database.py keygen PRIVATE.pem
        Makes a new ECDSA P-256 key pair. Writes the private key to PRIVATE.pem (a new file,
        readable by its owner only: keep it secret and keep a copy) and prints the public key as
        the 128 hex digits (X then Y) that the program is built with:
            cmake ... -DMIVETRAK_PUBLIC_KEY=<those digits>

    sign_database.py public PRIVATE.pem
        Prints the build value of the public key that belongs to PRIVATE.pem again.

    sign_database.py index PRIVATE.pem DATABASE --primary URL --backup URL
                     [--released DATE] [--expires-days N]
        Prints the whole [ZAVFile] section of the update index for DATABASE: the two URLs that
        serve it and the maker's signed release statement about it, its length, its release
        time (the file's last-write time, or DATE written as "Tue, 05 Mar 2024 06:07:08 GMT"),
        its SHA-256 and, with --expires-days, the time the statement stops being believed.
        Sets the file's last-write time to the release time, so that a web server's
        Last-Modified agrees with it for programs built without a key.
"""
import argparse
import datetime
import email.utils
import hashlib
import os
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, utils

COORDINATE_BYTES = 32


def fail(message):
    print("sign_database.py: " + message, file=sys.stderr)
    sys.exit(1)


def build_value(public_key):
    """The public key as the program is built with it: X then Y, 32 big-endian bytes each."""
    numbers = public_key.public_numbers()
    return (numbers.x.to_bytes(COORDINATE_BYTES, "big").hex()
            + numbers.y.to_bytes(COORDINATE_BYTES, "big").hex())


def load_private_key(private_path):
    try:
        with open(private_path, "rb") as source:
            key = serialization.load_pem_private_key(source.read(), password=None)
    except (OSError, ValueError, TypeError) as error:
        fail("cannot read a private key from %s: %s" % (private_path, error))
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        fail("%s does not hold a P-256 private key" % private_path)
    return key


def keygen(private_path):
    key = ec.generate_private_key(ec.SECP256R1())
    pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                            serialization.NoEncryption())
    # Never overwrite a key: it may be the only copy of the one the shipped programs trust.
    try:
        fd = os.open(private_path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    except FileExistsError:
        fail("%s exists already; choose another file name" % private_path)
    with os.fdopen(fd, "wb") as out:
        out.write(pem)
    print(build_value(key.public_key()))


def public(private_path):
    print(build_value(load_private_key(private_path).public_key()))


def signature_value(key, data):
    """r then s of the key's ECDSA signature over the SHA-256 of data, 32 big-endian bytes each,
    in hex: the value of the index's Signature= line."""
    der = key.sign(data, ec.ECDSA(hashes.SHA256()))
    r, s = utils.decode_dss_signature(der)
    return r.to_bytes(COORDINATE_BYTES, "big").hex() + s.to_bytes(COORDINATE_BYTES, "big").hex()


def http_date(moment):
    """The one form of date that the statement takes: "Tue, 05 Mar 2024 06:07:08 GMT"."""
    return email.utils.format_datetime(moment.astimezone(datetime.timezone.utc), usegmt=True)


def statement_values(body, released, expires=None):
    """The statement's values for the database's bytes, released at the given time (a datetime,
    whole seconds), as the index writes them."""
    values = {"Length": str(len(body)), "Released": http_date(released),
              "SHA256": hashlib.sha256(body).hexdigest()}
    if expires is not None:
        values["Expires"] = http_date(expires)
    return values


def statement_text(values):
    """The bytes the maker signs: one line per value, each ending in a single LF."""
    text = "Mivetrak database statement 1\n"
    text += "Length: %s\nReleased: %s\nSHA-256: %s\n" % (
        values["Length"], values["Released"], values["SHA256"])
    if "Expires" in values:
        text += "Expires: %s\n" % values["Expires"]
    return text.encode("ascii")


def index_section(key, primary, backup, body, released, expires=None):
    """The [ZAVFile] section that names the two URLs and carries the signed statement about
    body, as text with CR LF line ends."""
    values = statement_values(body, released, expires)
    values["Signature"] = signature_value(key, statement_text(values))
    lines = ["[ZAVFile]", "Primary=" + primary, "Backup=" + backup]
    lines += ["%s=%s" % (name, values[name])
              for name in ("Length", "Released", "SHA256", "Expires", "Signature")
              if name in values]
    return "\r\n".join(lines) + "\r\n"


def statement_lines(private_path, body, released_seconds, expires_seconds=None):
    """The index's lines of the signed statement about body (Length= to Signature=, CR LF line
    ends), released at a Unix time: for the scripts that serve a keyed program's index."""
    utc = datetime.timezone.utc
    expires = (None if expires_seconds is None else
               datetime.datetime.fromtimestamp(expires_seconds, utc))
    section = index_section(load_private_key(private_path), "", "", body,
                            datetime.datetime.fromtimestamp(released_seconds, utc), expires)
    return "".join(line + "\r\n" for line in section.split("\r\n")[3:] if line)


def parse_released(text):
    try:
        moment = email.utils.parsedate_to_datetime(text)
    except (TypeError, ValueError):
        fail("--released %r is not a date like \"Tue, 05 Mar 2024 06:07:08 GMT\"" % text)
    if moment.tzinfo is None:
        fail("--released %r names no time zone; write GMT" % text)
    return moment


def index(argv):
    parser = argparse.ArgumentParser(prog="sign_database.py index")
    parser.add_argument("private")
    parser.add_argument("database")
    parser.add_argument("--primary", required=True)
    parser.add_argument("--backup", required=True)
    parser.add_argument("--released")
    parser.add_argument("--expires-days", type=int)
    args = parser.parse_args(argv)
    key = load_private_key(args.private)
    try:
        with open(args.database, "rb") as database:
            body = database.read()
        released = (parse_released(args.released) if args.released else
                    datetime.datetime.fromtimestamp(int(os.stat(args.database).st_mtime),
                                                    datetime.timezone.utc))
    except OSError as error:
        fail("cannot read %s: %s" % (args.database, error))
    if not body:
        fail("%s is empty: no database to publish" % args.database)
    if not 1902 <= released.year <= 2445:
        fail("the release time %s lies outside the years a file can keep" % http_date(released))
    expires = None
    if args.expires_days is not None:
        expires = (datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0) +
                   datetime.timedelta(days=args.expires_days))
    sys.stdout.write(index_section(key, args.primary, args.backup, body, released, expires))
    # A static server's Last-Modified then tells keyless programs the same time.
    os.utime(args.database, (released.timestamp(), released.timestamp()))


def main(argv):
    if len(argv) == 3 and argv[1] == "keygen":
        keygen(argv[2])
    elif len(argv) == 3 and argv[1] == "public":
        public(argv[2])
    elif len(argv) >= 2 and argv[1] == "index":
        index(argv[2:])
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
