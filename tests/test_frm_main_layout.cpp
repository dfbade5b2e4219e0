// The window's fixed layout, control by control, as drawn in twips (15 twips to the logical
// pixel), and the keyboard order.
#include <QFont>
#include <QFrame>
#include <QPalette>
#include <map>

#include "view/controls.h"
#include "window_fixture.h"

namespace rotorix::test {
namespace {

constexpr int px(int twips) {
    return twips / 15;
}

using view::ControlSpec;
using view::Kind;

const char* const kValueLabels[] = {"lblManuf", "lblProduct", "lblVersion", "lblSerialNumber"};

bool isKind(QWidget* widget, Kind kind) {
    switch (kind) {
        case Kind::CheckBox:
            return qobject_cast<QCheckBox*>(widget) != nullptr;
        case Kind::Frame:
            return qobject_cast<QGroupBox*>(widget) != nullptr;
        case Kind::List:
            return qobject_cast<QComboBox*>(widget) != nullptr;
        case Kind::Label:
        case Kind::ValueLabel:
        case Kind::Notice:
            return qobject_cast<QLabel*>(widget) != nullptr;
        case Kind::Line:
            return qobject_cast<QFrame*>(widget) != nullptr;
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

// The window is made from the view's control table (its literal places are checked there).
class Layout : public WindowTest, public ::testing::WithParamInterface<ControlSpec> {};

TEST_P(Layout, ControlIsPlacedAsDrawn) {
    const ControlSpec& p = GetParam();
    frmMain& window = create();
    QWidget* widget = control<QWidget>(QString::fromLatin1(p.name));
    ASSERT_NE(widget, nullptr);

    EXPECT_TRUE(isKind(widget, p.kind)) << widget->metaObject()->className();
    const QWidget* expectedParent =
        p.frame ? control<QWidget>(QString::fromLatin1(view::layoutOf(*p.frame).name))
                : static_cast<QWidget*>(&window);
    EXPECT_EQ(widget->parentWidget(), expectedParent);
    // A line is one pixel high.
    EXPECT_EQ(widget->geometry(),
              QRect(px(p.left), px(p.top), px(p.width), p.kind == Kind::Line ? 1 : px(p.height)));
    EXPECT_EQ(captionOf(widget), QString::fromStdU16String(std::u16string(p.caption)));

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
    // The notice shows only when there is something to say.
    EXPECT_EQ(widget->isVisibleTo(&window), p.kind != Kind::Notice);

    const bool takesFocus = p.kind == Kind::List || p.kind == Kind::CheckBox;
    EXPECT_EQ((widget->focusPolicy() & Qt::TabFocus) != 0, takesFocus);
    if (!takesFocus) {
        EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, Layout, ::testing::ValuesIn(view::layout()),
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
    for (const ControlSpec& p : view::layout()) {
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
    for (const ControlSpec& p : view::layout()) {
        const QString name = QString::fromLatin1(p.name);
        drawn[name] = control<QWidget>(name)->geometry();
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
