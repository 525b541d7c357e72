// The verdict on a downloaded file's signature, for every kind of index line, key and failure of
// the system's cryptography, with the file fed in chunks of several sizes.
#include "engine/signature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "fakes/fake_crypto.h"

namespace mivetrak {
namespace {

const char* const kMakerKey = kTestMakerKey;
const char* const kOtherKey = kTestOtherKey;
constexpr uint32_t kFaultCode = 0xC0000001;
constexpr size_t k64K = 65536;

// The index line, made from the signer's correct one.
using LineEdit = std::string (*)(std::string correct);
std::string AsSigned(std::string line) { return line; }
std::string NoLine(std::string) { return ""; }
std::string UpperCase(std::string line) {
    std::transform(line.begin(), line.end(), line.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
    return line;
}
std::string OneDigitShort(std::string line) { return line.substr(1); }
std::string OneDigitLong(std::string line) { return line + "0"; }
std::string BlankInside(std::string line) { return line.replace(64, 1, " "); }
std::string NotHex(std::string line) { return line.replace(10, 1, "g"); }

struct VerdictCase {
    const char* name;
    const char* builtKey;  // "" for a program without a key
    const char* signer;
    LineEdit line;
    bool changedByte;  // the file differs in one byte from what was signed
    std::optional<FakeCryptoStep> failingStep;
    size_t chunk;
    SignatureVerdict verdict;
    bool hashesAll;
};

class SignatureVerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(SignatureVerdictTest, GivesTheVerdict) {
    const VerdictCase& c = GetParam();
    FakeCrypto crypto;
    if (c.failingStep) crypto.Fail(*c.failingStep, {CryptoStatus::CallFailed, kFaultCode, "x"});
    // Larger than two 64 KiB chunks, with no short period to hide a shift.
    std::string file(150000, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 7 + i / 251) % 256);
    const std::string line = FakeCrypto::SignatureText(*ParsePublicKey(c.signer), file);
    if (c.changedByte) file[100000] = static_cast<char>(file[100000] ^ 0x01);

    SignatureVerifier verifier(crypto, ParsePublicKey(c.builtKey), c.line(line));
    for (size_t offset = 0; offset < file.size(); offset += c.chunk) {
        const size_t size = std::min(c.chunk, file.size() - offset);
        verifier.Feed(reinterpret_cast<const uint8_t*>(file.data()) + offset, size);
    }
    const SignatureCheck check = verifier.Finish();

    EXPECT_EQ(check.verdict, c.verdict);
    EXPECT_EQ(crypto.BytesHashed(), c.hashesAll ? file.size() : 0u);
    if (c.verdict == SignatureVerdict::DoesNotVerify) {
        EXPECT_EQ(check.detail.status, CryptoStatus::SignatureMismatch);
    } else if (c.verdict == SignatureVerdict::CouldNotCheck) {
        EXPECT_EQ(check.detail.code, kFaultCode);
    }
    EXPECT_EQ(verifier.Finish().verdict, c.verdict);
}

using V = SignatureVerdict;
using Step = FakeCryptoStep;

INSTANTIATE_TEST_SUITE_P(
    Cases, SignatureVerdictTest,
    ::testing::Values(
        // name, built key, signer, line, changed byte, failing step, chunk, verdict, hashes all
        VerdictCase{"Good", kMakerKey, kMakerKey, AsSigned, false, {}, k64K, V::Good, true},
        VerdictCase{"UpperCase", kMakerKey, kMakerKey, UpperCase, false, {}, 1000, V::Good, true},
        VerdictCase{"ByteByByte", kMakerKey, kMakerKey, AsSigned, false, {}, 1, V::Good, true},
        VerdictCase{"Missing", kMakerKey, kMakerKey, NoLine, false, {}, k64K, V::Missing, false},
        VerdictCase{
            "Short", kMakerKey, kMakerKey, OneDigitShort, false, {}, k64K, V::Malformed, false},
        VerdictCase{
            "Long", kMakerKey, kMakerKey, OneDigitLong, false, {}, k64K, V::Malformed, false},
        VerdictCase{
            "Blank", kMakerKey, kMakerKey, BlankInside, false, {}, k64K, V::Malformed, false},
        VerdictCase{"NotHex", kMakerKey, kMakerKey, NotHex, false, {}, k64K, V::Malformed, false},
        VerdictCase{
            "WrongKey", kMakerKey, kOtherKey, AsSigned, false, {}, k64K, V::DoesNotVerify, true},
        VerdictCase{
            "ChangedByte", kMakerKey, kMakerKey, AsSigned, true, {}, k64K, V::DoesNotVerify, true},
        VerdictCase{"KeylessGood", "", kMakerKey, AsSigned, false, {}, k64K, V::NotChecked, false},
        VerdictCase{"KeylessNotHex", "", kMakerKey, NotHex, false, {}, k64K, V::NotChecked, false},
        VerdictCase{"HashCannotStart", kMakerKey, kMakerKey, AsSigned, false, Step::StartHash, k64K,
                    V::CouldNotCheck, false},
        VerdictCase{"HashingFails", kMakerKey, kMakerKey, AsSigned, false, Step::HashData, k64K,
                    V::CouldNotCheck, false},
        VerdictCase{"HashCannotFinish", kMakerKey, kMakerKey, AsSigned, false, Step::FinishHash,
                    k64K, V::CouldNotCheck, true},
        VerdictCase{"VerificationFails", kMakerKey, kMakerKey, AsSigned, false, Step::Verify, k64K,
                    V::CouldNotCheck, true}),
    [](const ::testing::TestParamInfo<VerdictCase>& row) { return row.param.name; });

}  // namespace
}  // namespace mivetrak
