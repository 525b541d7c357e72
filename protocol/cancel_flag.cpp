#include "protocol/cancel_flag.h"

namespace mivetrak {

void CancelFlag::Raise() {
    std::lock_guard<std::mutex> guard(lock_);
    raised_ = true;
}

bool CancelFlag::Raised() const {
    std::lock_guard<std::mutex> guard(lock_);
    return raised_;
}

}  // namespace mivetrak
