// Whether the device set may have changed since the last walk, from what a backend's device
// notices said and how its walks went. Shared by the backends (hid/linux/, hid/windows/).
#pragma once

namespace rotorix::hid {

// A change counts as handled only once a walk after it succeeded: a walk that failed saw
// nothing, so the question keeps answering true until one succeeds. The first question answers
// true whatever happened before it.
class ChangeTracker {
  public:
    // `heard`: the backend's notices reported a change since the previous question (or it cannot
    // tell).
    bool ask(bool heard) {
        unseen_ = unseen_ || heard;
        const bool answer = !asked_ || unseen_;
        asked_ = true;
        return answer;
    }
    // Every walk reports its outcome; only a successful one has seen what changed before it.
    void walked(bool succeeded) { unseen_ = !succeeded; }

  private:
    bool asked_ = false;
    bool unseen_ = false;  // a change (or a failed walk) that no successful walk has seen since
};

}  // namespace rotorix::hid
