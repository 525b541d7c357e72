// trust_root CERTIFICATE.der: adds the certificate to the trusted root authorities of the local
// machine, as an administrator does for a company's own authority. The demo and the tests run it
// in their own Wine prefix, so that their authority is trusted there and nowhere else.
// Exit code 0 when the certificate is in the store, 1 when it could not be added, 2 on bad use.
#include <windows.h>
// wincrypt.h needs the types of <windows.h>, included first.
#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {

bool ReadWholeFile(const char* path, std::vector<BYTE>& bytes) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    BYTE block[4096];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) != 0) {
        bytes.insert(bytes.end(), block, block + got);
    }
    const bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read && !bytes.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_root CERTIFICATE.der\n");
        return 2;
    }
    std::vector<BYTE> certificate;
    if (!ReadWholeFile(argv[1], certificate)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (store == nullptr) {
        std::fprintf(stderr, "cannot open the trusted root store: error %lu\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, certificate.data(), static_cast<DWORD>(certificate.size()),
        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = added ? 0 : GetLastError();
    CertCloseStore(store, 0);
    if (!added) std::fprintf(stderr, "cannot add %s: error %lu\n", argv[1], error);
    return added ? 0 : 1;
}
