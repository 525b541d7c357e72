// The maker's release statement: each value read as the index writes it, the signature over
// exactly the statement's lines, and its expiry against the machine's clock.
#include "engine/release_statement.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "fakes/fake_crypto.h"
#include "fakes/fake_system.h"
#include "support/test_time.h"

namespace mivetrak {
namespace {

const std::string kBody = "the released database";
const SystemTime kNow = MakeTime(2026, 12, 7, 21, 0, 0);

// The values as the maker's tool writes them, signed with key.
IndexStatement Signed(IndexStatement values, const char* key = kTestMakerKey) {
    values.signature = FakeCrypto::SignatureText(*ParsePublicKey(key), StatementText(values));
    return values;
}

IndexStatement Published(const std::string& expires = "") {
    IndexStatement values{std::to_string(kBody.size()), "Tue, 05 Mar 2024 06:07:08 GMT",
                          DigestText(FakeCrypto::Digest(kBody)), expires, ""};
    return Signed(values);
}

struct VerdictCase {
    const char* name;
    std::function<IndexStatement()> values;
    StatementVerdict verdict;
    const char* key;     // the value missing or malformed
    const char* logged;  // part of the log's sentence
};

IndexStatement With(IndexStatement values, std::string IndexStatement::*field,
                    const std::string& text, bool resign) {
    values.*field = text;
    return resign ? Signed(values) : values;
}

TEST(ReleaseStatement, VerdictTable) {
    using V = StatementVerdict;
    using S = IndexStatement;
    const VerdictCase cases[] = {
        {"published", [] { return Published(); }, V::Good, "", "21 bytes, released 2024-03-05"},
        {"published with an expiry ahead",
         [] { return Published("Thu, 31 Dec 2026 23:59:59 GMT"); }, V::Good, "", "verifies"},
        {"no Length", [] { return With(Published(), &S::length, "", true); }, V::Missing, "Length",
         "gives no Length="},
        {"no Released", [] { return With(Published(), &S::released, "", true); }, V::Missing,
         "Released", "gives no Released="},
        {"no SHA256", [] { return With(Published(), &S::sha256, "", true); }, V::Missing, "SHA256",
         "gives no SHA256="},
        {"no signature", [] { return With(Published(), &S::signature, "", false); }, V::Missing,
         "Signature", "gives no Signature="},
        {"a length of 0", [] { return With(Published(), &S::length, "0", true); }, V::Malformed,
         "Length", "is not a decimal length"},
        {"a length with a leading zero", [] { return With(Published(), &S::length, "022", true); },
         V::Malformed, "Length", "is not a decimal length"},
        {"a length beyond 32 bits",
         [] { return With(Published(), &S::length, "4294967296", true); }, V::Malformed, "Length",
         ""},
        {"an obsolete date form",
         [] { return With(Published(), &S::released, "Tuesday, 05-Mar-24 06:07:08 GMT", true); },
         V::Malformed, "Released", "is not an HTTP date of the form"},
        {"a weekday that is not the date's",
         [] { return With(Published(), &S::released, "Wed, 05 Mar 2024 06:07:08 GMT", true); },
         V::Malformed, "Released", ""},
        {"a year no file can keep",
         [] { return With(Published(), &S::released, "Fri, 05 Mar 2500 06:07:08 GMT", true); },
         V::Malformed, "Released", ""},
        {"a digest in capitals",
         [] {
             S values = Published();
             for (char& c : values.sha256) c = static_cast<char>(std::toupper(c));
             return Signed(values);
         },
         V::Malformed, "SHA256", "64 lowercase hex digits"},
        {"a short signature",
         [] {
             S values = Published();
             values.signature.pop_back();
             return values;
         },
         V::Malformed, "Signature", "128 hex digits"},
        {"a malformed expiry", [] { return Published("tomorrow"); }, V::Malformed, "Expires", ""},
        {"a length changed after signing",
         [] { return With(Published(), &S::length, "23", false); }, V::DoesNotVerify, "",
         "not signed with the maker's key (BCryptVerifySignature: status 0xC000A000)"},
        {"a time changed after signing",
         [] { return With(Published(), &S::released, "Wed, 06 Mar 2024 06:07:08 GMT", false); },
         V::DoesNotVerify, "", "not signed with the maker's key"},
        {"signed with another key", [] { return Signed(Published(), kTestOtherKey); },
         V::DoesNotVerify, "", ""},
        {"expired", [] { return Published("Mon, 07 Dec 2026 20:59:59 GMT"); }, V::Expired, "",
         "The update information expired on 2026-12-07 20:59:59 UTC"},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCrypto crypto;
        FakeSystem system;
        const IndexStatement values = c.values();
        const StatementCheck check =
            CheckStatement(crypto, *ParsePublicKey(kTestMakerKey), values, kNow);
        EXPECT_EQ(check.verdict, c.verdict);
        EXPECT_STREQ(check.key, c.key);
        const std::string sentence = DescribeStatementCheck(system, check, values);
        EXPECT_NE(sentence.find(c.logged), std::string::npos) << sentence;
        if (c.verdict == V::Good) {
            EXPECT_EQ(check.statement.length, kBody.size());
            EXPECT_TRUE(SameSecond(check.statement.released, MakeTime(2024, 3, 5, 6, 7, 8)));
            EXPECT_EQ(check.statement.sha256, FakeCrypto::Digest(kBody));
        }
    }
}

TEST(ReleaseStatement, AFailureOfTheSystemsCryptographyChecksNothing) {
    FakeCrypto crypto;
    FakeSystem system;
    crypto.Fail(FakeCryptoStep::Verify, {CryptoStatus::CallFailed, 0xC0000017u, "BCryptVerify"});
    const IndexStatement values = Published();
    const StatementCheck check =
        CheckStatement(crypto, *ParsePublicKey(kTestMakerKey), values, kNow);
    EXPECT_EQ(check.verdict, StatementVerdict::CouldNotCheck);
    EXPECT_NE(DescribeStatementCheck(system, check, values)
                  .find("BCryptVerify failed with status 0xC0000017"),
              std::string::npos);
}

}  // namespace
}  // namespace mivetrak
