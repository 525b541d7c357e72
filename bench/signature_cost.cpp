// What checking a database's signature costs on CNG: the first use (loading bcrypt.dll and
// opening the provider), SHA-256 of a large file fed in 64 KiB chunks from one buffer as the
// program reads a download, and one P-256 verification. Prints the median and the spread of
// several runs of each.
//
//   signature_cost.exe [runs] [size in MiB]        (default: 7 runs of 64 MiB)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "engine/release_statement.h"
#include "platform/win32/crypto_win32.h"

namespace {

using mivetrak::Crypto;
using mivetrak::CryptoOutcome;
using mivetrak::Sha256Digest;
using mivetrak::Sha256Hash;

constexpr size_t kChunk = 64 * 1024;
// A key made by tools/sign_database.py and its signature over the SHA-256 of "abc".
constexpr char kKey[] =
    "869040afe5dacdf4394bb2369dab1afc0345b5d38e3e2d14ee9ad26331b0b906"
    "89e59c5ec20769e7d7eeed7c54401c4cf29082717b88428fe0fae86f3b4f11e9";
constexpr char kSignatureOfAbc[] =
    "acab543b9b61afe312b91f5809affb15cece307a6199f88b4a31582875a53274"
    "8ff0675a3913aa9b4c391b771a1af2755a2e88c7089a98da1773360937d51456";

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s: median %.2f ms (%.2f .. %.2f, %zu runs)\n", what, ms[ms.size() / 2],
                ms.front(), ms.back(), ms.size());
}

bool Fail(const char* what, const CryptoOutcome& outcome) {
    std::printf("%s failed: %s 0x%08lx\n", what, outcome.operation,
                static_cast<unsigned long>(outcome.code));
    return false;
}

bool Hash(Crypto& crypto, const uint8_t* data, size_t chunk, size_t chunks, Sha256Digest& digest) {
    std::unique_ptr<Sha256Hash> hash;
    CryptoOutcome outcome = crypto.StartSha256(hash);
    if (!outcome.Ok()) return Fail("start", outcome);
    for (size_t i = 0; i < chunks; ++i) {
        outcome = hash->Update(data, chunk);
        if (!outcome.Ok()) return Fail("hash", outcome);
    }
    outcome = hash->Finish(digest);
    return outcome.Ok() || Fail("finish", outcome);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const size_t mebibytes = argc > 2 ? static_cast<size_t>(std::max(1, std::atoi(argv[2]))) : 64;
    std::vector<uint8_t> buffer(kChunk);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const size_t chunks = mebibytes * 1024 * 1024 / kChunk;
    std::printf("%d-bit process\n", static_cast<int>(sizeof(void*) * 8));

    std::vector<double> firstUse, hashing, verifying;
    Sha256Digest digest{};
    for (int run = 0; run < runs; ++run) {
        const auto crypto = mivetrak::CreateWin32Crypto();
        const double start = Now();
        if (!Hash(*crypto, buffer.data(), 1, 0, digest)) return 1;
        firstUse.push_back(Now() - start);

        const double hashStart = Now();
        if (!Hash(*crypto, buffer.data(), kChunk, chunks, digest)) return 1;
        hashing.push_back(Now() - hashStart);

        const uint8_t abc[] = {'a', 'b', 'c'};
        if (!Hash(*crypto, abc, sizeof abc, 1, digest)) return 1;
        const auto key = mivetrak::ParsePublicKey(kKey);
        const auto signature = mivetrak::ParseSignature(kSignatureOfAbc);
        const double verifyStart = Now();
        const CryptoOutcome verified = crypto->VerifyP256(*key, digest, *signature);
        verifying.push_back(Now() - verifyStart);
        if (!verified.Ok()) return Fail("verify", verified) ? 0 : 1;
    }
    Report("first use (load bcrypt.dll, open SHA-256, hash nothing)", firstUse);
    char label[64];
    std::snprintf(label, sizeof label, "SHA-256 of %zu MiB in 64 KiB chunks", mebibytes);
    Report(label, hashing);
    std::sort(hashing.begin(), hashing.end());
    std::printf("throughput at the median: %.0f MiB/s\n",
                static_cast<double>(mebibytes) * 1000.0 / hashing[hashing.size() / 2]);
    Report("P-256 verification (provider, key import, verify)", verifying);
    return 0;
}
