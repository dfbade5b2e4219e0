// Choosing and opening the board a command works on, the one verdict on it in words, and a
// write checked by its read-back: all on top of the session's operations.
#include <algorithm>
#include <ostream>

#include "cli/common.h"
#include "cli/text.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

using session::ListedBoard;
using session::NameMatch;
using session::Snapshot;
using session::Verdict;
using session::WriteOutcome;

std::string inParentheses(const std::string& words) {
    return words.empty() ? std::string() : " (" + words + ")";
}

// What keeps listed board `board` from being opened, if anything: the walk's probe, or the
// open that followed it.
std::optional<hid::UnusableBoard> openFailure(const Snapshot& snapshot, std::size_t board) {
    const ListedBoard& listed = snapshot.boards[board];
    if (listed.problem) {
        return hid::UnusableBoard{listed.path, listed.identity.serial, *listed.problem};
    }
    for (const hid::UnusableBoard& unusable : snapshot.unusable) {
        if (unusable.path == listed.path) {
            return unusable;
        }
    }
    return std::nullopt;
}

// The system's words for a board that cannot be opened, and what to do about it.
std::string openProblem(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        const std::string notice = session::unusableBoardNotice({*failure});
        if (!notice.empty()) {
            return notice;
        }
    }
    return "it could not be opened" + inParentheses(snapshot.last_error);
}

std::string firmwareText(std::uint16_t version) {
    std::string caption = config::versionCaption(version);
    return caption.starts_with(' ') ? caption.substr(1) : caption;
}

}  // namespace

std::string walkFailureText(const std::string& words) {
    return "the attached devices could not be listed" + inParentheses(words);
}

bool serialIsUnique(const std::vector<ListedBoard>& boards, std::size_t board) {
    const std::u16string& serial = boards[board].identity.serial;
    return !serial.empty() &&
           std::count_if(boards.begin(), boards.end(), [&](const ListedBoard& other) {
               return other.identity.serial == serial;
           }) == 1;
}

std::string boardName(const std::vector<ListedBoard>& boards, std::size_t board) {
    const ListedBoard& listed = boards[board];
    if (serialIsUnique(boards, board)) {
        return printable(listed.identity.serial);
    }
    return listed.identity.serial.empty()
               ? listed.path
               : printable(listed.identity.serial) + " (" + listed.path + ")";
}

Choice choose(const std::vector<ListedBoard>& boards, const std::optional<NameMatch>& match,
              const std::optional<std::string>& typed,
              const std::optional<std::string>& walk_failure) {
    if (walk_failure) {
        return {std::nullopt, kNoBoard, walkFailureText(*walk_failure)};
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        names.push_back(boardName(boards, i));
    }
    if (typed) {
        if (match && match->kind == NameMatch::Kind::One) {
            return {match->boards.front(), kDone, {}};
        }
        // An argument that is not UTF-8 can name no board.
        const auto wanted = fromUtf8(*typed);
        const std::string shown = wanted ? printable(*wanted) : std::string("(not UTF-8)");
        if (match && match->kind == NameMatch::Kind::Several) {
            std::vector<std::string> candidates;
            for (const std::size_t i : match->boards) {
                candidates.push_back(boardName(boards, i));
            }
            return {std::nullopt, kBadUsage,
                    std::to_string(candidates.size()) + " boards have the serial \"" + shown +
                        "\"; name one by its path with --board PATH: " + joined(candidates, ", ")};
        }
        return {std::nullopt, kNoBoard,
                "no board has the serial or path \"" + shown + "\"" +
                    (boards.empty() ? std::string("; no board is attached")
                                    : "; attached: " + joined(names, ", "))};
    }
    if (boards.empty()) {
        return {std::nullopt, kNoBoard, "no Rotorix board is attached"};
    }
    if (boards.size() > 1) {
        return {std::nullopt, kBadUsage,
                std::to_string(boards.size()) +
                    " boards are attached; choose one with --board SERIAL: " + joined(names, ", ")};
    }
    return {0, kDone, {}};
}

Choice openChosen(session::BoardSession& session, const Options& options, Context& context) {
    std::optional<NameMatch> match;
    std::optional<std::string> typed = options.board;
    if (const auto wanted = options.board ? fromUtf8(*options.board) : std::nullopt) {
        match = session.start(*wanted);
    } else {
        session.list();
        if (options.board) {
            match = NameMatch{};  // not UTF-8: no board has that name
        }
    }
    Choice choice =
        choose(session.snapshot().boards, match, typed, session.snapshot().walk_failure);
    if (choice.board && !options.board) {
        // The one board listed, opened by its entry from the same walk: exactly that board.
        session.openListedBoard(*choice.board);
    }
    if (!choice.board) {
        context.err << kProgram << choice.message << '\n';
        return choice;
    }
    choice.status = requireReady(session.snapshot(), *choice.board, context.err);
    return choice;
}

std::string stateText(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        switch (failure->open_error.kind) {
            case hid::OpenError::Kind::AccessDenied:
                return "no access";
            case hid::OpenError::Kind::Busy:
                return "busy";
            case hid::OpenError::Kind::Gone:
                return "unplugged";
            case hid::OpenError::Kind::Other:
                break;
        }
        return "cannot be opened";
    }
    switch (snapshot.verdict()) {
        case Verdict::TooOld:
            return "firmware too old";
        case Verdict::NotConfigurable:
            return "feature report too short";
        case Verdict::Unreadable:
            return "settings could not be read";
        case Verdict::Ready:
            return "ready";
        case Verdict::NotOpen:
            break;
    }
    return "cannot be opened";
}

int requireReady(const Snapshot& snapshot, std::size_t board, std::ostream& err) {
    const std::string named = kProgram + boardName(snapshot.boards, board) + ": ";
    switch (snapshot.verdict()) {
        case Verdict::Ready:
            return kDone;
        case Verdict::Unreadable:
            err << named << "its settings could not be read" << inParentheses(snapshot.last_error)
                << '\n';
            return kBoardRefused;
        case Verdict::TooOld:
            err << named
                << (snapshot.version ? "firmware " + firmwareText(*snapshot.version) + " is too old"
                                     : std::string("its firmware version cannot be read"))
                << "; the board cannot be configured until its firmware is upgraded\n";
            return kNoBoard;
        case Verdict::NotConfigurable:
            err << named
                << "its feature report is too short to carry settings; the board cannot be "
                   "configured\n";
            return kNoBoard;
        case Verdict::NotOpen:
            break;
    }
    err << named << openProblem(snapshot, board) << '\n';
    return kNoBoard;
}

void printUnusableNotice(const Snapshot& snapshot, std::ostream& err) {
    const std::string notice = session::unusableBoardNotice(snapshot.unusable);
    if (!notice.empty()) {
        err << notice << '\n';
    }
}

BoardView viewOf(const Snapshot& snapshot, std::size_t board) {
    const ListedBoard& listed = snapshot.boards[board];
    const auto text = [](const std::optional<std::u16string>& value) {
        return value ? std::optional(printable(*value)) : std::nullopt;
    };
    const auto listedText = [](const std::u16string& value) {
        return value.empty() ? std::nullopt : std::optional(printable(value));
    };
    BoardView view;
    view.serial = listed.identity.serial;
    view.path = listed.path;
    view.path_needed = !serialIsUnique(snapshot.boards, board);
    if (snapshot.board_open) {
        view.manufacturer = text(snapshot.manufacturer);
        view.product = text(snapshot.product);
        if (snapshot.version) {
            view.firmware = firmwareText(*snapshot.version);
        }
    } else {
        view.manufacturer = listedText(listed.identity.manufacturer);
        view.product = listedText(listed.identity.product);
        view.firmware = firmwareText(listed.version);
    }
    view.state = stateText(snapshot, board);
    if (const auto failure = openFailure(snapshot, board)) {
        view.reason = failure->open_error.detail;
    } else if (snapshot.verdict() == Verdict::Unreadable) {
        view.reason = snapshot.last_error;
    }
    return view;
}

std::vector<std::string> writeAndCheck(session::BoardSession& session, const Settings& wanted,
                                       const Changes* only) {
    const config::BoardSettings coded = toBoard(wanted);
    session::SettingsChange change;
    if (only == nullptr || only->anyEncoder()) {
        change.encoders = wanted.encoders;
    }
    if (only == nullptr || only->pulse_ms) {
        change.pulse_code = coded.pulse_code;
    }
    if (only == nullptr || only->hidden) {
        change.hide_flag = coded.hide_flag;
    }
    const session::AppliedChange applied = session.applyAndVerify(change);

    std::vector<std::string> problems;
    const std::string words = inParentheses(applied.refused_words);
    const auto note = [&](bool asked, WriteOutcome outcome, const std::string& what) {
        if (!asked) {
            return;
        }
        switch (outcome) {
            case WriteOutcome::Taken:
                break;
            case WriteOutcome::NotSent:
                problems.push_back(what + " not sent: the board's settings were not loaded");
                break;
            case WriteOutcome::RefusedReread:
                problems.push_back("the board refused " + what + words);
                break;
            case WriteOutcome::RefusedLost:
                problems.push_back("the board refused " + what + " and stopped answering" + words);
                break;
        }
    };
    note(change.encoders.has_value(), applied.encoders, "the encoder types");
    note(change.pulse_code.has_value(), applied.pulse, "the pulse length");
    note(change.hide_flag.has_value(), applied.hidden, "the hidden flag");
    if (!applied.read_back) {
        problems.push_back("its settings could not be read back" +
                           inParentheses(session.snapshot().last_error));
        return problems;
    }
    for (std::string& difference : differences(wanted, *applied.read_back, only)) {
        problems.push_back("it holds " + std::move(difference));
    }
    if (!applied.verified && problems.empty()) {
        problems.push_back("it does not hold what was written");
    }
    return problems;
}

}  // namespace rotorix::cli
