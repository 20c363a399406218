#pragma once
// A message-box provider for tests: records every box and answers from a
// script (IDOK for plain boxes, the next scripted answer for questions).

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace carillon::testing {

class RecordingMessageBoxProvider : public platform::MessageBoxProvider {
public:
    RecordingMessageBoxProvider() : scope_(this) {}

    int Show(const platform::MessageBoxRequest& request) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back(request);
        if ((request.flags & platform::MB_BUTTON_MASK) != platform::MB_YESNO) return platform::IDOK;
        if (answers_.empty()) return platform::IDNO;
        int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    void AnswerNext(int answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(answer);
    }

    std::vector<platform::MessageBoxRequest> Boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }

    std::vector<std::string> Texts() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const auto& box : boxes_) texts.push_back(box.text);
        return texts;
    }

private:
    mutable std::mutex mutex_;
    std::vector<platform::MessageBoxRequest> boxes_;
    std::deque<int> answers_;
    platform::ScopedMessageBoxProvider scope_;
};

}  // namespace carillon::testing
