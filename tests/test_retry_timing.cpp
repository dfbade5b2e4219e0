// When a failed walk is walked again and an unreadable board reopened: the timing alone, driven
// by hand, with no platform and no session.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "session/retry_timing.h"

namespace {

using rotorix::session::RetryTiming;

// The first 10 ms step at which `due` holds, counting from the end of `setup`; -1 past 20 s.
int waitUntil(RetryTiming& retry, const std::function<bool(const RetryTiming&)>& due) {
    for (int waited = 0; waited <= 20000; waited += 10) {
        if (due(retry)) {
            return waited;
        }
        retry.elapse(10);
    }
    return -1;
}

// An unreadable board, found by a read-back after `opened` or `reopened`.
void unreadable(RetryTiming& retry) {
    retry.clearUnreadable();
    retry.readBackFailed();
}

// Reopened by the back-off `times` times, still unreadable each time.
void reopenedUnreadable(RetryTiming& retry, int times) {
    for (int i = 0; i < times; ++i) {
        retry.closed();
        retry.reopened();
        unreadable(retry);
    }
}

struct Case {
    const char* what;
    std::function<void(RetryTiming&)> setup;
    int reopen_after_ms;  // -1: never
};

TEST(RetryTiming, ReopenWaitsGrowPerReopenAndStartOverForAFreshBoard) {
    const std::vector<Case> cases{
        {"a board that reads is never reopened", [](RetryTiming& r) { r.opened(); }, -1},
        {"first failure", [](RetryTiming& r) { r.opened(), unreadable(r); }, 1000},
        {"after one reopen",
         [](RetryTiming& r) { r.opened(), unreadable(r), reopenedUnreadable(r, 1); }, 2000},
        {"after two", [](RetryTiming& r) { r.opened(), unreadable(r), reopenedUnreadable(r, 2); },
         4000},
        {"the last wait repeats",
         [](RetryTiming& r) { r.opened(), unreadable(r), reopenedUnreadable(r, 7); }, 8000},
        {"read once: the count starts over",
         [](RetryTiming& r) {
             r.opened(), unreadable(r), reopenedUnreadable(r, 3), r.settingsRead();
             unreadable(r);
         },
         1000},
        {"another board opened: the count starts over",
         [](RetryTiming& r) {
             r.opened(), unreadable(r), reopenedUnreadable(r, 3), r.closed(), r.opened();
             unreadable(r);
         },
         1000},
        {"time while it read well does not count",
         [](RetryTiming& r) { r.opened(), r.elapse(5000), unreadable(r); }, 1000},
        {"a board that stopped answering is left alone",
         [](RetryTiming& r) { r.opened(), unreadable(r), r.clearUnreadable(); }, -1},
        {"a closed board is not reopened",
         [](RetryTiming& r) { r.opened(), unreadable(r), r.elapse(900), r.closed(); }, -1},
        {"a failed reload keeps the time waited",
         [](RetryTiming& r) { r.opened(), unreadable(r), r.elapse(600), unreadable(r); }, 400},
    };
    for (const Case& c : cases) {
        RetryTiming retry;
        c.setup(retry);
        EXPECT_EQ(waitUntil(retry, [](const RetryTiming& r) { return r.reopenDue(); }),
                  c.reopen_after_ms)
            << c.what;
    }
}

TEST(RetryTiming, AWalkIsRetriedASecondAfterTheLastOnlyWhileSomethingIsWorthIt) {
    RetryTiming retry;
    const auto walkDue = [](const RetryTiming& r) { return r.walkDue(true); };
    EXPECT_EQ(waitUntil(retry, walkDue), 1000);
    EXPECT_FALSE(retry.walkDue(false)) << "nothing to retry: no walk without a device event";
    retry.walked();
    EXPECT_EQ(waitUntil(retry, walkDue), 1000);
    retry.elapse(60000);
    retry.walked();
    EXPECT_FALSE(retry.walkDue(true)) << "a long wait before the last walk counts for nothing";
}

}  // namespace
