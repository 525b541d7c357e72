#pragma once
// A recording WindowsUi for unit tests.
//
// Message boxes: every box is recorded (owner, text, caption, flags); answers come from
//   ScriptBoxAnswers({...}) in order, then defaultBoxAnswer (kIdOk unless set).
// Posted and sent messages: recorded in order with their window and parameters (Messages());
//   a post answers postResult (true unless set); a send answers the next of
//   ScriptSendAnswers({...}), then defaultSendAnswer (0 unless set).
//   onPost / onSend, when set, run after the message is recorded and outside the fake's lock
//   (for example to set the cancel flag when a certain progress arrives).
// Modal dialogs: every RunModalDialog is recorded (module, template); modalScript, when set, runs
//   with the handler and gives the dialog's end value; otherwise the end value is modalResult
//   (-1 unless set: the dialog could not be created, and the call fails).
// BringToFront: recorded (FrontRequests()); answers frontResult (true unless set).
// All of it may be used from the worker thread while the test's thread reads the records.
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/windows_ui.h"

namespace mivetrak {

class FakeWindowsUi : public WindowsUi {
public:
    struct Box {
        WindowHandle owner;
        std::string text;
        std::string caption;
        uint32_t flags;
    };
    struct Message {
        bool sent;  // false: posted
        WindowHandle window;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    struct ModalRun {
        ModuleHandle module;
        int templateId;
    };

    // --- knobs (set before the code under test runs) ---
    void ScriptBoxAnswers(std::vector<int> answers);
    void ScriptSendAnswers(std::vector<intptr_t> answers);
    int defaultBoxAnswer = kIdOk;
    bool postResult = true;
    intptr_t defaultSendAnswer = 0;
    std::function<void(const Message&)> onPost;
    std::function<void(const Message&)> onSend;
    std::function<int(DialogHandler&)> modalScript;
    int modalResult = -1;
    bool frontResult = true;

    // --- records ---
    std::vector<Box> Boxes() const;
    std::vector<Message> Messages() const;
    std::vector<ModalRun> ModalRuns() const;
    std::vector<std::string> FrontRequests() const;  // the captions asked for

    // --- WindowsUi ---
    int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                       uint32_t flags) override;
    bool PostToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) override;
    intptr_t SendToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                          intptr_t lParam) override;
    bool BringToFront(const std::string& caption) override;
    bool RunModalDialog(ModuleHandle module, int templateId, DialogHandler& handler) override;

private:
    mutable std::mutex mutex_;
    std::deque<int> boxAnswers_;
    std::deque<intptr_t> sendAnswers_;
    std::vector<Box> boxes_;
    std::vector<Message> messages_;
    std::vector<ModalRun> modalRuns_;
    std::vector<std::string> frontRequests_;
};

}  // namespace mivetrak
