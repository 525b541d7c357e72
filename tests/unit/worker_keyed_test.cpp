// A program built with the maker's key believes the maker's release statement and nothing the
// servers say that it does not confirm: the statement's time decides which copies are updated
// and is stamped on them, no query is sent, and only bytes of the statement's length and SHA-256
// are installed, from the primary URL or else the backup.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/release_statement.h"
#include "unit/network_outcomes.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

const SystemTime kReleased = MakeTime(2022, 3, 9, 14, 25, 36);
const SystemTime kForgedTime = MakeTime(2069, 1, 1, 0, 0, 0);

// The index with the maker's statement about body, released at the given time.
std::string SignedIndex(const std::string& body, const SystemTime& released) {
    IndexStatement values{std::to_string(body.size()), HttpDateText(released),
                          DigestText(FakeCrypto::Digest(body)), "", ""};
    values.signature =
        FakeCrypto::SignatureText(*ParsePublicKey(kTestMakerKey), StatementText(values));
    return IndexText(kPrimaryUrl, kBackupUrl) + "Length=" + values.length +
           "\r\nReleased=" + values.released + "\r\nSHA256=" + values.sha256 +
           "\r\nSignature=" + values.signature + "\r\n";
}

std::string ChangedByte(std::string bytes) {
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    return bytes;
}

struct KeyedCase {
    const char* name;
    SystemTime released;
    std::function<void(WorkerRig&, FakeHttpResponse& primary, FakeHttpResponse& backup)> serve;
    ExitCode result;
    const char* from;  // the URL whose bytes were installed; nullptr: none
    const char* alert;
};

void AsPublished(WorkerRig&, FakeHttpResponse&, FakeHttpResponse&) {}

TEST(WorkerKeyed, TheStatementDecides) {
    using R = FakeHttpResponse;
    const KeyedCase cases[] = {
        {"the statement's release, newer than the copies", kReleased, AsPublished, ExitCode::Done,
         kPrimaryUrl, nullptr},
        {"a replayed statement older than the copies", MakeTime(2021, 1, 1, 0, 0, 0), AsPublished,
         ExitCode::Done, nullptr, "A4"},
        {"the primary announces another length", kReleased,
         [](WorkerRig&, R& primary, R&) { primary.contentLength = "9999"; }, ExitCode::Done,
         kBackupUrl, nullptr},
        {"the primary sends other bytes", kReleased,
         [](WorkerRig& r, R& primary, R&) { primary.body = ChangedByte(r.body); }, ExitCode::Done,
         kBackupUrl, nullptr},
        {"the primary cannot be reached", kReleased,
         [](WorkerRig&, R& primary, R&) { primary.sendError = 12029; }, ExitCode::Done, kBackupUrl,
         nullptr},
        {"neither sends the released bytes", kReleased,
         [](WorkerRig& r, R& primary, R& backup) {
             primary.body = backup.body = ChangedByte(r.body);
         },
         ExitCode::NotObtained, nullptr, "A5"},
        {"an endless body without a length", kReleased,
         [](WorkerRig& r, R& primary, R& backup) {
             primary.body = backup.body = r.body + std::string(1000000, 'x');
             primary.contentLength = backup.contentLength = std::nullopt;
         },
         ExitCode::NotObtained, nullptr, "A5"},
    };
    for (const KeyedCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', true);
        rig.deployment.publicKey = ParsePublicKey(kTestMakerKey);
        rig.fake.internet.AddHttp(kTestIndexUrl, R::Ok(SignedIndex(rig.body, c.released), {}));
        // The servers' own times are forged: they must count for nothing.
        R primary = R::Ok(rig.body, kForgedTime);
        R backup = R::Ok(rig.body, kForgedTime);
        c.serve(rig, primary, backup);
        rig.fake.internet.AddHttp(kPrimaryUrl, primary);
        rig.fake.internet.AddHttp(kBackupUrl, backup);

        EXPECT_EQ(rig.Run(), c.result);
        const std::vector<std::string> seen = SeenLines(rig.fake.internet);
        for (const std::string& line : seen) {
            EXPECT_EQ(line.rfind("HEAD", 0), std::string::npos) << line;
        }
        if (c.from != nullptr) {
            rig.ExpectNewDatabaseIn('A');  // stamped with the statement's time
        } else {
            rig.ExpectOldDatabaseIn('A');
        }
        if (c.alert != nullptr) {
            EXPECT_EQ(rig.Messages().back(), c.alert);
        }
        // Never more than the statement's length and one byte of any body.
        EXPECT_LE(rig.BytesDelivered(),
                  SignedIndex(rig.body, c.released).size() + 2 * (rig.body.size() + 1));
        EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
        rig.ExpectNothingLeftOpen();
    }
}

// A statement that does not verify ends the run before anything is downloaded.
TEST(WorkerKeyed, AStatementThatDoesNotVerifyDownloadsNothing) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.deployment.publicKey = ParsePublicKey(kTestOtherKey);
    rig.fake.internet.AddHttp(kTestIndexUrl,
                              FakeHttpResponse::Ok(SignedIndex(rig.body, kReleased), {}));
    EXPECT_EQ(rig.Run(), ExitCode::NotObtained);
    EXPECT_EQ(rig.Messages(), (Strings{"P0:0", "P0:20", "P0:50", "A3"}));
    EXPECT_EQ(SeenLines(rig.fake.internet).size(), 1u);  // the index alone
    EXPECT_TRUE(rig.fake.log.Contains("is not signed with the maker's key"));
    rig.ExpectOldDatabaseIn('A');
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
