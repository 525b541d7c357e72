#pragma once
// The process-wide cancel flag, raised when the user asks to stop, under its own lock. The shell
// creates the lock first thing and deletes it last; the dialog raises the flag, the worker reads
// it.
#include <mutex>

namespace mivetrak {

// true: create the lock and lower the flag; false: delete the lock (the flag keeps its value).
void SetupCancelFlag(bool create);
void SetCancelFlag(bool raised);
void GetCancelFlag(bool& raised);
// The lock, from SetupCancelFlag(true) to SetupCancelFlag(false); null outside that time. Whoever
// holds it keeps both accessors waiting.
std::mutex* CancelFlagLock();

// The worker's poll: true when the user has asked to stop.
bool CancelRequested();

}  // namespace mivetrak
