#pragma once
// The maker's signed statement about a release, carried by the update index: the database's
// length, its release time and its SHA-256, optionally the time the statement expires, and the
// maker's ECDSA P-256 signature over exactly these lines, each ending in one LF:
//
//   Mivetrak database statement 1
//   Length: <Length value>
//   Released: <Released value>
//   SHA-256: <SHA256 value>
//   Expires: <Expires value>          (only when the index gives Expires=)
//
// A program built with the maker's key believes nothing about the release that the statement
// does not say: not the server's time, not its length, not its bytes.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto.h"
#include "platform/system.h"
#include "platform/types.h"

namespace mivetrak {

// Exactly 128 hex digits in any case and nothing else (no blanks, no prefix): X then Y of the
// key, r then s of the signature, 32 big-endian bytes each. None for anything else.
std::optional<P256PublicKey> ParsePublicKey(std::string_view text);
std::optional<P256Signature> ParseSignature(std::string_view text);

// The statement's values as the index writes them ("" for one it does not give).
struct IndexStatement {
    std::string length;
    std::string released;
    std::string sha256;
    std::string expires;
    std::string signature;
};

// The statement's values once read.
struct ReleaseStatement {
    uint32_t length = 0;
    SystemTime released;
    Sha256Digest sha256{};
    std::optional<SystemTime> expires;
};

enum class StatementVerdict {
    Good,
    Missing,        // the index does not give a value the statement needs
    Malformed,      // a value is not of its form
    DoesNotVerify,  // the signature is not the key's over these values
    CouldNotCheck,  // the system's cryptography failed; nothing is known
    Expired,        // signed, but its Expires lies before the machine's clock
};

struct StatementCheck {
    StatementVerdict verdict = StatementVerdict::Good;
    // The index key that is missing or malformed ("Length", ...).
    const char* key = "";
    // The system's answer behind DoesNotVerify and CouldNotCheck.
    CryptoOutcome detail;
    // Good and Expired: what the statement says.
    ReleaseStatement statement;
};

// The bytes the maker signs, of values that are each well-formed.
std::string StatementText(const IndexStatement& values);

// Reads and checks the statement against the key; now is the machine's clock in UTC.
StatementCheck CheckStatement(Crypto& crypto, const P256PublicKey& key,
                              const IndexStatement& values, const SystemTime& now);

// The log's sentence for a check: what the statement says, or why it is refused.
std::string DescribeStatementCheck(System& system, const StatementCheck& check,
                                   const IndexStatement& values);

// Lowercase hex of a digest.
std::string DigestText(const Sha256Digest& digest);

// Why the system's cryptography failed, for a log line: the system's error text when it is not
// to be had, or else the status it answered with.
std::string DescribeCryptoFailure(System& system, const CryptoOutcome& failed);

}  // namespace mivetrak
