// The window without a toolkit, as both windows are made from it: the control table, the rules of
// what each control shows, and what the user's picks and the watchdog's ticks do and announce.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "base/unicode.h"
#include "fixtures.h"
#include "sim/sim_platform.h"
#include "view/controls.h"
#include "view/view.h"

namespace {

using rotorix::view::Control;
using rotorix::view::Kind;
using rotorix::view::PixelRect;
using rotorix::view::ViewState;

std::string nameOf(Control c) {
    return std::string(rotorix::view::layoutOf(c).name);
}

TEST(Controls, CreationOrderNamesEachControlAndWalksTheKeyboardOrder) {
    const auto order = rotorix::view::creationOrder();
    const std::set<Control> distinct(order.begin(), order.end());
    EXPECT_EQ(distinct.size(), rotorix::view::kControlCount);

    std::vector<std::string> tab_stops;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto& s = rotorix::view::layoutOf(order[i]);
        // A screen reader names a control after the label created just before it.
        if (s.named_by) {
            ASSERT_GT(i, 0u) << s.name;
            EXPECT_EQ(order[i - 1], *s.named_by) << s.name;
        }
        if (s.kind == Kind::List || s.kind == Kind::CheckBox) {
            tab_stops.push_back(std::string(s.name));
        }
    }
    EXPECT_EQ(tab_stops,
              (std::vector<std::string>{"ModeCh1", "Enc1", "Enc2", "Enc3", "Enc4", "Enc5", "Enc6",
                                        "Enc7", "Enc8", "SerNo", "NoJoy"}));

    // The layout's keyboard indices 0..29 are each used once.
    std::set<int> tabs;
    for (const auto& s : rotorix::view::layout()) {
        if (s.tab >= 0) {
            EXPECT_TRUE(tabs.insert(s.tab).second) << s.name;
        }
    }
    EXPECT_EQ(tabs.size(), 30u);
    EXPECT_EQ(*tabs.rbegin(), 29);
}

TEST(Controls, PlacesControlsAtTwipsOverFifteenAndScalesWithTheDpi) {
    // Literal pixels at 96 dpi: frames' offsets added, and the cuts the drawn frames made.
    const std::vector<std::pair<Control, PixelRect>> at96{
        {Control::NoJoy, {24, 352, 265, 25}},
        {Control::Frame1, {8, 0, 281, 129}},
        {Control::SerNo, {120, 20, 88, 24}},
        {Control::Label3, {24, 24, 96, 19}},  // stops where SerNo begins (drawn 121 wide)
        {Control::Label2, {24, 96, 96, 19}},  // stops where lblVersion begins (drawn 97 wide)
        {Control::Label4, {24, 48, 81, 19}},
        {Control::lblManuf, {120, 48, 167, 22}},  // cut at Frame1's inner edge (drawn 220)
        {Control::lblSerialNumber, {120, 24, 167, 22}},
        {Control::Frame3, {8, 136, 281, 209}},
        {Control::Enc1, {24, 168, 60, 24}},
        {Control::Enc8, {168, 264, 60, 24}},
        {Control::ModeCh1, {24, 304, 84, 24}},
        {Control::Label12, {236, 237, 49, 25}},
        {Control::Label13, {236, 269, 41, 25}},
        {Control::Label9, {92, 268, 73, 25}},
        {Control::Line1, {16, 288, 273, 2}},  // to Frame3's edge, not to 4440
        {Control::Label1, {112, 308, 137, 25}},
        {Control::boardNotice, {24, 20, 263, 100}},
    };
    for (const auto& [control, rect] : at96) {
        EXPECT_EQ(rotorix::view::placement(control, 96), rect) << nameOf(control);
    }
    // At 150 % and 200 % everything grows with the DPI (within a pixel of rounding).
    for (const int dpi : {144, 192}) {
        for (const auto& s : rotorix::view::layout()) {
            const PixelRect base = rotorix::view::placement(s.id, 96);
            const PixelRect scaled = rotorix::view::placement(s.id, dpi);
            const auto near = [dpi](int small, int big) {
                return std::abs(small * dpi / 96 - big) <= 1;
            };
            EXPECT_TRUE(near(base.left, scaled.left) && near(base.top, scaled.top) &&
                        near(base.width, scaled.width) &&
                        (s.kind == Kind::Line || near(base.height, scaled.height)))
                << s.name << " at " << dpi;
        }
    }
    EXPECT_EQ(rotorix::view::toPixels(rotorix::view::kClientWidthTwips, 96), 297);
    EXPECT_EQ(rotorix::view::toPixels(rotorix::view::kClientHeightTwips, 96), 385);
    EXPECT_EQ(rotorix::view::toPixels(rotorix::view::kClientHeightTwips, 144), 578);
    // Arial 9.75 pt: -MulDiv(975, dpi, 7200).
    EXPECT_EQ(rotorix::view::fontHeight(96), -13);
    EXPECT_EQ(rotorix::view::fontHeight(120), -16);
    EXPECT_EQ(rotorix::view::fontHeight(144), -20);
    EXPECT_EQ(rotorix::view::fontHeight(192), -26);
}

TEST(Controls, ControlIdsRoundTripAndRejectEverythingElse) {
    for (const auto& s : rotorix::view::layout()) {
        EXPECT_EQ(rotorix::view::controlFromId(rotorix::view::controlId(s.id)), s.id) << s.name;
    }
    for (const int id : {0, 1, 2, 999, rotorix::view::controlId(Control::boardNotice) + 1}) {
        EXPECT_FALSE(rotorix::view::controlFromId(id)) << id;
    }
}

rotorix::session::Snapshot openBoard(std::uint8_t low, std::uint8_t high, std::uint8_t pulse,
                                     std::uint8_t hide) {
    rotorix::session::Snapshot shown;
    shown.serials = {u"A1"};
    shown.selected = 0;
    shown.board_open = true;
    shown.manufacturer = u"Rotorix";
    shown.product = u"Board";
    shown.version = 0x0104;
    shown.version_caption = " 1.4";
    shown.firmware = rotorix::session::Firmware::Ready;
    shown.settings = rotorix::config::BoardSettings{{low, high}, pulse, hide};
    return shown;
}

TEST(View, LoadedWindowEnablesOnlyTheIdentityCaptionsAndValues) {
    const ViewState loaded = rotorix::view::loadedView();
    std::vector<std::string> enabled;
    for (const auto& s : rotorix::view::layout()) {
        if (loaded[s.id].enabled) {
            enabled.push_back(std::string(s.name));
        }
        EXPECT_TRUE(loaded[s.id].items.empty()) << s.name;
        EXPECT_EQ(loaded[s.id].selected, -1) << s.name;
    }
    EXPECT_EQ(enabled, (std::vector<std::string>{"Label3", "Label4", "Label5", "Label2", "lblManuf",
                                                 "lblProduct", "lblVersion", "lblSerialNumber",
                                                 "Line1", "boardNotice"}));
    EXPECT_FALSE(loaded[Control::boardNotice].visible);
    EXPECT_EQ(loaded[Control::NoJoy].text, u"Hide Rotorix from gaming devices list ");
    EXPECT_FALSE(rotorix::view::firstTabStop(loaded, false)) << "no control takes the focus";
    // No board: the snapshot shows what loading showed.
    EXPECT_EQ(rotorix::view::viewOf({}, loaded), loaded);
}

TEST(View, ShowsTheBoardsSettingsInEveryControl) {
    // Setting 8 = 0x03, 9 = 0x06: pair 1 "1:1", pair 2 "1:4", pair 3 "1:2", the rest "OFF".
    const ViewState view =
        rotorix::view::viewOf(openBoard(0x03, 0x06, 6, 1), rotorix::view::loadedView());
    const std::vector<int> types{1, 3, 2, 0, 0, 0, 0, 0};
    const Control enc[] = {Control::Enc1, Control::Enc2, Control::Enc3, Control::Enc4,
                           Control::Enc5, Control::Enc6, Control::Enc7, Control::Enc8};
    for (std::size_t n = 0; n < 8; ++n) {
        EXPECT_EQ(view[enc[n]].selected, types[n]) << n;
        EXPECT_EQ(view[enc[n]].items,
                  (std::vector<std::u16string>{u"OFF", u"1:1", u"1:2", u"1:4"}));
        EXPECT_TRUE(view[enc[n]].enabled);
    }
    EXPECT_EQ(view[Control::ModeCh1].items.size(), 25u);
    EXPECT_EQ(view[Control::ModeCh1].items[view[Control::ModeCh1].selected], u"24 ms");
    EXPECT_EQ(view[Control::NoJoy].check, 1);
    EXPECT_EQ(view[Control::lblManuf].text, u" Rotorix");
    EXPECT_EQ(view[Control::lblProduct].text, u" Board");
    EXPECT_EQ(view[Control::lblVersion].text, u" 1.4");
    for (const Control c : {Control::Frame1, Control::Frame3, Control::Label1, Control::Label6,
                            Control::Label13, Control::ModeCh1, Control::NoJoy}) {
        EXPECT_TRUE(view[c].enabled) << nameOf(c);
    }
    // One board leaves nothing to choose; two do. Tab from the window reaches the first and last
    // enabled inputs.
    EXPECT_FALSE(view[Control::SerNo].enabled);
    EXPECT_EQ(rotorix::view::firstTabStop(view, false), Control::ModeCh1);
    EXPECT_EQ(rotorix::view::firstTabStop(view, true), Control::NoJoy);
    auto two = openBoard(0, 0, 1, 0);
    two.serials.push_back(u"B2");
    EXPECT_TRUE(rotorix::view::viewOf(two, view)[Control::SerNo].enabled);
}

TEST(View, ValuesOutsideTheirCodingAndBoardsThatCannotBeConfigured) {
    const ViewState loaded = rotorix::view::loadedView();
    struct Case {
        std::uint8_t pulse, hide;
        int selected, check;
    } cases[] = {{0, 2, -1, 2}, {26, 0, -1, 0}, {25, 255, 24, 2}, {1, 1, 0, 1}};
    for (const Case& c : cases) {
        const ViewState view = rotorix::view::viewOf(openBoard(0, 0, c.pulse, c.hide), loaded);
        EXPECT_EQ(view[Control::ModeCh1].selected, c.selected) << int(c.pulse);
        EXPECT_EQ(view[Control::NoJoy].check, c.check) << int(c.hide);
    }

    // Firmware too old: identity shown, Frame1 enabled, every setting control empty and off.
    auto old = openBoard(0, 0, 1, 0);
    old.settings.reset();
    old.firmware = rotorix::session::Firmware::TooOld;
    old.version_caption = " 0.0 - upgrade firmware!";
    const ViewState view = rotorix::view::viewOf(old, loaded);
    EXPECT_EQ(view[Control::lblVersion].text, u" 0.0 - upgrade firmware!");
    EXPECT_TRUE(view[Control::Frame1].enabled);
    EXPECT_FALSE(view[Control::Frame3].enabled);
    EXPECT_FALSE(view[Control::NoJoy].enabled);
    EXPECT_TRUE(view[Control::Enc1].items.empty());
    EXPECT_FALSE(view[Control::Enc1].enabled);
}

TEST(View, FrameOneStaysEnabledAndDisabledFramesDisableTheirInputs) {
    ViewState view = rotorix::view::viewOf(openBoard(0, 0, 1, 0), rotorix::view::loadedView());
    ASSERT_TRUE(view[Control::Frame1].enabled);
    view = rotorix::view::viewOf({}, view);  // the board went
    EXPECT_TRUE(view[Control::Frame1].enabled);
    EXPECT_TRUE(view[Control::lblManuf].text.empty());

    // Two boards listed but none ever opened: the selector sits in a disabled frame.
    rotorix::session::Snapshot listed;
    listed.serials = {u"A1", u"B2"};
    const ViewState unopened = rotorix::view::viewOf(listed, rotorix::view::loadedView());
    EXPECT_FALSE(unopened[Control::Frame1].enabled);
    EXPECT_FALSE(unopened[Control::SerNo].enabled);
    EXPECT_TRUE(unopened[Control::Label3].enabled);  // labels take no input and keep their state
}

TEST(View, NoticeShowsOnlyWithTextAndSurvivesBadUtf8) {
    rotorix::session::Snapshot shown;
    shown.notice =
        "A Rotorix board is attached, but it could not be opened (Acc\xC3\xA8s refus\xC3\xA9).";
    const ViewState view = rotorix::view::viewOf(shown, rotorix::view::loadedView());
    EXPECT_TRUE(view[Control::boardNotice].visible);
    EXPECT_EQ(view[Control::boardNotice].text,
              u"A Rotorix board is attached, but it could not be opened (Acc\u00E8s refus\u00E9).");

    const std::pair<std::string, std::u16string> utf8[] = {
        {"", u""},
        {"ms", u"ms"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},                // outside the BMP: a surrogate pair
        {"a\xC3", u"a\uFFFD"},                              // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\x80z", u"\uFFFDz"},                              // a lone continuation byte
    };
    for (const auto& [in, out] : utf8) {
        EXPECT_EQ(rotorix::base::fromUtf8Lossy(in), out) << in;
    }
}

TEST(View, EmptyValueLabelsNameTheValueTheyLack) {
    const ViewState loaded = rotorix::view::loadedView();
    EXPECT_EQ(loaded[Control::lblManuf].accessible_name, u"Manufacturer: none");
    EXPECT_EQ(loaded[Control::lblProduct].accessible_name, u"Product: none");
    EXPECT_EQ(loaded[Control::lblVersion].accessible_name, u"Firmware version: none");
    EXPECT_TRUE(loaded[Control::lblSerialNumber].accessible_name.empty());
    auto shown = openBoard(0, 0, 1, 0);
    shown.product.reset();
    const ViewState view = rotorix::view::viewOf(shown, loaded);
    EXPECT_TRUE(view[Control::lblManuf].accessible_name.empty());  // read out by its text
    EXPECT_EQ(view[Control::lblProduct].accessible_name, u"Product: none");
}

// ---- The presenter on the simulated platform: what both windows do on picks and ticks ----

using rotorix::sim::Call;
using rotorix::view::Presenter;
using rotorix::view::TimerChange;
using rotorix::view::Update;

// Reads what the view shows, as a window reads its lists.
std::function<int(Control)> showing(const Presenter& presenter) {
    return [&presenter](Control c) { return presenter.shown()[c].selected; };
}

TEST(Presenter, PicksGoToTheSessionAndRefusalsAreRedrawnAndAnnounced) {
    rotorix::sim::SimPlatform platform;
    const auto board = platform.addBoard(rotorix::test::saneBoard());
    rotorix::session::BoardSession session(platform);
    Presenter presenter(session);
    ASSERT_TRUE(presenter.load().show);
    platform.firmware(board).clearReceived();

    // The lists as the user left them: Enc2 moved to OFF, an out-of-range pulse pick.
    int enc2 = 0;
    const auto lists = [&](Control c) {
        return c == Control::Enc2 ? enc2 : c == Control::ModeCh1 ? 99 : showing(presenter)(c);
    };
    Update update = *presenter.pick(Control::Enc2, lists);
    EXPECT_EQ(update.show.value()[Control::Enc2].selected, 0);
    EXPECT_TRUE(update.announce.empty());
    EXPECT_FALSE(update.timer) << "a write leaves the watchdog running as it was";
    EXPECT_EQ(platform.firmware(board).received().size(), 2u);
    update = *presenter.pick(Control::ModeCh1, lists);  // outside the list: nothing sent
    EXPECT_FALSE(update.show);
    EXPECT_EQ(platform.firmware(board).received().size(), 2u);

    // Twice refused: the second time the board holds what it held after the first, so the
    // snapshot is the same; the view is drawn all the same, to replace the refused pick.
    std::optional<ViewState> first;
    for (int round = 0; round < 2; ++round) {
        enc2 = 3;
        platform.failCall(board, Call::SendFeature, 1);
        update = *presenter.pick(Control::Enc2, lists);
        ASSERT_TRUE(update.show) << round;
        EXPECT_NE((*update.show)[Control::Enc2].selected, 3) << round;
        EXPECT_EQ(update.announce,
                  (std::vector<std::u16string>{u"The board did not take the change; the settings "
                                               u"were read back from the board."}));
        if (first) {
            EXPECT_EQ(*update.show, *first);
        }
        first = update.show;
    }
    platform.failCall(board, Call::SendFeature, 1);   // the write
    platform.failCall(board, Call::GetFeature, 100);  // and the read-back
    update = presenter.clickHide();
    ASSERT_TRUE(update.show);
    EXPECT_EQ((*update.show)[Control::NoJoy].check, 0);
    EXPECT_FALSE((*update.show)[Control::NoJoy].enabled);
    EXPECT_EQ(update.announce.back(), u"The board did not take the change and does not answer.");
}

TEST(Presenter, LossesAndNoticesAreAnnouncedOnce) {
    rotorix::sim::SimPlatform platform;
    const auto first = platform.addBoard(rotorix::test::saneBoard(u"RX-1"));
    const auto second = platform.addBoard(rotorix::test::saneBoard(u"RX-2"));
    rotorix::session::BoardSession session(platform);
    Presenter presenter(session);
    presenter.load();

    // Unreadable: the notice once, however many ticks follow; no disconnection.
    platform.failCall(second, Call::GetFeature, 1'000'000);
    Update update = *presenter.pick(Control::SerNo, showing(presenter));
    ASSERT_EQ(update.announce.size(), 1u);
    EXPECT_TRUE(update.announce[0].starts_with(u"The board's settings could not be read"));
    // A switch starts the watchdog afresh; each tick moves it to the session's interval.
    EXPECT_EQ(update.timer, (TimerChange{session.interval(), true}));
    // Each tick gives the timer the session's interval when it changed, and only then.
    int given = session.interval();
    for (int i = 0; i < 40; ++i) {
        update = presenter.tick();
        EXPECT_TRUE(update.announce.empty()) << i;
        if (session.interval() != given) {
            EXPECT_EQ(update.timer, (TimerChange{session.interval(), false})) << i;
        } else {
            EXPECT_FALSE(update.timer) << i;
        }
        given = session.interval();
    }
    EXPECT_EQ(presenter.shown()[Control::SerNo].selected, 1);

    // Lost: said on the tick that finds it, and then no more.
    platform.unplug(second);
    platform.unplug(first);
    update = presenter.tick();
    EXPECT_EQ(update.announce, (std::vector<std::u16string>{u"The board was disconnected."}));
    EXPECT_TRUE(presenter.tick().announce.empty());

    // A pick while the listing is incomplete is ignored, the timer included.
    session.close();
    EXPECT_FALSE(presenter.pick(Control::SerNo, showing(presenter)));
}

TEST(Presenter, ABoardThatDoesNotAnswerIsToldOnceAndLeftAlone) {
    rotorix::sim::SimPlatform platform;
    const auto board = platform.addBoard(rotorix::test::saneBoard());
    rotorix::session::BoardSession session(platform);
    Presenter presenter(session);
    presenter.load();

    platform.hang(board);
    const Update update = *presenter.pick(Control::ModeCh1, [](Control) { return 3; });
    ASSERT_TRUE(update.show);
    const rotorix::view::ControlView& notice = (*update.show)[Control::boardNotice];
    EXPECT_TRUE(notice.visible);
    EXPECT_EQ(notice.text, u"The board does not answer; unplug it and plug it in again");
    EXPECT_FALSE((*update.show)[Control::ModeCh1].enabled);
    EXPECT_EQ(update.announce,
              (std::vector<std::u16string>{
                  notice.text, u"The board did not take the change and does not answer."}));
    for (int i = 0; i < 40; ++i) {
        const Update later = presenter.tick();
        EXPECT_FALSE(later.show) << i;
        EXPECT_TRUE(later.announce.empty()) << i;
    }
    EXPECT_EQ(platform.waits(board), 1);
}

}  // namespace
