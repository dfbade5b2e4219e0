// The answer both backends give to "may the device set have changed?".
#include <gtest/gtest.h>

#include <string>

#include "hid/change_tracker.h"

namespace rotorix::hid {
namespace {

// Each row: what happens in order ('h' the notices told of a change, 'q' nothing heard, 'W' a walk
// that succeeded, 'F' one that failed), and the answers the questions give.
TEST(ChangeTracker, AChangeIsHandledOnlyByASuccessfulWalkAfterIt) {
    const struct {
        const char* steps;
        const char* answers;
    } cases[] = {
        {"qq", "10"},          // the first question answers true, whatever happened
        {"WqWq", "10"},        // a walk before the first question changes nothing about it
        {"qWhWqq", "1100"},    // a change heard, walked: quiet again
        {"qhFqqWq", "11110"},  // a failed walk leaves the change unseen until one succeeds
        {"qFqFqWq", "1110"},   // a failed walk alone sends the caller walking again
        {"qWhqWq", "1110"},    // asked twice before walking: still unseen the second time
    };
    for (const auto& c : cases) {
        ChangeTracker tracker;
        std::string answers;
        for (const char* step = c.steps; *step != '\0'; ++step) {
            if (*step == 'W' || *step == 'F') {
                tracker.walked(*step == 'W');
            } else {
                answers += tracker.ask(*step == 'h') ? '1' : '0';
            }
        }
        EXPECT_EQ(answers, c.answers) << c.steps;
    }
}

}  // namespace
}  // namespace rotorix::hid
