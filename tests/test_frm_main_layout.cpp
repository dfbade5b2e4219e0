// The window's fixed layout, control by control, as drawn in twips (15 twips to the logical
// pixel), and the keyboard order.
#include <QFont>
#include <QFrame>
#include <QPalette>
#include <map>

#include "window_fixture.h"

namespace rotorix::test {
namespace {

constexpr int px(int twips) {
    return twips / 15;
}

enum class Kind { CheckBox, Frame, List, Label };

struct Placement {
    const char* name;
    Kind kind;
    const char* parent;   // nullptr: directly on the window
    const char* caption;  // nullptr: the control has no caption
    int left, top, width, height;
    bool enabled;  // the control's own flag when loaded
};

// clang-format off
const Placement kControls[] = {
    {"NoJoy", Kind::CheckBox, nullptr, "Hide Rotorix from gaming devices list ", 360, 5280, 3975, 375, false},
    {"Frame1", Kind::Frame, nullptr, "Device details", 120, 0, 4215, 1935, false},
    {"SerNo", Kind::List, "Frame1", nullptr, 1680, 300, 1320, 360, false},
    {"Label3", Kind::Label, "Frame1", "Serial Number", 240, 360, 1815, 285, true},
    {"Label4", Kind::Label, "Frame1", "Manufacturer", 240, 720, 1215, 285, true},
    {"Label5", Kind::Label, "Frame1", "Product", 240, 1080, 1215, 285, true},
    {"Label2", Kind::Label, "Frame1", "Version", 240, 1440, 1455, 285, true},
    {"lblManuf", Kind::Label, "Frame1", "", 1680, 720, 3300, 330, true},
    {"lblProduct", Kind::Label, "Frame1", "", 1680, 1080, 3300, 330, true},
    {"lblVersion", Kind::Label, "Frame1", "", 1680, 1440, 3300, 330, true},
    {"lblSerialNumber", Kind::Label, "Frame1", "", 1680, 360, 3300, 330, true},
    {"Frame3", Kind::Frame, nullptr, "Rotary encoder type for button pairs:", 120, 2040, 4215, 3135, false},
    {"Enc8", Kind::List, "Frame3", nullptr, 2400, 1920, 900, 360, false},
    {"Enc7", Kind::List, "Frame3", nullptr, 2400, 1440, 900, 360, false},
    {"Enc6", Kind::List, "Frame3", nullptr, 2400, 960, 900, 360, false},
    {"Enc5", Kind::List, "Frame3", nullptr, 2400, 480, 900, 360, false},
    {"Enc4", Kind::List, "Frame3", nullptr, 240, 1920, 900, 360, false},
    {"Enc3", Kind::List, "Frame3", nullptr, 240, 1440, 900, 360, false},
    {"Enc2", Kind::List, "Frame3", nullptr, 240, 960, 900, 360, false},
    {"Enc1", Kind::List, "Frame3", nullptr, 240, 480, 900, 360, false},
    {"ModeCh1", Kind::List, "Frame3", nullptr, 240, 2520, 1260, 360, false},
    {"Label13", Kind::Label, "Frame3", "15-16", 3420, 1995, 615, 375, false},
    {"Label12", Kind::Label, "Frame3", "13-14", 3420, 1515, 735, 375, false},
    {"Label11", Kind::Label, "Frame3", "11-12", 3420, 1035, 615, 375, false},
    {"Label10", Kind::Label, "Frame3", "9-10", 3420, 555, 615, 375, false},
    {"Label9", Kind::Label, "Frame3", "7-8", 1260, 1980, 1095, 375, false},
    {"Label8", Kind::Label, "Frame3", "5-6", 1260, 1500, 1095, 375, false},
    {"Label7", Kind::Label, "Frame3", "3-4", 1260, 1020, 1095, 375, false},
    {"Label6", Kind::Label, "Frame3", "1-2", 1260, 540, 1095, 375, false},
    {"Label1", Kind::Label, "Frame3", "Encoders pulse length", 1560, 2580, 2055, 375, false},
};
// clang-format on

const char* const kValueLabels[] = {"lblManuf", "lblProduct", "lblVersion", "lblSerialNumber"};

std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << p.name;
}

bool isKind(QWidget* widget, Kind kind) {
    switch (kind) {
        case Kind::CheckBox:
            return qobject_cast<QCheckBox*>(widget) != nullptr;
        case Kind::Frame:
            return qobject_cast<QGroupBox*>(widget) != nullptr;
        case Kind::List:
            return qobject_cast<QComboBox*>(widget) != nullptr;
        case Kind::Label:
            return qobject_cast<QLabel*>(widget) != nullptr;
    }
    return false;
}

QString captionOf(QWidget* widget) {
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        return box->text();
    }
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        return frame->title();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    return {};
}

class Layout : public WindowTest, public ::testing::WithParamInterface<Placement> {};

TEST_P(Layout, ControlIsPlacedAsDrawn) {
    const Placement& p = GetParam();
    frmMain& window = create();
    QWidget* widget = control<QWidget>(p.name);
    ASSERT_NE(widget, nullptr);

    EXPECT_TRUE(isKind(widget, p.kind)) << widget->metaObject()->className();
    const QWidget* expectedParent =
        p.parent ? control<QWidget>(p.parent) : static_cast<QWidget*>(&window);
    EXPECT_EQ(widget->parentWidget(), expectedParent);
    EXPECT_EQ(widget->geometry(), QRect(px(p.left), px(p.top), px(p.width), px(p.height)));
    if (p.caption) {
        EXPECT_EQ(captionOf(widget), QString::fromUtf8(p.caption));
    }

    const QFont font = widget->font();
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic());
    EXPECT_FALSE(font.underline());
    EXPECT_FALSE(font.strikeOut());

    // A control inside a disabled frame reports itself disabled; its own flag is what the layout
    // sets.
    EXPECT_EQ(!widget->testAttribute(Qt::WA_ForceDisabled), p.enabled);
    EXPECT_TRUE(widget->isVisibleTo(&window));

    const bool takesFocus = p.kind == Kind::List || p.kind == Kind::CheckBox;
    EXPECT_EQ((widget->focusPolicy() & Qt::TabFocus) != 0, takesFocus);
    if (!takesFocus) {
        EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, Layout, ::testing::ValuesIn(kControls),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(WindowTest, WindowHasItsCaptionAndAFixedClientArea) {
    frmMain& window = load();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Rotorix Rotary Encoders Configuration v.1"));
    EXPECT_EQ(window.size(), QSize(297, 385));
    EXPECT_EQ(window.minimumSize(), QSize(297, 385));
    EXPECT_EQ(window.maximumSize(), QSize(297, 385));
}

TEST_F(WindowTest, EveryControlNameIsUsedOnce) {
    create();
    for (const Placement& p : kControls) {
        EXPECT_EQ(window().findChildren<QWidget*>(QString::fromLatin1(p.name)).size(), 1) << p.name;
    }
    EXPECT_EQ(window().findChildren<QTimer*>(QStringLiteral("Timer")).size(), 1);
    EXPECT_EQ(window().findChildren<QFrame*>(QStringLiteral("Line1")).size(), 1);
}

TEST_F(WindowTest, LoadedWindowIsEmptyAndItsTimerStopped) {
    frmMain& window = create();
    for (const char* name :
         {"SerNo", "Enc1", "Enc2", "Enc3", "Enc4", "Enc5", "Enc6", "Enc7", "Enc8", "ModeCh1"}) {
        EXPECT_EQ(list(name)->count(), 0) << name;
        EXPECT_EQ(list(name)->currentIndex(), -1) << name;
        EXPECT_FALSE(list(name)->isEditable()) << name;
    }
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    EXPECT_FALSE(noJoy()->isTristate());

    auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->parent(), control<QGroupBox>("Frame1"));
    EXPECT_EQ(timer->interval(), 50);
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_FALSE(window.scanComplete());
}

TEST_F(WindowTest, ValueLabelsPaintTheBackgroundOfATextField) {
    create();
    for (const char* name : kValueLabels) {
        auto* label = control<QLabel>(name);
        EXPECT_TRUE(label->autoFillBackground()) << name;
        const QPalette palette = label->palette();
        for (auto group : {QPalette::Active, QPalette::Disabled}) {
            EXPECT_EQ(palette.color(group, QPalette::Window), palette.color(group, QPalette::Base))
                << name;
            EXPECT_EQ(palette.color(group, QPalette::WindowText),
                      palette.color(group, QPalette::Text))
                << name;
        }
    }
}

TEST_F(WindowTest, SeparatorRunsAcrossTheEncoderFrameToItsRightEdge) {
    create();
    auto* line = control<QFrame>("Line1");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->parentWidget(), control<QWidget>("Frame3"));
    EXPECT_EQ(line->x(), px(120));
    EXPECT_EQ(line->y(), px(2280));
    EXPECT_EQ(line->x() + line->width(), px(4440));
    EXPECT_GE(line->height(), 1);
    EXPECT_LE(line->height(), 2);
}

TEST_F(WindowTest, SelectorLiesOverTheEmptySerialNumberLabel) {
    addBoard();
    load();
    QWidget* serial = control<QWidget>("SerNo");
    const QPoint inside = serial->geometry().center();
    EXPECT_EQ(control<QWidget>("Frame1")->childAt(inside), serial);
    EXPECT_TRUE(caption("lblSerialNumber").isEmpty());
}

TEST_F(WindowTest, ShowingABoardMovesAndResizesNothing) {
    std::map<QString, QRect> drawn;
    create();
    for (const Placement& p : kControls) {
        drawn[QString::fromLatin1(p.name)] = control<QWidget>(p.name)->geometry();
    }
    sim::BoardSpec design = saneBoard();
    design.manufacturer = u"A manufacturer name far too long for the label that shows it, really";
    addBoard(design);
    addBoard(saneBoard(u"0002"));
    load();
    tick();
    for (const auto& [name, geometry] : drawn) {
        EXPECT_EQ(control<QWidget>(name)->geometry(), geometry) << name.toStdString();
    }
    EXPECT_EQ(window().size(), QSize(297, 385));
}

// Walks the focus chain from ModeCh1 once round the window, keeping the controls that take the
// focus by keyboard.
QStringList keyboardOrder(QWidget* start) {
    QStringList order;
    QWidget* widget = start;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() &&
            widget->isVisibleTo(start->window())) {
            order << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != start && order.size() <= 40);
    return order;
}

TEST_F(WindowTest, KeyboardOrderStartsAtThePulseListAndEndsAtTheCheckBox) {
    addBoard(saneBoard(u"0001"));
    addBoard(saneBoard(u"0002"));  // two boards, so the selector accepts input
    load();
    ASSERT_TRUE(window().settingsLoaded());
    ASSERT_TRUE(serNo()->isEnabled());
    EXPECT_EQ(keyboardOrder(pulse()),
              (QStringList{"ModeCh1", "Enc1", "Enc2", "Enc3", "Enc4", "Enc5", "Enc6", "Enc7",
                           "Enc8", "SerNo", "NoJoy"}));
}

TEST_F(WindowTest, KeyboardOrderSkipsControlsThatAreDisabled) {
    addBoard();  // one board: the selector stays disabled
    load();
    EXPECT_EQ(keyboardOrder(pulse()), (QStringList{"ModeCh1", "Enc1", "Enc2", "Enc3", "Enc4",
                                                   "Enc5", "Enc6", "Enc7", "Enc8", "NoJoy"}));
}

}  // namespace
}  // namespace rotorix::test
