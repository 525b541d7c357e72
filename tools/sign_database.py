#!/usr/bin/env python3
"""The maker's signing tool for the update database (needs Debian's python3-cryptography).

    sign_database.py keygen PRIVATE.pem
        Makes a new ECDSA P-256 key pair. Writes the private key to PRIVATE.pem (a new file,
        readable by its owner only: keep it secret and keep a copy) and prints the public key as
        the 128 hex digits (X then Y) that the program is built with:
            cmake ... -DMIVETRAK_PUBLIC_KEY=<those digits>

    sign_database.py public PRIVATE.pem
        Prints the build value of the public key that belongs to PRIVATE.pem again.

    sign_database.py sign PRIVATE.pem DATABASE
        Prints the line to put in the [ZAVFile] section of the index next to the database:
            Signature=<128 hex digits>
        the ECDSA signature (r then s, 32 big-endian bytes each) over the SHA-256 of the
        database file's bytes.
"""
import hashlib
import os
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, utils

COORDINATE_BYTES = 32
CHUNK = 64 * 1024


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


def signature_value(key, chunks):
    """The value of the Signature= line for the bytes given as an iterable of chunks: r then s of
    the key's ECDSA signature over their SHA-256, 32 big-endian bytes each, in hex."""
    digest = hashlib.sha256()
    for chunk in chunks:
        digest.update(chunk)
    der = key.sign(digest.digest(), ec.ECDSA(utils.Prehashed(hashes.SHA256())))
    r, s = utils.decode_dss_signature(der)
    return r.to_bytes(COORDINATE_BYTES, "big").hex() + s.to_bytes(COORDINATE_BYTES, "big").hex()


def sign_bytes(private_path, data):
    """The Signature= value of data in memory, for the scripts that serve a signed index."""
    return signature_value(load_private_key(private_path), [data])


def sign(private_path, database_path):
    key = load_private_key(private_path)
    try:
        with open(database_path, "rb") as database:
            value = signature_value(key, iter(lambda: database.read(CHUNK), b""))
    except OSError as error:
        fail("cannot read %s: %s" % (database_path, error))
    print("Signature=" + value)


def main(argv):
    if len(argv) == 3 and argv[1] == "keygen":
        keygen(argv[2])
    elif len(argv) == 3 and argv[1] == "public":
        public(argv[2])
    elif len(argv) == 4 and argv[1] == "sign":
        sign(argv[2], argv[3])
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
