#include "engine/release_statement.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/file_metadata.h"
#include "net/http_date.h"
#include "platform/ascii_text.h"
#include "platform/log.h"

namespace mivetrak {

namespace {

int HexDigitValue(char c, bool lowercaseOnly) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (!lowercaseOnly && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <size_t N>
bool ParseHexBytes(std::string_view text, std::array<uint8_t, N>& bytes, bool lowercaseOnly) {
    if (text.size() != N * 2) return false;
    for (size_t i = 0; i < N; ++i) {
        const int high = HexDigitValue(text[2 * i], lowercaseOnly);
        const int low = HexDigitValue(text[2 * i + 1], lowercaseOnly);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

// A length: decimal digits without a leading zero, at least 1, within 32 bits.
bool ParseLength(const std::string& text, uint32_t& length) {
    return !text.empty() && text[0] != '0' && ParseDecimal(text, length);
}

// An HTTP date of the one fixed form "Tue, 05 Mar 2024 06:07:08 GMT", its weekday the date's,
// within the years a file can keep.
bool ParseFixedDate(const std::string& text, SystemTime& time) {
    static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    SystemTime read;
    if (text.size() != 29 || text.compare(3, 2, ", ") != 0 || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text.compare(25, 4, " GMT") != 0 || !ParseHttpDate(text, read) ||
        read.wDayOfWeek > 6 || text.compare(0, 3, kWeekdays[read.wDayOfWeek]) != 0) {
        return false;
    }
    time = read;
    return true;
}

// Reads every value; false with the key of the first that is missing or malformed.
bool ReadValues(const IndexStatement& values, ReleaseStatement& statement, P256Signature& signature,
                StatementCheck& check) {
    const struct {
        const char* key;
        const std::string& text;
        bool parsed;
    } fields[] = {
        {"Length", values.length, ParseLength(values.length, statement.length)},
        {"Released", values.released, ParseFixedDate(values.released, statement.released)},
        {"SHA256", values.sha256, ParseHexBytes(values.sha256, statement.sha256, true)},
        {"Signature", values.signature, ParseHexBytes(values.signature, signature.rs, false)},
    };
    for (const auto& field : fields) {
        if (field.text.empty() || !field.parsed) {
            check.verdict =
                field.text.empty() ? StatementVerdict::Missing : StatementVerdict::Malformed;
            check.key = field.key;
            return false;
        }
    }
    if (values.expires.empty()) return true;
    SystemTime expires;
    if (!ParseFixedDate(values.expires, expires)) {
        check.verdict = StatementVerdict::Malformed;
        check.key = "Expires";
        return false;
    }
    statement.expires = expires;
    return true;
}

CryptoOutcome HashText(Crypto& crypto, const std::string& text, Sha256Digest& digest) {
    std::unique_ptr<Sha256Hash> hash;
    CryptoOutcome outcome = crypto.StartSha256(hash);
    if (outcome.Ok()) {
        outcome = hash->Update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    if (outcome.Ok()) outcome = hash->Finish(digest);
    return outcome;
}

std::string StatusText(uint32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

const char* FormOf(const std::string& key) {
    if (key == "Length") return "a decimal length of at least 1 without leading zeros";
    if (key == "SHA256") return "64 lowercase hex digits";
    if (key == "Signature") return "128 hex digits";
    return "an HTTP date of the form \"Tue, 05 Mar 2024 06:07:08 GMT\" between 1902 and 2445";
}

const std::string& ValueOf(const IndexStatement& values, const std::string& key) {
    if (key == "Length") return values.length;
    if (key == "Released") return values.released;
    if (key == "SHA256") return values.sha256;
    if (key == "Expires") return values.expires;
    return values.signature;
}

}  // namespace

std::optional<P256PublicKey> ParsePublicKey(std::string_view text) {
    P256PublicKey key;
    if (!ParseHexBytes(text, key.xy, false)) return std::nullopt;
    return key;
}

std::optional<P256Signature> ParseSignature(std::string_view text) {
    P256Signature signature;
    if (!ParseHexBytes(text, signature.rs, false)) return std::nullopt;
    return signature;
}

std::string StatementText(const IndexStatement& values) {
    std::string text = "Mivetrak database statement 1\nLength: " + values.length +
                       "\nReleased: " + values.released + "\nSHA-256: " + values.sha256 + "\n";
    if (!values.expires.empty()) text += "Expires: " + values.expires + "\n";
    return text;
}

StatementCheck CheckStatement(Crypto& crypto, const P256PublicKey& key,
                              const IndexStatement& values, const SystemTime& now) {
    StatementCheck check;
    P256Signature signature;
    if (!ReadValues(values, check.statement, signature, check)) return check;
    Sha256Digest digest;
    check.detail = HashText(crypto, StatementText(values), digest);
    if (check.detail.Ok()) check.detail = crypto.VerifyP256(key, digest, signature);
    if (check.detail.status == CryptoStatus::SignatureMismatch) {
        check.verdict = StatementVerdict::DoesNotVerify;
    } else if (!check.detail.Ok()) {
        check.verdict = StatementVerdict::CouldNotCheck;
    } else if (check.statement.expires &&
               CompareSystemTimes(*check.statement.expires, now) == TimeOrder::Earlier) {
        check.verdict = StatementVerdict::Expired;
    }
    return check;
}

std::string DescribeStatementCheck(System& system, const StatementCheck& check,
                                   const IndexStatement& values) {
    const std::string nothing = "; nothing is downloaded.";
    const CryptoOutcome& detail = check.detail;
    switch (check.verdict) {
        case StatementVerdict::Good:
            return "The maker's release statement verifies: " + values.length +
                   " bytes, released " + DescribeTime(check.statement.released) + ", SHA-256 " +
                   values.sha256 + ".";
        case StatementVerdict::Missing:
            return std::string("The update index gives no ") + check.key +
                   "= for the maker's release statement" + nothing;
        case StatementVerdict::Malformed:
            return std::string("The update index's ") + check.key + "=" +
                   QuotedForLog(ValueOf(values, check.key)) + " is not " + FormOf(check.key) +
                   nothing;
        case StatementVerdict::DoesNotVerify:
            return std::string(
                       "The release statement of the update index is not signed with the "
                       "maker's key (") +
                   detail.operation + ": status " + StatusText(detail.code) + ")" + nothing;
        case StatementVerdict::Expired:
            return "The update information expired on " + DescribeTime(*check.statement.expires) +
                   nothing;
        case StatementVerdict::CouldNotCheck:
            break;
    }
    return std::string("Could not check the release statement's signature: ") + detail.operation +
           " failed with " + DescribeCryptoFailure(system, detail) + nothing;
}

std::string DigestText(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::string DescribeCryptoFailure(System& system, const CryptoOutcome& failed) {
    return failed.status == CryptoStatus::Unavailable ? DescribeSystemError(system, failed.code)
                                                      : "status " + StatusText(failed.code);
}

}  // namespace mivetrak
