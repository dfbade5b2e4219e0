#include "view/file_menu.h"

#include <algorithm>

#include "base/unicode.h"
#include "profile/load.h"
#include "profile/profile.h"
#include "view/view.h"

namespace rotorix::view {

namespace {

// A file name from a serial: what no file system minds is kept (letters of any script, digits,
// '-', '_'), anything else becomes '_'.
std::u16string fileNameOf(const std::u16string& serial) {
    std::u16string name;
    for (const char16_t c : serial) {
        const bool ascii_word = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
                                (c >= u'a' && c <= u'z') || c == u'-' || c == u'_';
        name += ascii_word || c >= 0xA0 ? c : u'_';
    }
    return (name.empty() ? u"board" : name) + u".json";
}

}  // namespace

ProfileToSave profileToSave(const session::Snapshot& shown) {
    ProfileToSave save;
    const session::ListedBoard* board = shown.selectedBoard();
    if (board == nullptr || shown.verdict() != session::Verdict::Ready) {
        save.problem = u"No board's settings are shown, so there is nothing to save.";
        return save;
    }
    save.board = base::fromUtf8Lossy(profile::boardName(
        shown.boards, shown.listed[static_cast<std::size_t>(shown.selected)]));
    save.suggested_name = fileNameOf(board->identity.serial);
    const config::BoardSettings& raw = *shown.settings;
    const auto settings = profile::fromBoard(raw);
    if (!settings) {
        save.problem = base::fromUtf8Lossy(
            "The board holds values no profile can carry (pulse code " +
            std::to_string(raw.pulse_code) + ", hide flag " + std::to_string(raw.hide_flag) +
            "); pick a pulse length and the hide setting first.");
        return save;
    }
    save.text = profile::formatProfile(*settings);
    return save;
}

std::u16string resultLine(const profile::BoardResult& result) {
    std::string line = result.board.name + ": ";
    if (result.outcome == profile::Outcome::Written) {
        line += "written and read back equal";
    } else {
        line += profile::outcomeText(result.outcome);
        for (std::size_t i = 0; i < result.problems.size(); ++i) {
            line += (i == 0 ? ": " : "; ") + result.problems[i];
        }
    }
    return base::fromUtf8Lossy(line);
}

LoadReport reportOf(std::vector<profile::BoardResult> boards) {
    LoadReport report;
    report.boards = std::move(boards);
    report.all_written = !report.boards.empty() &&
                         std::all_of(report.boards.begin(), report.boards.end(),
                                     [](const profile::BoardResult& result) {
                                         return result.outcome == profile::Outcome::Written;
                                     });
    for (const profile::BoardResult& result : report.boards) {
        report.text += (report.text.empty() ? u"" : u"\n") + resultLine(result);
    }
    if (report.boards.empty()) {
        report.text = u"No board is attached; nothing was written.";
    }
    return report;
}

LoadReport refusedLoad(std::u16string problem) {
    LoadReport report;
    report.problem = std::move(problem);
    report.text = report.problem;
    return report;
}

Loaded Presenter::loadProfile(std::string_view text, LoadTarget target) {
    Loaded loaded;
    const auto parsed = profile::parseProfile(text);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        loaded.report =
            refusedLoad(u"This file is not a settings profile, so nothing was written: " +
                        base::fromUtf8Lossy(*problem));
        return loaded;
    }
    const profile::Settings& wanted = std::get<profile::Settings>(parsed);
    if (target == LoadTarget::ShownBoard) {
        auto result = profile::loadOntoOpen(session_, wanted);
        if (!result) {
            loaded.report = refusedLoad(u"No board is shown, so nothing was written.");
            return loaded;
        }
        loaded.report = reportOf({std::move(*result)});
        // A refused write read the board back: what the controls show is what it holds.
        loaded.update = refresh(true);
        return loaded;
    }
    const session::ListedBoard* shown = session_.snapshot().selectedBoard();
    const std::optional<std::string> path = shown ? std::optional(shown->path) : std::nullopt;
    profile::EveryBoard every = profile::loadOntoEvery(session_, wanted);
    loaded.report = reportOf(std::move(every.boards));
    // Visiting every board left the session closed: the window lists the boards again and opens
    // the one it showed, by its path, or as it does when it loads if that one has gone.
    if (!path || session_.start(base::fromUtf8Lossy(*path)).kind != session::NameMatch::Kind::One) {
        session_.start();
    }
    loaded.update = refresh(true);
    loaded.update.timer = timerChange(true);
    return loaded;
}

}  // namespace rotorix::view
