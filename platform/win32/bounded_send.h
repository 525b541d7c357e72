#pragma once
// HttpSendRequestA with a limit on connecting that the library itself may not keep.
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
// the call is left to end by itself on that thread and the send fails with
// ERROR_INTERNET_TIMEOUT. error receives the system's error number of a failure.
bool SendWithConnectLimit(HINTERNET request, DWORD& error);

}  // namespace mivetrak
