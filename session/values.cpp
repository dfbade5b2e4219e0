#include "session/values.h"

#include "base/unicode.h"

namespace rotorix::session {

Verdict Snapshot::verdict() const {
    if (!board_open) {
        return Verdict::NotOpen;
    }
    switch (firmware) {
        case Firmware::TooOld:
            return Verdict::TooOld;
        case Firmware::NotConfigurable:
            return Verdict::NotConfigurable;
        case Firmware::Ready:
            return settings ? Verdict::Ready : Verdict::Unreadable;
        case Firmware::None:
            break;
    }
    return Verdict::NotOpen;
}

const ListedBoard* Snapshot::selectedBoard() const {
    if (selected < 0 || static_cast<std::size_t>(selected) >= listed.size()) {
        return nullptr;
    }
    return &boards[listed[static_cast<std::size_t>(selected)]];
}

NameMatch matchName(const std::vector<ListedBoard>& boards, const std::u16string& name) {
    NameMatch match;
    const std::string path = base::toUtf8(name);
    for (std::size_t i = 0; i < boards.size(); ++i) {
        if (boards[i].path == path) {
            return {NameMatch::Kind::One, {i}};
        }
        if (boards[i].identity.serial == name) {
            match.boards.push_back(i);
        }
    }
    match.kind = match.boards.empty()      ? NameMatch::Kind::None
                 : match.boards.size() > 1 ? NameMatch::Kind::Several
                                           : NameMatch::Kind::One;
    return match;
}

}  // namespace rotorix::session
