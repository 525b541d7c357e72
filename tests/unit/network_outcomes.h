#pragma once
// What the transfers of a test came to on the network, read from the fake Internet's record: the
// requests that reached the servers, the body bytes they sent, and whether every handle was
// closed as the Internet library expects. Tests state these outcomes rather than the library
// calls that led to them.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fakes/fake_internet.h"

namespace mivetrak {

// A request as its server saw it.
struct SeenRequest {
    // "VERB http://host[:port]/path" for each send of an HTTP request that its server answered
    // ("https://" for one sent securely), "RETR ftp://host[:port]/path" for each FTP file asked
    // for; the port only when it is not the scheme's own (80, 443, 21).
    std::string line;
    std::string agent;     // of the root it went through
    std::string user;      // the login given to its connection
    std::string password;  // likewise
    uint32_t flags = 0;    // it was opened with
    // The waits its connection was limited to when it was opened, which it inherits (0: none).
    uint32_t connectTimeout = 0;
    uint32_t idleTimeout = 0;
};

// Every request the servers saw, in the order they saw them.
std::vector<SeenRequest> SeenRequests(const FakeInternet& internet);
// The lines of those requests.
std::vector<std::string> SeenLines(const FakeInternet& internet);
// The body bytes that the servers delivered.
size_t BodyBytesRead(const FakeInternet& internet);
// Success when exactly stillOpen handles are open and every other one was closed once, after
// the handles opened under it (closing a handle first would cut those off in the library).
::testing::AssertionResult HandlesClosed(const FakeInternet& internet, size_t stillOpen = 0);

}  // namespace mivetrak
