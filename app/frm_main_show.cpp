// Showing the session's snapshot: every board control brought into line with the open board, or
// with its absence, and what the window could not show told to the user and to assistive
// technology.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <limits>

#include "app/frm_main.h"
#include "config/protocol.h"

namespace {

using rotorix::session::Snapshot;

// Label captions that show board data begin with one space.
QString boardCaption(const std::optional<std::u16string>& text) {
    return text ? QStringLiteral(" ") + QString::fromStdU16String(*text) : QString();
}

// Fills a list with `texts` unless it already holds exactly them.
void keepItems(QComboBox* list, const QStringList& texts) {
    bool same = list->count() == texts.size();
    for (int i = 0; same && i < texts.size(); ++i) {
        same = list->itemText(i) == texts[i];
    }
    if (!same) {
        list->clear();
        list->addItems(texts);
    }
}

QStringList qtTexts(const auto& texts) {
    QStringList out;
    for (const auto& text : texts) {
        out.append(QString::fromStdString(text));
    }
    return out;
}

}  // namespace

void frmMain::showSession() {
    if (session_.generation() == shownGeneration_) {
        return;
    }
    shownGeneration_ = session_.generation();
    const Snapshot& shown = session_.snapshot();
    showSelector(shown);
    showIdentity(shown);
    showSettings(shown);
    updateBoardNotice(QString::fromStdString(shown.notice));
    keepFocusInWindow();
}

void frmMain::showSelector(const Snapshot& shown) {
    QStringList serials;
    for (const std::u16string& serial : shown.serials) {
        serials.append(QString::fromStdU16String(serial));
    }
    keepItems(SerNo, serials);
    SerNo->setCurrentIndex(shown.selected);
    // One board leaves nothing to choose.
    SerNo->setEnabled(serials.size() > 1);
}

void frmMain::showIdentity(const Snapshot& shown) {
    lblManuf->setText(boardCaption(shown.manufacturer));
    lblProduct->setText(boardCaption(shown.product));
    lblVersion->setText(QString::fromStdString(shown.version_caption));
    if (shown.board_open) {
        Frame1->setEnabled(true);  // once a board has been shown, the frame stays enabled
    }
    // A label without text would be announced by its frame's title ("Device details"); say
    // instead which value is missing. With text, the label is read out by its text.
    const auto nameWhenEmpty = [](QLabel* label, const QString& name) {
        label->setAccessibleName(label->text().isEmpty() ? name : QString());
    };
    nameWhenEmpty(lblManuf, QStringLiteral("Manufacturer: none"));
    nameWhenEmpty(lblProduct, QStringLiteral("Product: none"));
    nameWhenEmpty(lblVersion, QStringLiteral("Firmware version: none"));
}

void frmMain::showSettings(const Snapshot& shown) {
    if (!shown.settings) {
        for (QComboBox* list : Enc) {
            list->clear();
        }
        ModeCh1->clear();
        NoJoy->setTristate(false);
        NoJoy->setCheckState(Qt::Unchecked);
        enableSettingControls(false);
        return;
    }
    const rotorix::config::BoardSettings& settings = *shown.settings;
    const QStringList typeTexts = qtTexts(rotorix::config::encoderTypeTexts());
    const rotorix::config::EncoderTypes types =
        rotorix::config::unpackEncoderTypes(settings.planes);
    for (std::size_t n = 0; n < Enc.size(); ++n) {
        keepItems(Enc[n], typeTexts);
        Enc[n]->setCurrentIndex(types[n]);
    }
    keepItems(ModeCh1, qtTexts(rotorix::config::pulseLengthTexts()));
    // A code the list has no item for leaves it without a selection.
    ModeCh1->setCurrentIndex(rotorix::config::pulseIndexFromCode(settings.pulse_code).value_or(-1));
    // Values beyond listed/hidden show the greyed state; Qt makes the box tri-state for it.
    if (settings.hide_flag <= 1) {
        NoJoy->setTristate(false);
        NoJoy->setCheckState(settings.hide_flag == 1 ? Qt::Checked : Qt::Unchecked);
    } else {
        NoJoy->setCheckState(Qt::PartiallyChecked);
    }
    enableSettingControls(true);
}

void frmMain::enableSettingControls(bool enabled) {
    for (QComboBox* list : Enc) {
        list->setEnabled(enabled);
    }
    Frame3->setEnabled(enabled);
    ModeCh1->setEnabled(enabled);
    NoJoy->setEnabled(enabled);
    Label1->setEnabled(enabled);
    for (QLabel* pair : PairLabels) {
        pair->setEnabled(enabled);
    }
}

void frmMain::updateBoardNotice(const QString& notice) {
    if (notice == boardNotice()) {
        return;
    }
    boardNotice_->setText(notice);
    boardNotice_->setVisible(!notice.isEmpty());
    if (!notice.isEmpty()) {
        announce(notice);
    }
}

QString frmMain::boardNotice() const {
    return boardNotice_->isVisibleTo(this) ? boardNotice_->text() : QString();
}

void frmMain::keepFocusInWindow() {
    QWidget* focused = focusWidget();
    if (focused == nullptr || !focused->isEnabled()) {
        setFocus(Qt::OtherFocusReason);
    }
}

void frmMain::announce(const QString& text) {
    setAccessibleDescription(text);
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}
