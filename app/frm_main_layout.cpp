// The window's fixed layout. Positions and sizes are kept in twips, as the layout was drawn, and
// converted at 15 twips to the logical pixel; Qt scales logical pixels for high-DPI screens.
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

#include "app/app_info.h"
#include "app/frm_main.h"

namespace {

constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}

QFont controlFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
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

template <typename W>
W* place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(px(left), px(top), px(width), px(height));
    widget->setFont(controlFont());
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
              int height) {
    auto* l = place(new QLabel(QString::fromUtf8(caption), parent), name, left, top, width, height);
    l->setFocusPolicy(Qt::NoFocus);
    return l;
}

QLabel* valueLabel(QWidget* parent, const char* name, int top) {
    auto* l = label(parent, name, "", 1680, top, 3300, 330);
    l->setAutoFillBackground(true);
    // Window background and window text, as a text field shows them, in every colour group so
    // the label still greys out when its frame is disabled.
    QPalette palette = l->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, palette.color(group, QPalette::Base));
        palette.setColor(group, QPalette::WindowText, palette.color(group, QPalette::Text));
    }
    l->setPalette(palette);
    l->setTextInteractionFlags(Qt::NoTextInteraction);
    return l;
}

QComboBox* list(QWidget* parent, const char* name, int left, int top, int width) {
    auto* combo = place(new QComboBox(parent), name, left, top, width, 360);
    combo->setEditable(false);
    combo->setFocusPolicy(Qt::StrongFocus);  // not WheelFocus: the wheel gives no focus
    combo->setEnabled(false);
    combo->installEventFilter(new WheelOnlyWhereTheUserIs(combo));
    return combo;
}

}  // namespace

void frmMain::buildLayout() {
    setWindowTitle(QString::fromUtf8(rotorix::app::kWindowCaption));
    setFixedSize(px(4455), px(5775));

    NoJoy = place(new QCheckBox(QStringLiteral("Hide Rotorix from gaming devices list "), this),
                  "NoJoy", 360, 5280, 3975, 375);
    NoJoy->setFocusPolicy(Qt::StrongFocus);
    NoJoy->setEnabled(false);

    Frame1 =
        place(new QGroupBox(QStringLiteral("Device details"), this), "Frame1", 120, 0, 4215, 1935);
    Frame1->setEnabled(false);

    Timer = new QTimer(Frame1);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(kStartIntervalMs);

    SerNo = list(Frame1, "SerNo", 1680, 300, 1320);
    Label3 = label(Frame1, "Label3", "Serial Number", 240, 360, 1815, 285);
    Label4 = label(Frame1, "Label4", "Manufacturer", 240, 720, 1215, 285);
    Label5 = label(Frame1, "Label5", "Product", 240, 1080, 1215, 285);
    Label2 = label(Frame1, "Label2", "Version", 240, 1440, 1455, 285);
    lblManuf = valueLabel(Frame1, "lblManuf", 720);
    lblProduct = valueLabel(Frame1, "lblProduct", 1080);
    lblVersion = valueLabel(Frame1, "lblVersion", 1440);
    lblSerialNumber = valueLabel(Frame1, "lblSerialNumber", 360);
    // The selector shows the open board's serial number; the empty label beneath it only paints
    // the rest of the row, so the selector must stay on top.
    SerNo->raise();

    Frame3 = place(new QGroupBox(QStringLiteral("Rotary encoder type for button pairs:"), this),
                   "Frame3", 120, 2040, 4215, 3135);
    Frame3->setEnabled(false);

    // Enc8 is created first and Enc1 last, as the layout was drawn; the tab order fixes the
    // keyboard sequence independently.
    static constexpr struct {
        int left, top;
    } kEncPlaces[8] = {{240, 480},  {240, 960},  {240, 1440},  {240, 1920},
                       {2400, 480}, {2400, 960}, {2400, 1440}, {2400, 1920}};
    for (int n = 8; n >= 1; --n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const QByteArray name = "Enc" + QByteArray::number(n);
        Enc[i] = list(Frame3, name.constData(), kEncPlaces[i].left, kEncPlaces[i].top, 900);
    }
    ModeCh1 = list(Frame3, "ModeCh1", 240, 2520, 1260);

    static constexpr struct {
        const char* name;
        const char* caption;
        int left, top, width;
    } kPairLabels[8] = {
        {"Label6", "1-2", 1260, 540, 1095},    {"Label7", "3-4", 1260, 1020, 1095},
        {"Label8", "5-6", 1260, 1500, 1095},   {"Label9", "7-8", 1260, 1980, 1095},
        {"Label10", "9-10", 3420, 555, 615},   {"Label11", "11-12", 3420, 1035, 615},
        {"Label12", "13-14", 3420, 1515, 735}, {"Label13", "15-16", 3420, 1995, 615},
    };
    // Created from Label13 down to Label6, as drawn.
    for (std::size_t i = PairLabels.size(); i-- > 0;) {
        const auto& p = kPairLabels[i];
        PairLabels[i] = label(Frame3, p.name, p.caption, p.left, p.top, p.width, 375);
        PairLabels[i]->setEnabled(false);
    }

    Line1 = new HorizontalLine(Frame3);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(px(120), px(2280), px(4440) - px(120), 1);

    Label1 = label(Frame3, "Label1", "Encoders pulse length", 1560, 2580, 2055, 375);
    Label1->setEnabled(false);

    // Over the identity rows, which are empty whenever it shows. Word-wrapped so the system's
    // words fit whatever their length.
    boardNotice_ = new QLabel(this);
    boardNotice_->setObjectName(QStringLiteral("boardNotice"));
    boardNotice_->setGeometry(px(120) + px(240), px(300), px(4215) - 2 * px(240), px(1500));
    boardNotice_->setFont(controlFont());
    boardNotice_->setWordWrap(true);
    boardNotice_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    boardNotice_->setAutoFillBackground(true);
    boardNotice_->setFocusPolicy(Qt::NoFocus);
    boardNotice_->hide();

    setTabOrder(ModeCh1, Enc[0]);
    for (std::size_t i = 0; i + 1 < Enc.size(); ++i) {
        setTabOrder(Enc[i], Enc[i + 1]);
    }
    setTabOrder(Enc[7], SerNo);
    setTabOrder(SerNo, NoJoy);
}

void frmMain::describeForAssistiveTechnology() {
    // Each focusable control is named for what it sets; a bare "1-2" would tell a screen reader
    // user nothing. On Linux Qt gives a list's current item as its name and leaves the label to
    // the "labelled by" relation, which comes from the buddy: so the buddy caption carries the
    // full name too, and the list's description repeats it for readers that ignore relations.
    for (std::size_t i = 0; i < Enc.size(); ++i) {
        const QString name = QStringLiteral("Encoder type, buttons ") + PairLabels[i]->text();
        Enc[i]->setAccessibleName(name);
        Enc[i]->setAccessibleDescription(name);
        PairLabels[i]->setAccessibleName(name);
        PairLabels[i]->setBuddy(Enc[i]);
    }
    ModeCh1->setAccessibleName(Label1->text());
    ModeCh1->setAccessibleDescription(Label1->text());
    Label1->setBuddy(ModeCh1);
    SerNo->setAccessibleName(Label3->text());
    SerNo->setAccessibleDescription(Label3->text());
    Label3->setBuddy(SerNo);
    NoJoy->setAccessibleName(NoJoy->text().trimmed());

    // The value labels are read out by their text; the description says which value it is.
    lblManuf->setAccessibleDescription(Label4->text());
    lblProduct->setAccessibleDescription(Label5->text());
    lblVersion->setAccessibleDescription(QStringLiteral("Firmware version"));
    // The serial number is read out by the selector over this label, which never shows text.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(silentWidgets);
        return true;
    }();
    (void)factoryInstalled;
    lblSerialNumber->setProperty(kSilentProperty, true);

    // The window itself can hold the focus (never by Tab) when every control is disabled.
    setFocusPolicy(Qt::ClickFocus);
}
