// udev-rule: the rule that lets the user at the seat open the boards, for `sudo tee`. It is the
// packaged file itself, built in, so the two cannot drift apart.
#include "udev_rule.h"

#include "cli/commands.h"

namespace rotorix::cli {

Result udevRuleCommand(const Invocation&) {
    return {kDone, {}, RuleOutput{kUdevRule}, {}};
}

}  // namespace rotorix::cli
