#pragma once
// HttpSendRequestA with limits that the library itself may not keep: on connecting, and on the
// answer's headers.
#include <windows.h>
#include <wininet.h>

namespace mivetrak {

// A request opened with this context reports its progress to a status callback; the library
// reports nothing for a request whose context is 0.
constexpr DWORD_PTR kReportingContext = 1;

// Lets SendWithConnectLimit follow the request's connecting. Call once, right after the
// request has been opened with kReportingContext.
bool FollowConnecting(HINTERNET request);

// HttpSendRequestA(request, no headers, no body), made on a thread of its own. When connecting
// (the name lookup and the connection itself) takes longer than the request's connect timeout,
// or the answer's headers have not all come within the request's receive timeout of the
// connection (a server that sends them a byte at a time restarts the library's own idle limit
// with every byte), the call is left to end by itself on that thread and the send fails with
// ERROR_INTERNET_TIMEOUT. error receives the system's error number of a failure.
bool SendWithConnectLimit(HINTERNET request, DWORD& error);

}  // namespace mivetrak
