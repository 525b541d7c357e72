// Placeholder definitions so that the tree links while this file is being written.
#include "engine/cancel_flag.h"

namespace mivetrak {
void SetupCancelFlag(int32_t) {}
void SetCancelFlag(int32_t) {}
void GetCancelFlag(int32_t& value) { value = 0; }
}  // namespace mivetrak
