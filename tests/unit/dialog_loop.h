#pragma once
// The modal loop of a dialog in the unit tests: what the worker posts to the dialog's window
// reaches the dialog's handler on the thread that runs the loop, as the system's message loop
// would hand it over.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "fakes/fake_windows_ui.h"
#include "unit/fake_dialog_window.h"

namespace mivetrak {

// Posted messages on their way to the dialog: the fake's posts land here, and the modal loop
// takes them out.
class MessageQueue {
public:
    void Push(const FakeWindowsUi::Message& message) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(message);
        }
        ready_.notify_one();
    }
    bool Pop(FakeWindowsUi::Message& message) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ready_.wait_for(lock, std::chrono::seconds(10), [&] { return !queue_.empty(); })) {
            return false;
        }
        message = queue_.front();
        queue_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<FakeWindowsUi::Message> queue_;
};

// Makes every modal dialog of ui run a loop over the worker's posted messages until the dialog
// ends; the boxes the dialog showed are kept in boxes.
inline void LoopModalDialogs(FakeWindowsUi& ui, MessageQueue& queue,
                             std::vector<FakeDialogWindow::Box>& boxes) {
    ui.onPost = [&queue](const FakeWindowsUi::Message& m) { queue.Push(m); };
    ui.modalScript = [&queue, &boxes](DialogHandler& handler) {
        FakeDialogWindow window;
        handler.OnInitDialog(window);
        while (!window.Ended()) {
            FakeWindowsUi::Message m{};
            if (!queue.Pop(m)) {
                ADD_FAILURE() << "the dialog waited in vain for the worker";
                handler.OnCancel(window);
                break;
            }
            intptr_t result = 0;
            handler.OnApplicationMessage(window, m.message, m.wParam, m.lParam, result);
        }
        boxes = window.boxes;
        handler.OnDestroy();
        return window.endResults.front();
    };
}

}  // namespace mivetrak
