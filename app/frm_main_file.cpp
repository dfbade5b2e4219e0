// The File menu's handlers: file names from the dialogs, bytes to and from the file, and the
// view's report in a message box. What is written and what a load does is the view's.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>
#include <string_view>

#include "app/frm_main.h"
#include "profile/profile.h"

namespace {

const QString kProfileFilter = QStringLiteral("%1 (*.json);;%2 (*)");

QString fromU16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// Qt's own dialogs; QString holds the name as the user typed it, in any script, and QFile hands
// it to the system in the system's encoding.
frmMain::FileDialogs qtFileDialogs() {
    const QString filter =
        kProfileFilter.arg(frmMain::tr("Settings profiles"), frmMain::tr("All files"));
    return {[filter](QWidget* parent, const QString& suggested) {
                return QFileDialog::getSaveFileName(parent, frmMain::tr("Save the settings"),
                                                    QDir::home().filePath(suggested), filter);
            },
            [filter](QWidget* parent) {
                return QFileDialog::getOpenFileName(parent, frmMain::tr("Load settings"),
                                                    QDir::homePath(), filter);
            }};
}

}  // namespace

void frmMain::mnuSave_Click() {
    const QString title = tr("Save the settings");
    const rotorix::view::ProfileToSave save = rotorix::view::profileToSave(session_.snapshot());
    if (save.text.empty()) {
        showFileReport(title, fromU16(save.problem), true);
        return;
    }
    const FileDialogs dialogs = file_dialogs_.save_name ? file_dialogs_ : qtFileDialogs();
    const QString name = dialogs.save_name(window(), fromU16(save.suggested_name));
    if (name.isEmpty()) {
        return;
    }
    // Written whole or not at all: a profile cut short by a full disk would not load again.
    QSaveFile file(name);
    const QByteArray bytes = QByteArray::fromStdString(save.text);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        showFileReport(title,
                       tr("The settings could not be saved to %1: %2")
                           .arg(QDir::toNativeSeparators(name), file.errorString()),
                       true);
        return;
    }
    showFileReport(title,
                   tr("The settings of %1 were saved to %2.")
                       .arg(fromU16(save.board), QDir::toNativeSeparators(name)),
                   false);
}

void frmMain::mnuLoad_Click() {
    loadFrom(rotorix::view::LoadTarget::ShownBoard, tr("Load settings"));
}

void frmMain::mnuLoadEvery_Click() {
    loadFrom(rotorix::view::LoadTarget::EveryBoard, tr("Load settings onto every board"));
}

void frmMain::loadFrom(rotorix::view::LoadTarget target, const QString& title) {
    const FileDialogs dialogs = file_dialogs_.open_name ? file_dialogs_ : qtFileDialogs();
    const QString name = dialogs.open_name(window());
    if (name.isEmpty()) {
        return;
    }
    const QString shown_name = QDir::toNativeSeparators(name);
    QFile file(name);
    // One byte past the largest profile is enough for the reader to refuse a larger file.
    const QByteArray bytes = file.open(QIODevice::ReadOnly)
                                 ? file.read(rotorix::profile::kMaxProfileBytes + 1)
                                 : QByteArray();
    if (file.error() != QFileDevice::NoError) {
        showFileReport(title, tr("%1 could not be read: %2").arg(shown_name, file.errorString()),
                       true);
        return;
    }
    const rotorix::view::Loaded loaded = presenter_.loadProfile(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), target);
    showUpdate(loaded.update);
    showFileReport(title, shown_name + QStringLiteral(":\n") + fromU16(loaded.report.text),
                   !loaded.report.all_written);
}

void frmMain::showFileReport(const QString& title, const QString& text, bool trouble) {
    delete file_report_;
    auto* box = new QMessageBox(trouble ? QMessageBox::Warning : QMessageBox::Information, title,
                                text, QMessageBox::Ok, window());
    box->setObjectName(QStringLiteral("msgFileReport"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAccessibleName(title);
    box->setAccessibleDescription(text);
    file_report_ = box;
    box->open();
}
