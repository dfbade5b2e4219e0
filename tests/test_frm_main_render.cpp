// What the window shows for each state of the session: the selector, the identity captions, the
// setting controls and the notice, and that showing a board never writes to it.
#include <functional>
#include <optional>

#include "window_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

const std::vector<std::string> kSaneTypes{"1:1", "1:4", "1:2", "OFF", "OFF", "OFF", "OFF", "OFF"};

struct Settings {
    std::vector<std::string> types;
    const char* pulse;  // "" for a list without a selection
    Qt::CheckState hide;
};

class Render;

struct State {
    const char* name;
    std::function<void(Render&)> reach;  // from no window to the state
    QStringList serials;
    int selected;
    bool selectorEnabled;
    const char *manufacturer, *product, *version;
    bool frame1Enabled;
    std::optional<Settings> settings;  // empty: every setting control empty and disabled
    bool notice = false;
};
std::ostream& operator<<(std::ostream& out, const State& s) {
    return out << s.name;
}

class Render : public WindowTest, public ::testing::WithParamInterface<State> {
  public:
    BoardId board(const sim::BoardSpec& design = saneBoard()) {
        boards_.push_back(addBoard(design));
        return boards_.back();
    }
    BoardId board(Setting setting, std::uint8_t value) {
        sim::BoardSpec design = saneBoard();
        setBoardSetting(design, setting, value);
        return board(design);
    }
    frmMain& loaded() { return load(); }
    void ticked() { tick(); }
    void pickSerial(int index) {
        serNo()->setCurrentIndex(index);
        emit serNo()->activated(index);
    }
    SimPlatform& sim() { return platform; }

    std::vector<BoardId> boards_;
};

sim::BoardSpec with(std::function<void(sim::BoardSpec&)> change) {
    sim::BoardSpec design = saneBoard();
    change(design);
    return design;
}

// Two boards told apart by their settings: RX-1 all pairs off, pulse 100 ms, hidden.
void twoBoards(Render& r) {
    sim::BoardSpec design = saneBoard(u"RX-1");
    setBoardSetting(design, Setting::EncoderLowPlane, 0);
    setBoardSetting(design, Setting::EncoderHighPlane, 0);
    setBoardSetting(design, Setting::PulseLength, 25);
    setBoardSetting(design, Setting::HideFromGameControllers, 1);
    r.board(design);
    r.board(saneBoard(u"RX-2"));
}

const Settings kSane{kSaneTypes, "24 ms", Qt::Unchecked};
const Settings kAllOffHidden{std::vector<std::string>(8, "OFF"), "100 ms", Qt::Checked};
constexpr const char* kManuf = " Rotorix";
constexpr const char* kProduct = " Rotary Encoder Board";

// clang-format off
const State kStates[] = {
    {"NoBoard", [](Render& r) { r.loaded(); }, {}, -1, false, "", "", "", false, std::nullopt},
    {"OneBoard", [](Render& r) { r.board(saneBoard(u"RX-77")); r.loaded(); },
     {"RX-77"}, 0, false, kManuf, kProduct, " 1.4", true, kSane},
    {"TwoBoards", [](Render& r) { twoBoards(r); r.loaded(); },
     {"RX-1", "RX-2"}, 1, true, kManuf, kProduct, " 1.4", true, kSane},
    {"PairNTakesBitNMinus1", [](Render& r) {
         r.board(with([](auto& d) {
             setBoardSetting(d, Setting::EncoderLowPlane, 0xA5);
             setBoardSetting(d, Setting::EncoderHighPlane, 0x3C);
             setBoardSetting(d, Setting::PulseLength, 1);
             setBoardSetting(d, Setting::HideFromGameControllers, 1);
         }));
         r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true,
     Settings{{"1:1", "OFF", "1:4", "1:2", "1:2", "1:4", "OFF", "1:1"}, "4 ms", Qt::Checked}},
    {"PulseWithoutItem", [](Render& r) { r.board(Setting::PulseLength, 26); r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, Settings{kSaneTypes, "", Qt::Unchecked}},
    {"PulseZero", [](Render& r) { r.board(Setting::PulseLength, 0); r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, Settings{kSaneTypes, "", Qt::Unchecked}},
    {"HideFlagTwoIsGrey", [](Render& r) { r.board(Setting::HideFromGameControllers, 2); r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, Settings{kSaneTypes, "24 ms", Qt::PartiallyChecked}},
    {"HideFlagSevenIsGrey", [](Render& r) { r.board(Setting::HideFromGameControllers, 7); r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, Settings{kSaneTypes, "24 ms", Qt::PartiallyChecked}},
    {"FirmwareZero", [](Render& r) { r.board(with([](auto& d) { d.version = 0; })); r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 0.0 - upgrade firmware!", true, std::nullopt},
    {"NoManufacturer", [](Render& r) { r.board(with([](auto& d) { d.manufacturer.reset(); })); r.loaded(); },
     {"0001"}, 0, false, "", kProduct, " - upgrade firmware!", true, std::nullopt},
    {"NoProduct", [](Render& r) { r.board(with([](auto& d) { d.product.reset(); })); r.loaded(); },
     {"0001"}, 0, false, kManuf, "", " 1.4", true, kSane},
    {"WholeUtf16Text", [](Render& r) {
         r.board(with([](auto& d) {
             d.serial = u"RX-\u0141";
             d.manufacturer = u"\u00E9";
             d.product = u"A\u0100B \u65E5\u672C";
             d.version = 0x010A;
         }));
         r.loaded(); },
     {"RX-\u0141"}, 0, false, " \u00E9", " A\u0100B \u65E5\u672C", " 1.A", true, kSane},
    {"ShortFeatureReport", [](Render& r) { r.board(with([](auto& d) { d.lengths.feature = 3; })); r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, std::nullopt},
    {"ReadBackFailed", [](Render& r) {
         r.sim().failCall(r.board(), Call::GetFeature, 1);
         r.loaded(); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, std::nullopt, true},
    {"Unplugged", [](Render& r) { r.sim().unplug(r.board()); r.loaded(); r.ticked(); },
     {}, -1, false, "", "", "", false, std::nullopt},
    {"LostAfterShowing", [](Render& r) { const BoardId b = r.board(); r.loaded(); r.sim().unplug(b); r.ticked(); },
     {}, -1, false, "", "", "", true, std::nullopt},
    {"Reconnected", [](Render& r) {
         const BoardId b = r.board(); r.loaded();
         for (int round = 0; round < 3; ++round) {
             r.sim().unplug(b); r.ticked(); r.sim().replug(b); r.ticked(); r.ticked();
         } },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, kSane},
    {"LosingOneOfTwo", [](Render& r) { twoBoards(r); r.loaded(); r.sim().unplug(r.boards_[1]); r.ticked(); },
     {"RX-1"}, 0, false, kManuf, kProduct, " 1.4", true, kAllOffHidden},
    {"SwitchedToTheOther", [](Render& r) { twoBoards(r); r.loaded(); r.pickSerial(0); },
     {"RX-1", "RX-2"}, 0, true, kManuf, kProduct, " 1.4", true, kAllOffHidden},
    {"SwitchedToAGoneBoard", [](Render& r) { twoBoards(r); r.loaded(); r.sim().unplug(r.boards_[0]); r.pickSerial(0); },
     {"RX-1", "RX-2"}, 0, true, "", "", "", true, std::nullopt},
    {"RefusedWriteThenFailedReload", [](Render& r) {
         r.board(); r.loaded();
         r.sim().failCall(Call::SendFeature, 2);  // the write, then the first read request
         r.press(r.pulse(), Qt::Key_Down); },
     {"0001"}, 0, false, kManuf, kProduct, " 1.4", true, std::nullopt, true},
    {"AccessDenied", [](Render& r) {
         r.sim().refuseOpen(r.board(), hid::OpenError{hid::OpenError::Kind::AccessDenied, "Permission denied"});
         r.loaded(); },
     {}, -1, false, "", "", "", false, std::nullopt, true},
};
// clang-format on

TEST_P(Render, ControlsShowTheState) {
    const State& state = GetParam();
    state.reach(*this);
    frmMain& window = this->window();

    QStringList serials;
    for (int i = 0; i < serNo()->count(); ++i) {
        serials << serNo()->itemText(i);
    }
    EXPECT_EQ(serials, state.serials);
    EXPECT_EQ(serNo()->currentIndex(), state.selected);
    EXPECT_EQ(serNo()->isEnabled(), state.selectorEnabled);
    EXPECT_EQ(caption("lblManuf"), QString::fromUtf8(state.manufacturer));
    EXPECT_EQ(caption("lblProduct"), QString::fromUtf8(state.product));
    EXPECT_EQ(caption("lblVersion"), QString::fromUtf8(state.version));
    EXPECT_TRUE(caption("lblSerialNumber").isEmpty());
    EXPECT_EQ(control<QWidget>("Frame1")->isEnabled(), state.frame1Enabled)
        << "the frame is enabled once a board has been shown, and stays so";
    EXPECT_EQ(!window.boardNotice().isEmpty(), state.notice) << window.boardNotice().toStdString();

    const bool shown = state.settings.has_value();
    for (const char* name : {"Frame3", "Label1", "Label6", "Label9", "Label13"}) {
        EXPECT_EQ(control<QWidget>(name)->isEnabled(), shown) << name;
    }
    if (!shown) {
        EXPECT_TRUE(settingControlsClearedAndDisabled());
    } else {
        EXPECT_TRUE(settingControlsEnabled());
        EXPECT_EQ(shownTypes(), state.settings->types);
        EXPECT_EQ(pulse()->currentText(), QString::fromUtf8(state.settings->pulse));
        EXPECT_EQ(noJoy()->checkState(), state.settings->hide);
        // The lists hold their items in order, however often they were filled.
        for (int n = 1; n <= 8; ++n) {
            EXPECT_EQ(enc(n)->count(), 4) << "Enc" << n;
            EXPECT_EQ(enc(n)->itemText(0), QStringLiteral("OFF"));
            EXPECT_EQ(enc(n)->itemText(3), QStringLiteral("1:4"));
        }
        ASSERT_EQ(pulse()->count(), 25);
        for (int i = 0; i < 25; ++i) {
            EXPECT_EQ(pulse()->itemText(i), QStringLiteral("%1 ms").arg(4 * (i + 1)));
        }
    }
    // Showing a board, whatever it holds, never writes to it.
    for (BoardId id : boards_) {
        EXPECT_TRUE(writesTo(id).empty()) << "board " << id << " got " << hex(writesTo(id).front());
    }
}

INSTANTIATE_TEST_SUITE_P(Window, Render, ::testing::ValuesIn(kStates),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- The check box's greyed state ----

class HideFlag : public WindowTest {};

TEST_F(HideFlag, AClickFromGreyChecksAndTheBoxStaysTwoState) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 2);
    const BoardId board = addBoard(design);
    load();
    ASSERT_EQ(noJoy()->checkState(), Qt::PartiallyChecked);
    constexpr auto kHide = Setting::HideFromGameControllers;
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_EQ(writesTo(board),
              (std::vector<Report>{settingWrite(9, kHide, 1), commandB0(9, kHide, 1),
                                   settingWrite(9, kHide, 0), commandB0(9, kHide, 0),
                                   settingWrite(9, kHide, 1), commandB0(9, kHide, 1)}));
}

TEST_F(HideFlag, ABoardBackInRangeLeavesNoGreyBehind) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 2);
    const BoardId board = addBoard(design);
    load();
    platform.firmware(board).setSetting(code(Setting::HideFromGameControllers), 0);
    platform.unplug(board);
    tick();
    platform.replug(board);
    tick();
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    EXPECT_FALSE(noJoy()->isTristate());
}

}  // namespace
}  // namespace rotorix::test
