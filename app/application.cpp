#include "app/application.h"

#include <QApplication>
#include <QIcon>

#include "app/app_info.h"

namespace rotorix::app {

void describeApplication(QApplication& application) {
    QApplication::setApplicationName(QString::fromLatin1(kInternalName));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/rotorix-32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/rotorix-16.xpm"), QSize(16, 16));
    QApplication::setWindowIcon(icon);
    application.setQuitOnLastWindowClosed(true);
}

}  // namespace rotorix::app
