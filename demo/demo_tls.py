"""TLS for the demo (and the tests, which use it too): a certificate authority of its own and a
certificate for the loopback server signed by it, both made at run time and kept in a build
folder (never part of the sources), and the step that makes one Wine prefix trust that
authority, as an administrator makes a company's machines trust the company's own.

Wine matches a host name against the DNS names of a certificate only, so the server's
certificate names 127.0.0.1 as a DNS name, and as an IP address for every other client.
"""
import datetime
import ipaddress
import os
import subprocess

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

HOST = "127.0.0.1"


def _name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def _sign(subject, issuer, public_key, signing_key, extensions):
    now = datetime.datetime.now(datetime.timezone.utc)
    builder = (x509.CertificateBuilder().subject_name(_name(subject)).issuer_name(_name(issuer))
               .public_key(public_key).serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=30)))
    for extension in extensions:
        builder = builder.add_extension(extension, critical=False)
    return builder.sign(signing_key, hashes.SHA256())


def _write(path, data):
    with open(path, "wb") as out:
        out.write(data)
    return path


def make_certificates(folder, authority="Mivetrak demo authority"):
    """Makes a new authority and a server certificate for 127.0.0.1 that it signs, in folder.
    Returns the paths: "authority" (the authority's certificate, DER, as trust_root.exe takes
    it), "certificate" (the server's, PEM, followed by the authority's, as servers send their
    chain) and "key" (the server's key, PEM)."""
    os.makedirs(folder, exist_ok=True)
    authority_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    authority_cert = _sign(authority, authority, authority_key.public_key(), authority_key,
                           [x509.BasicConstraints(ca=True, path_length=0)])
    server_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    names = [x509.DNSName(HOST), x509.IPAddress(ipaddress.ip_address(HOST))]
    server_cert = _sign(HOST, authority, server_key.public_key(), authority_key,
                        [x509.SubjectAlternativeName(names),
                         x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH])])
    key_pem = server_key.private_bytes(serialization.Encoding.PEM,
                                       serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption())
    return {
        "authority": _write(os.path.join(folder, "authority.der"),
                            authority_cert.public_bytes(serialization.Encoding.DER)),
        "certificate": _write(os.path.join(folder, "server.pem"),
                              server_cert.public_bytes(serialization.Encoding.PEM) +
                              authority_cert.public_bytes(serialization.Encoding.PEM)),
        "key": _write(os.path.join(folder, "server-key.pem"), key_pem),
    }


def trust_in_prefix(env, tool, authority, run_as=()):
    """Runs trust_root.exe (tool, a Windows path in the prefix of env) on the authority's
    certificate (a Windows path too), so that the prefix trusts it; raises when it fails."""
    subprocess.run([*run_as, "wine", tool, authority], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
