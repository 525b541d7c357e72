#pragma once
// The process-wide cancel flag: 0 proceed, 1 cancel requested, under its own lock. The shell
// creates the lock first thing and deletes it last; the dialog writes the flag, the worker reads
// it.
#include <cstdint>

namespace mivetrak {

void SetupCancelFlag(int32_t mode);  // nonzero: create the lock and clear the flag; 0: delete it
void SetCancelFlag(int32_t value);
void GetCancelFlag(int32_t& value);
// Whether the lock exists: between SetupCancelFlag(nonzero) and SetupCancelFlag(0).
bool CancelFlagLockExists();

}  // namespace mivetrak
