#include "fakes/fake_windows_ui.h"

namespace mivetrak {

void FakeWindowsUi::ScriptBoxAnswers(std::vector<int> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    boxAnswers_.assign(answers.begin(), answers.end());
}

void FakeWindowsUi::ScriptSendAnswers(std::vector<intptr_t> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendAnswers_.assign(answers.begin(), answers.end());
}

std::vector<FakeWindowsUi::Box> FakeWindowsUi::Boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

std::vector<FakeWindowsUi::Message> FakeWindowsUi::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<FakeWindowsUi::ModalRun> FakeWindowsUi::ModalRuns() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return modalRuns_;
}

int FakeWindowsUi::ShowMessageBox(WindowHandle owner, const std::string& text,
                                  const std::string& caption, uint32_t flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back({owner, text, caption, flags});
    if (boxAnswers_.empty()) return defaultBoxAnswer;
    const int answer = boxAnswers_.front();
    boxAnswers_.pop_front();
    return answer;
}

bool FakeWindowsUi::PostToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) {
    const Message record{false, window, message, wParam, lParam};
    bool result = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(record);
        result = postResult;
    }
    if (onPost) onPost(record);
    return result;
}

intptr_t FakeWindowsUi::SendToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam) {
    const Message record{true, window, message, wParam, lParam};
    intptr_t answer = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(record);
        if (sendAnswers_.empty()) {
            answer = defaultSendAnswer;
        } else {
            answer = sendAnswers_.front();
            sendAnswers_.pop_front();
        }
    }
    if (onSend) onSend(record);
    return answer;
}

std::vector<std::string> FakeWindowsUi::FrontRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frontRequests_;
}

bool FakeWindowsUi::BringToFront(const std::string& caption) {
    std::lock_guard<std::mutex> lock(mutex_);
    frontRequests_.push_back(caption);
    return frontResult;
}

bool FakeWindowsUi::RunModalDialog(ModuleHandle module, int templateId, DialogHandler& handler) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        modalRuns_.push_back({module, templateId});
    }
    const int result = modalScript ? modalScript(handler) : modalResult;
    return result != -1;
}

}  // namespace mivetrak
