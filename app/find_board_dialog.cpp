#include "app/find_board_dialog.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtGlobal>

namespace rotorix::app {

namespace {

QString qt(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

FindBoardDialog::FindBoardDialog(hid::Platform& platform, session::BoardSession& session,
                                 QWidget* parent)
    : QDialog(parent), model_(std::make_unique<view::BoardFinder>(platform, session)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmFindBoard"));
    // The main window's picks wait while the dialog is open; its watchdog does not.
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    prompt_ = new QLabel(this);
    prompt_->setObjectName(QStringLiteral("lblPrompt"));
    prompt_->setWordWrap(true);
    QFont larger = prompt_->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.2);
    prompt_->setFont(larger);
    layout->addWidget(prompt_);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setWordWrap(true);
    status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 3);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("cmdCancel"));
    cancel_->setAccessibleName(tr("Cancel the search"));
    layout->addWidget(buttons);
    // Esc reaches reject() through QDialog itself.
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Wide enough that the prompt fits on one or two lines.
    setMinimumWidth(prompt_->fontMetrics().horizontalAdvance(qt(model_->shown().prompt)) / 2 + 60);

    showView(model_->shown());
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer"));
    connect(timer_, &QTimer::timeout, this, &FindBoardDialog::Timer_Timer);
    timer_->start(view::BoardFinder::kTickMs);
}

FindBoardDialog::~FindBoardDialog() = default;

void FindBoardDialog::Timer_Timer() {
    showUpdate(model_->tick());
    if (model_->shown().outcome == view::BoardFinderView::Outcome::Found) {
        timer_->stop();
        emit found();
        accept();
    }
}

void FindBoardDialog::reject() {
    timer_->stop();
    showUpdate(model_->cancel());
    QDialog::reject();
}

void FindBoardDialog::showUpdate(const view::BoardFinderUpdate& update) {
    if (update.show) {
        showView(*update.show);
    }
    for (const std::u16string& text : update.announce) {
        announce(qt(text));
    }
}

void FindBoardDialog::showView(const view::BoardFinderView& view) {
    setWindowTitle(qt(view.title));
    prompt_->setText(qt(view.prompt));
    prompt_->setAccessibleName(qt(view.prompt));
    status_->setText(qt(view.status));
    status_->setAccessibleName(qt(view.status));
    // A screen reader opening the dialog reads the prompt first, as its description.
    setAccessibleDescription(qt(view.prompt));
}

// Polite, as the encoder test window says its findings: the status label is the live region
// before Qt 6.8.
void FindBoardDialog::announce(const QString& text) {
    status_->setAccessibleDescription(text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(status_, text);
    event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
#else
    QAccessibleEvent event(status_, QAccessible::DescriptionChanged);
#endif
    QAccessible::updateAccessibility(&event);
}

}  // namespace rotorix::app
