#include "app/encoder_test_window.h"

#include <QAccessible>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QtGlobal>

namespace rotorix::app {

namespace {

QString qt(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// A button's lamp: its number, filled with the selection colour while the button is down.
QLabel* lamp(int button, QWidget* parent) {
    auto* label = new QLabel(QString::number(button), parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("16")) + 12);
    label->setAutoFillBackground(true);
    return label;
}

void light(QLabel* lamp, bool lit) {
    QPalette palette = lamp->palette();
    const QPalette& base = lamp->parentWidget()->palette();
    palette.setColor(QPalette::Window, base.color(lit ? QPalette::Highlight : QPalette::Base));
    palette.setColor(QPalette::WindowText,
                     base.color(lit ? QPalette::HighlightedText : QPalette::Text));
    lamp->setPalette(palette);
}

}  // namespace

EncoderTestWindow::EncoderTestWindow(hid::Platform& platform, const session::BoardSession& session,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), model_(std::make_unique<view::EncoderTest>(platform, session)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmEncoderTest"));
    build();
    showView(model_->shown());
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer"));
    connect(timer_, &QTimer::timeout, this, &EncoderTestWindow::Timer_Timer);
    if (model_->shown().running) {
        timer_->start(view::EncoderTest::kTickMs);
    }
}

EncoderTestWindow::~EncoderTestWindow() = default;

void EncoderTestWindow::build() {
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setWordWrap(true);
    layout->addWidget(status_);
    layout->addLayout(buildPairGrid());
    layout->addWidget(buildFindings());
    layout->addLayout(buildButtons());
    // Wide enough for every row's longest text.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

QGridLayout* EncoderTestWindow::buildPairGrid() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    const QString headers[] = {tr("Pair"),           tr("Type as set"),     tr("Buttons"),   {},
                               tr("Steps on first"), tr("Steps on second"), tr("Last pulse")};
    for (int column = 0; column < 7; ++column) {
        if (!headers[column].isEmpty()) {
            auto* header = new QLabel(headers[column], this);
            QFont bold = header->font();
            bold.setBold(true);
            header->setFont(bold);
            grid->addWidget(header, 0, column, 1, column == 2 ? 2 : 1);
        }
    }
    for (int p = 0; p < static_cast<int>(rows_.size()); ++p) {
        Row& row = rows_[static_cast<std::size_t>(p)];
        const auto label = [&](const QString& name) {
            auto* made = new QLabel(this);
            made->setObjectName(name.arg(p + 1));
            return made;
        };
        row.name = label(QStringLiteral("lblPair%1"));
        row.type = label(QStringLiteral("lblType%1"));
        row.buttons = {lamp(2 * p + 1, this), lamp(2 * p + 2, this)};
        row.buttons[0]->setObjectName(QStringLiteral("lblButton%1").arg(2 * p + 1));
        row.buttons[1]->setObjectName(QStringLiteral("lblButton%1").arg(2 * p + 2));
        row.steps = {label(QStringLiteral("lblFirstSteps%1")),
                     label(QStringLiteral("lblSecondSteps%1"))};
        row.width = label(QStringLiteral("lblWidth%1"));
        QWidget* cells[] = {row.name,     row.type,     row.buttons[0], row.buttons[1],
                            row.steps[0], row.steps[1], row.width};
        for (int column = 0; column < 7; ++column) {
            grid->addWidget(cells[column], p + 1, column,
                            column >= 4 ? Qt::AlignRight | Qt::AlignVCenter : Qt::Alignment{});
        }
    }
    return grid;
}

QGroupBox* EncoderTestWindow::buildFindings() {
    auto* findings = new QGroupBox(tr("Findings"), this);
    findings->setAccessibleName(tr("Findings"));
    auto* inside = new QVBoxLayout(findings);
    findings_ = new QLabel(findings);
    findings_->setObjectName(QStringLiteral("lblFindings"));
    findings_->setWordWrap(true);
    findings_->setMinimumHeight(findings_->fontMetrics().lineSpacing() * 3);
    findings_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    inside->addWidget(findings_);
    return findings;
}

QHBoxLayout* EncoderTestWindow::buildButtons() {
    auto* buttons = new QHBoxLayout;
    clear_ = new QPushButton(tr("C&lear the counts"), this);
    clear_->setObjectName(QStringLiteral("cmdClear"));
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    buttons->addStretch();
    buttons->addWidget(clear_);
    buttons->addWidget(close);
    connect(clear_, &QPushButton::clicked, this, [this] { showUpdate(model_->clearCounts()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // Only the two buttons take the focus; a screen reader reads the rest by name.
    setTabOrder(clear_, close);
    clear_->setAccessibleName(tr("Clear the counts"));
    close->setAccessibleName(tr("Close the encoder test"));
    return buttons;
}

void EncoderTestWindow::Timer_Timer() {
    showUpdate(model_->tick());
    if (!model_->shown().running) {
        timer_->stop();
    }
}

void EncoderTestWindow::follow(const session::Snapshot& snapshot) {
    showUpdate(model_->follow(snapshot));
}

void EncoderTestWindow::showUpdate(const view::EncoderTestUpdate& update) {
    if (update.show) {
        showView(*update.show);
    }
    for (const std::u16string& text : update.announce) {
        announce(qt(text));
    }
}

void EncoderTestWindow::showView(const view::EncoderTestView& view) {
    setWindowTitle(qt(view.title));
    status_->setText(qt(view.status));
    status_->setAccessibleName(qt(view.status));
    for (std::size_t p = 0; p < rows_.size(); ++p) {
        const view::PairRow& shown = view.rows[p];
        Row& row = rows_[p];
        row.name->setText(qt(shown.name));
        // A screen reader reads the row as one sentence from its first cell.
        row.name->setAccessibleName(qt(shown.spoken));
        row.type->setText(qt(shown.type));
        row.type->setAccessibleName(
            tr("%1, type as set: %2").arg(qt(shown.name), row.type->text()));
        for (std::size_t b = 0; b < 2; ++b) {
            const int number = static_cast<int>(2 * p + b + 1);
            light(row.buttons[b], shown.lit[b]);
            row.buttons[b]->setAccessibleName(shown.lit[b] ? tr("Button %1, down").arg(number)
                                                           : tr("Button %1, up").arg(number));
            const long long count = b == 0 ? shown.first_steps : shown.second_steps;
            row.steps[b]->setText(QString::number(count));
            row.steps[b]->setAccessibleName(tr("Steps on button %1: %2").arg(number).arg(count));
        }
        row.width->setText(qt(shown.last_width));
        row.width->setAccessibleName(
            shown.last_width.empty()
                ? tr("%1, no pulse yet").arg(qt(shown.name))
                : tr("%1, last pulse: %2").arg(qt(shown.name), qt(shown.last_width)));
    }
    QStringList findings;
    for (const std::u16string& finding : view.findings) {
        findings << qt(finding);
    }
    if (findings.isEmpty()) {
        findings << (view.running ? tr("Nothing looks wrong so far.") : QString());
    }
    findings_->setText(findings.join(QLatin1Char('\n')));
    findings_->setAccessibleName(findings_->text());
    clear_->setEnabled(view.running);
}

// Polite: what the user did not ask for is said once the reader is idle, without cutting off
// what it is reading. Qt before 6.8 has no announcement of its own; there the findings label is
// the live region: its description changes, which screen readers report without interrupting.
void EncoderTestWindow::announce(const QString& text) {
    findings_->setAccessibleDescription(text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(findings_, text);
    event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
#else
    QAccessibleEvent event(findings_, QAccessible::DescriptionChanged);
#endif
    QAccessible::updateAccessibility(&event);
}

}  // namespace rotorix::app
