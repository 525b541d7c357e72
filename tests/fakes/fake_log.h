#pragma once
// A log that keeps its sentences in memory, for tests that check what a run wrote.
#include <mutex>
#include <string>
#include <vector>

#include "platform/log.h"

namespace mivetrak {

class RecordingLog final : public Log {
public:
    void Write(const std::string& sentence) override {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(sentence);
    }
    void StartFileIn(const std::string& folder) override {
        std::lock_guard<std::mutex> guard(lock_);
        folder_ = folder;
    }
    // The folder the program named for the log's file ("" when it named none).
    std::string FileFolder() const {
        std::lock_guard<std::mutex> guard(lock_);
        return folder_;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    // Whether some sentence contains the text.
    bool Contains(const std::string& text) const {
        std::lock_guard<std::mutex> guard(lock_);
        for (const std::string& line : lines_) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    std::string folder_;
};

}  // namespace mivetrak
