// The worker's signature check between the download and the installation, against the fakes:
// each verdict, from either URL, and what it leaves in the folders, the work folder and the log.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/signature.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

std::string MakerSignature(const std::string& bytes) {
    return FakeCrypto::SignatureText(*ParsePublicKey(kTestMakerKey), bytes);
}

std::string ChangedByte(std::string bytes) {
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    return bytes;
}

struct SignatureRunCase {
    const char* name;
    bool keyBuiltIn;
    // The index's Signature= value ("" for no line), given the database that the maker published.
    std::function<std::string(const std::string& published)> signature;
    std::function<void(WorkerRig&)> arm;
    ExitCode result;
    const char* logged;  // part of the one log line about the signature
};

void Nothing(WorkerRig&) {}
void ServeChangedByte(WorkerRig& r) {
    r.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok(ChangedByte(r.body), ServerTime()));
}

TEST(WorkerSignature, VerdictTable) {
    using V = ExitCode;
    const std::string primary = std::string("from \"") + kPrimaryUrl + "\"";
    const std::string backup = std::string("from \"") + kBackupUrl + "\"";
    const std::vector<SignatureRunCase> cases = {
        {"the maker's signature", true, MakerSignature, Nothing, V::Done, "verifies"},
        {"no key built in: a line that is no signature is ignored", false,
         [](const std::string&) { return "not a signature"; }, Nothing, V::Done,
         "No public key is built in"},
        {"no signature", true, [](const std::string&) { return ""; }, Nothing, V::NotObtained,
         "gives no signature"},
        {"a changed byte", true, MakerSignature, ServeChangedByte, V::NotObtained,
         "is not the maker's over the database from \"http://primary.test/db/Tolvar32.bdb\" "
         "(BCryptVerifySignature: status 0xC000A000)"},
        {"a changed byte from the backup URL", true, MakerSignature,
         [](WorkerRig& r) {
             r.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::WithStatus(404));
             r.fake.internet.AddHttp(kBackupUrl,
                                     FakeHttpResponse::Ok(ChangedByte(r.body), ServerTime()));
         },
         V::NotObtained, "is not the maker's"},
        {"hashing fails", true, MakerSignature,
         [](WorkerRig& r) {
             r.fake.crypto.Fail(FakeCryptoStep::HashData,
                                {CryptoStatus::CallFailed, 0xC0000017u, "BCryptHashData"});
         },
         V::NotObtained, "BCryptHashData failed with status 0xC0000017"},
        {"the cryptography cannot be loaded", true, MakerSignature,
         [](WorkerRig& r) {
             r.fake.crypto.Fail(FakeCryptoStep::StartHash,
                                {CryptoStatus::Unavailable, kErrorModNotFound, "LoadLibraryExA"});
         },
         V::NotObtained, "LoadLibraryExA failed with error 126"},
    };
    for (const SignatureRunCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', true);
        rig.AddFolder('B', false);
        if (c.keyBuiltIn) rig.deployment.publicKey = ParsePublicKey(kTestMakerKey);
        const std::string signature = c.signature(rig.body);
        rig.fake.internet.AddHttp(
            kTestIndexUrl,
            FakeHttpResponse::Ok(IndexText(kPrimaryUrl, kBackupUrl) +
                                     (signature.empty() ? "" : "Signature=" + signature + "\r\n"),
                                 {}));
        c.arm(rig);

        EXPECT_EQ(rig.Run(), c.result);
        std::vector<std::string> signatureLines;
        for (const std::string& line : rig.fake.log.Lines()) {
            if (line.find("signature") != std::string::npos) signatureLines.push_back(line);
        }
        ASSERT_EQ(signatureLines.size(), 1u);
        EXPECT_NE(signatureLines[0].find(c.logged), std::string::npos) << signatureLines[0];
        const bool fromBackup = rig.fake.internet.SendCount(kBackupUrl) > 0;
        EXPECT_NE(signatureLines[0].find(fromBackup ? backup : primary), std::string::npos)
            << signatureLines[0];
        // A program with a key hashes every byte of what it installs once; one without, none.
        const bool installed = c.result == V::Done;
        if (installed || !c.keyBuiltIn) {
            EXPECT_EQ(rig.fake.crypto.BytesHashed(), c.keyBuiltIn ? rig.body.size() : 0u);
        }
        if (installed) {
            rig.ExpectNewDatabaseIn('A');
            rig.ExpectNewDatabaseIn('B');
        } else {
            Strings refused = kCheck;
            refused.insert(refused.end(), {"P1:0", "A5"});
            EXPECT_EQ(rig.MessagesWithoutDownloadPercent(), refused);
            rig.ExpectOldDatabaseIn('A');
            EXPECT_FALSE(rig.fake.files.Exists(DatabaseIn('B')));
        }
        rig.ExpectNoBackupIn('A');
        EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
        rig.ExpectNothingLeftOpen();
    }
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
