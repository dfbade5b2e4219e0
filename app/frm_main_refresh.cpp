// The read-back: bringing every board control into line with the open board, or with its
// absence, and telling the user (and assistive technology) what the window could not show.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

#include "app/board_notice.h"
#include "app/frm_main.h"
#include "config/protocol.h"
#include "config/settings_io.h"

namespace {

// Label captions that show board data begin with one space.
QString boardCaption(const std::u16string& text) {
    return QStringLiteral(" ") + QString::fromStdU16String(text);
}

}  // namespace

void frmMain::RefreshDeviceState() {
    loadControlsFromBoard();
    updateBoardNotice();
    keepFocusInWindow();
}

void frmMain::loadControlsFromBoard() {
    SettingsLoaded = false;
    readBackFailed_ = false;
    clearBoardControls();
    if (!DeviceFound || !board_) {
        return;
    }

    std::optional<std::uint16_t> version;
    showIdentity(version);
    Frame1->setEnabled(true);

    // Firmware 0.0 cannot be configured. A board without a manufacturer string has no version
    // shown and counts as firmware 0.0 too.
    if (!version || rotorix::config::firmwareTooOld(*version)) {
        lblVersion->setText(lblVersion->text() +
                            QString::fromLatin1(rotorix::config::kUpgradeFirmwareSuffix));
        return;
    }
    // Report lengths that could not be read are not a board that cannot be configured: the
    // watchdog reopens it on the next tick, as after a failed read-back.
    if (!board_->lengths_known) {
        readBackFailed_ = true;
        return;
    }
    // A feature report too short to carry a setting write: show the board, send it nothing.
    if (!rotorix::config::canConfigure(DeviceCaps.feature)) {
        return;
    }

    // Read everything first: the controls show values only when the whole read-back succeeded,
    // never a half-read mix or a value left from an earlier fetch.
    const auto settings = rotorix::config::readSettings(*board_->device, DeviceCaps.feature);
    LastApiResult = settings.has_value();
    if (!settings) {
        readBackFailed_ = true;
        return;
    }

    fillAndEnableSettingControls();
    setListIndex(ModeCh1, rotorix::config::pulseIndexFromCode(settings->pulse_code).value_or(-1));
    const rotorix::config::EncoderTypes types =
        rotorix::config::unpackEncoderTypes(settings->planes);
    for (std::size_t n = 0; n < Enc.size(); ++n) {
        setListIndex(Enc[n], types[n]);
    }
    setCheckValue(settings->hide_flag);
    SettingsLoaded = true;
}

void frmMain::clearBoardControls() {
    lblManuf->clear();
    lblProduct->clear();
    lblVersion->clear();
    for (QComboBox* list : Enc) {
        list->clear();
        list->setEnabled(false);
    }
    Frame3->setEnabled(false);
    ModeCh1->setEnabled(false);
    ModeCh1->clear();
    NoJoy->setEnabled(false);
    setCheckValue(0);
    Label1->setEnabled(false);
    for (QLabel* pair : PairLabels) {
        pair->setEnabled(false);
    }
}

void frmMain::showIdentity(std::optional<std::uint16_t>& version) {
    rotorix::hid::Device& device = *board_->device;
    if (const auto manufacturer = device.manufacturer()) {
        lblManuf->setText(boardCaption(*manufacturer));
        version = board_->info.version;
        lblVersion->setText(QString::fromStdString(rotorix::config::versionCaption(*version)));
    }
    if (const auto product = device.product()) {
        lblProduct->setText(boardCaption(*product));
    }
}

void frmMain::fillAndEnableSettingControls() {
    const auto& typeTexts = rotorix::config::encoderTypeTexts();
    for (QComboBox* list : Enc) {
        for (std::size_t i = 0; i < typeTexts.size(); ++i) {
            list->insertItem(static_cast<int>(i), QString::fromStdString(typeTexts[i]));
        }
        list->setEnabled(true);
    }
    Frame3->setEnabled(true);
    ModeCh1->setEnabled(true);
    NoJoy->setEnabled(true);
    Label1->setEnabled(true);
    for (QLabel* pair : PairLabels) {
        pair->setEnabled(true);
    }
    int index = 0;
    for (const std::string& text : rotorix::config::pulseLengthTexts()) {
        ModeCh1->insertItem(index++, QString::fromStdString(text));
    }
}

void frmMain::updateBoardNotice() {
    const QString notice = DeviceFound ? QString() : rotorix::app::unusableBoardNotice(unusable_);
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
