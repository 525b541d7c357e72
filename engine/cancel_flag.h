#pragma once
// The process-wide cancel flag, raised when the user asks to stop, under its own lock. The shell
// creates the lock first thing and deletes it last; the dialog raises the flag, the worker reads
// it.
namespace mivetrak {

// true: create the lock and lower the flag; false: delete the lock (the flag keeps its value).
void SetupCancelFlag(bool create);
void SetCancelFlag(bool raised);
void GetCancelFlag(bool& raised);
// Whether the lock exists: between SetupCancelFlag(true) and SetupCancelFlag(false).
bool CancelFlagLockExists();

// The worker's poll: true when the user has asked to stop.
bool CancelRequested();

}  // namespace mivetrak
