// The window's controls, made from the view's control table. Positions and sizes are kept there in
// twips, as the layout was drawn, and converted here at 15 twips to the logical pixel, each in its
// frame; Qt scales logical pixels for high-DPI screens.
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "app/frm_main.h"

namespace {

// Qt's logical pixels are those of a 96 dpi screen; it scales them for high-DPI screens itself.
constexpr int kLogicalDpi = 96;

constexpr int px(int twips) {
    return rotorix::view::toPixels(twips, kLogicalDpi);
}

QFont controlFont() {
    QFont font(QString::fromStdU16String(std::u16string(rotorix::view::kFontFace)));
    font.setPointSizeF(rotorix::view::kFontCentipoints / 100.0);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

// A horizontal rule drawn in the frame colour of the current style.
class HorizontalLine : public QFrame {
  public:
    explicit HorizontalLine(QWidget* parent) : QFrame(parent) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, 0, width(), 0);
    }
};

// Assistive technology skips a widget marked this way: it is there for the look of the window
// and never carries anything to read.
constexpr const char* kSilentProperty = "rotorixSilent";

class SilentWidget : public QAccessibleWidget {
  public:
    explicit SilentWidget(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
    QString text(QAccessible::Text) const override { return {}; }
};

QAccessibleInterface* silentWidgets(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget != nullptr && widget->property(kSilentProperty).toBool()) {
        return new SilentWidget(widget);
    }
    return nullptr;
}

// The wheel turned over a closed list the user is not working in would pick its next item, and the
// pick goes to the board at once: a scroll that only passes over the window would reconfigure a
// board. Such a wheel is left to the window instead; a list with the keyboard focus, or dropped
// down, takes it as before.
class WheelOnlyWhereTheUserIs : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* combo = qobject_cast<QComboBox*>(watched);
        if (event->type() == QEvent::Wheel && combo != nullptr && !combo->hasFocus() &&
            !combo->view()->isVisible()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

QWidget* make(const rotorix::view::ControlSpec& s, QWidget* parent) {
    using rotorix::view::Kind;
    const QString caption = QString::fromStdU16String(std::u16string(s.caption));
    switch (s.kind) {
        case Kind::CheckBox:
            return new QCheckBox(caption, parent);
        case Kind::Frame:
            return new QGroupBox(caption, parent);
        case Kind::List: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            combo->installEventFilter(new WheelOnlyWhereTheUserIs(combo));
            return combo;
        }
        case Kind::Line:
            return new HorizontalLine(parent);
        case Kind::ValueLabel: {
            auto* label = new QLabel(parent);
            label->setAutoFillBackground(true);
            // Window background and window text, as a text field shows them, in every colour
            // group so the label still greys out when its frame is disabled.
            QPalette palette = label->palette();
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
                palette.setColor(group, QPalette::Window, palette.color(group, QPalette::Base));
                palette.setColor(group, QPalette::WindowText, palette.color(group, QPalette::Text));
            }
            label->setPalette(palette);
            label->setTextInteractionFlags(Qt::NoTextInteraction);
            return label;
        }
        case Kind::Notice: {
            // Word-wrapped so the system's words fit whatever their length.
            auto* label = new QLabel(parent);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            label->setAutoFillBackground(true);
            return label;
        }
        case Kind::Label:
            break;
    }
    return new QLabel(caption, parent);
}

}  // namespace

void frmMain::buildLayout() {
    setWindowTitle(QString::fromStdU16String(std::u16string(rotorix::view::kWindowCaption)));
    setFixedSize(px(rotorix::view::kClientWidthTwips), px(rotorix::view::kClientHeightTwips));
    orderTabStops(makeControls());
    nameControls();
    // The window itself can hold the focus (never by Tab) when every control is disabled.
    setFocusPolicy(Qt::ClickFocus);
}

std::vector<const rotorix::view::ControlSpec*> frmMain::makeControls() {
    using rotorix::view::Kind;
    // In the order the layout was drawn, which is also the order they lie on top of each other.
    std::vector<const rotorix::view::ControlSpec*> tabStops;
    for (const rotorix::view::ControlSpec& s : rotorix::view::layout()) {
        QWidget* widget = make(s, s.frame ? control(*s.frame) : this);
        controls_[static_cast<std::size_t>(s.id)] = widget;
        widget->setObjectName(QString::fromLatin1(s.name));
        // A line is one pixel high, however it was drawn.
        widget->setGeometry(px(s.left), px(s.top), px(s.width),
                            s.kind == Kind::Line ? 1 : px(s.height));
        widget->setFont(controlFont());
        widget->setEnabled(s.enabled);
        const bool takesFocus = s.kind == Kind::List || s.kind == Kind::CheckBox;
        // Not WheelFocus: the wheel gives no focus.
        widget->setFocusPolicy(takesFocus ? Qt::StrongFocus : Qt::NoFocus);
        if (takesFocus) {
            tabStops.push_back(&s);
        }
        if (s.id == rotorix::view::Control::Frame1) {
            Timer = new QTimer(widget);
            Timer->setObjectName(QStringLiteral("Timer"));
            Timer->setInterval(kStartIntervalMs);
        }
    }
    // The selector shows the open board's serial number; the empty label beneath it only paints
    // the rest of the row, so the selector must stay on top.
    control(rotorix::view::Control::SerNo)->raise();
    control(rotorix::view::Control::boardNotice)->hide();
    return tabStops;
}

void frmMain::orderTabStops(std::vector<const rotorix::view::ControlSpec*> tabStops) {
    std::sort(tabStops.begin(), tabStops.end(),
              [](const auto* a, const auto* b) { return a->tab < b->tab; });
    for (std::size_t i = 0; i + 1 < tabStops.size(); ++i) {
        setTabOrder(control(tabStops[i]->id), control(tabStops[i + 1]->id));
    }
}

// Each focusable control is named for what it sets; a bare "1-2" would tell a screen reader user
// nothing. On Linux Qt gives a list's current item as its name and leaves the label to the
// "labelled by" relation, which comes from the buddy: so the buddy caption carries the full name
// too, and the list's description repeats it for readers that ignore relations. The value labels
// are read out by their text; the description says which value it is.
void frmMain::nameControls() {
    using rotorix::view::Kind;
    for (const rotorix::view::ControlSpec& s : rotorix::view::layout()) {
        const QString name = QString::fromStdU16String(std::u16string(s.accessible));
        if (name.isEmpty()) {
            continue;
        }
        QWidget* widget = control(s.id);
        if (s.kind == Kind::ValueLabel) {
            widget->setAccessibleDescription(name);
            continue;
        }
        widget->setAccessibleName(name);
        if (s.kind == Kind::List) {
            widget->setAccessibleDescription(name);
        }
        if (s.named_by) {
            control<QLabel>(*s.named_by)->setBuddy(widget);
        }
    }
    // The serial number is read out by the selector over this label, which never shows text.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(silentWidgets);
        return true;
    }();
    (void)factoryInstalled;
    control(rotorix::view::Control::lblSerialNumber)->setProperty(kSilentProperty, true);
}
