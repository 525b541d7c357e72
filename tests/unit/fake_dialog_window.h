#pragma once
// A recording DialogWindow for the progress dialog's tests: controls with texts, boxes answered
// from a script, and every call in order.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/windows_ui.h"
#include "resources/resource_ids.h"

namespace mivetrak {

class FakeDialogWindow : public DialogWindow {
public:
    struct ControlMessage {
        int controlId;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    struct Box {
        std::string text;
        std::string caption;
        uint32_t flags;
    };
    struct Painted {
        int x;
        int y;
        IconHandle icon;
    };

    explicit FakeDialogWindow(WindowHandle handle = reinterpret_cast<WindowHandle>(0x5150))
        : handle_(handle) {
        for (int id : {IDC_PROGRESS_BAR, IDC_STATUS_TEXT, IDC_PERCENT_TEXT}) texts_[id] = "";
    }

    // --- knobs ---
    void RemoveControl(int id) { texts_.erase(id); }
    void ScriptBoxAnswers(std::vector<int> answers) {
        boxAnswers_.assign(answers.begin(), answers.end());
    }
    void SetMinimized(bool minimized) { minimized_ = minimized; }
    void SetClientSize(int width, int height) {
        width_ = width;
        height_ = height;
    }
    void SetIconMetrics(int cx, int cy) {
        cx_ = cx;
        cy_ = cy;
    }
    void FailTextReads(bool fail = true) { failTextReads_ = fail; }
    // Runs inside EndDialog, before it is recorded (to look at other state at that moment).
    std::function<void(int)> onEndDialog;

    // --- records ---
    std::vector<std::string> calls;  // "SetBigIcon", "SetTitle", "SendToControl", "Box", ...
    std::vector<ControlMessage> controlMessages;
    std::vector<Box> boxes;
    std::vector<int> endResults;
    std::vector<Painted> painted;
    IconHandle bigIcon = nullptr;
    IconHandle smallIcon = nullptr;
    std::optional<std::string> title;
    std::string Text(int id) const {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::string() : it->second;
    }
    void SetText(int id, const std::string& text) { texts_[id] = text; }
    bool Ended() const { return !endResults.empty(); }

    // --- DialogWindow ---
    WindowHandle Handle() override { return handle_; }
    void SetBigIcon(IconHandle icon) override {
        calls.push_back("SetBigIcon");
        bigIcon = icon;
    }
    void SetSmallIcon(IconHandle icon) override {
        calls.push_back("SetSmallIcon");
        smallIcon = icon;
    }
    void SetTitle(const std::string& text) override {
        calls.push_back("SetTitle");
        title = text;
    }
    intptr_t SendToControl(int controlId, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) override {
        calls.push_back("SendToControl");
        controlMessages.push_back({controlId, message, wParam, lParam});
        return 0;
    }
    bool HasControl(int controlId) override { return texts_.count(controlId) != 0; }
    void SetControlText(int controlId, const std::string& text) override {
        calls.push_back("SetControlText");
        texts_[controlId] = text;
    }
    bool GetControlText(int controlId, std::string& text) override {
        calls.push_back("GetControlText");
        if (failTextReads_ || texts_.count(controlId) == 0) return false;
        text = texts_[controlId];
        return true;
    }
    int ShowOwnedMessageBox(const std::string& text, const std::string& caption,
                            uint32_t flags) override {
        calls.push_back("Box");
        boxes.push_back({text, caption, flags});
        if (boxAnswers_.empty()) return kIdOk;
        const int answer = boxAnswers_.front();
        boxAnswers_.pop_front();
        return answer;
    }
    void EndDialog(int result) override {
        if (onEndDialog) onEndDialog(result);
        calls.push_back("EndDialog");
        endResults.push_back(result);
    }
    bool IsMinimized() override { return minimized_; }
    void ClientSize(int& width, int& height) override {
        width = width_;
        height = height_;
    }
    void IconMetrics(int& cx, int& cy) override {
        cx = cx_;
        cy = cy_;
    }
    void PaintIcon(int x, int y, IconHandle icon) override {
        calls.push_back("PaintIcon");
        painted.push_back({x, y, icon});
    }

private:
    WindowHandle handle_;
    std::map<int, std::string> texts_;
    std::deque<int> boxAnswers_;
    bool minimized_ = false;
    bool failTextReads_ = false;
    int width_ = 0;
    int height_ = 0;
    int cx_ = 32;
    int cy_ = 32;
};

}  // namespace mivetrak
