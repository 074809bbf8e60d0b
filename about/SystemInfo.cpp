#include "about/SystemInfo.h"

#include "settings/Error.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringList>
#include <QSysInfo>

#include <sys/utsname.h>

QString TSystemInfo::OperatingSystemText() {
    utsname names{};
    if (uname(&names) != 0)
        return {};
    QString text = QStringLiteral("%1 %2").arg(QString::fromLocal8Bit(names.sysname),
                                               QString::fromLocal8Bit(names.release));
    // QSysInfo reads os-release; without one it reports the product type "unknown" and
    // would only repeat the kernel.
    if (QSysInfo::productType() != QLatin1String("unknown"))
        text += QStringLiteral(" (%1)").arg(QSysInfo::prettyProductName());
    return text;
}

QString TSystemInfo::SystemDirectories() {
    return QStringLiteral("%1;%2").arg(
        QDir::toNativeSeparators(QStringLiteral("/etc")),
        QDir::toNativeSeparators(QLibraryInfo::path(QLibraryInfo::LibrariesPath)));
}

QString TSystemInfo::ProgramDirectory() {
    QString dir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
}

QString TSystemInfo::FileDateText(const QDateTime& time) {
    const QLocale locale;
    const QString date = locale.toString(time.date(), QLocale::ShortFormat);
    if (time.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(time.time(), QLocale::LongFormat);
}

QString TSystemInfo::ColourDepthText(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 4:
        return QStringLiteral("16 Farben");
    case 8:
        return QStringLiteral("256 Farben");
    case 16:
        return QStringLiteral("High Color (16 Bit)");
    case 24:
        return QStringLiteral("True Color (24 Bit)");
    case 32:
        return QStringLiteral("True Color (32 Bit)");
    default:
        return {};
    }
}

QString TSystemInfo::MonitorReport(const QList<QRect>& monitors, const QRect& desktop,
                                   const QRect& mainWindow) {
    // Right and bottom as edges (left + width), not as QRect's last pixel.
    QStringList lines{QStringLiteral("Monitors: %1").arg(monitors.size()),
                      QStringLiteral("Auflösung ges.: %1 x %2")
                          .arg(desktop.x() + desktop.width())
                          .arg(desktop.y() + desktop.height())};
    for (qsizetype i = 0; i < monitors.size(); ++i)
        lines << QStringLiteral("Auflösung %1: %2 x %3")
                     .arg(i)
                     .arg(monitors[i].width())
                     .arg(monitors[i].height());
    lines << QStringLiteral("Aktuelle Pos./Abmessungen: (%1,%2) (%3, %4)")
                 .arg(mainWindow.x())
                 .arg(mainWindow.y())
                 .arg(mainWindow.width())
                 .arg(mainWindow.height());
    return lines.join(QStringLiteral("\r\n"));
}

TSystemInfo::TPrinterRows TSystemInfo::DefaultPrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw TError(QStringLiteral("Es ist kein Standarddrucker eingerichtet."));
    // CUPS knows no driver version and no port: the make and model stand for the driver, the
    // printer's location for the port.
    QPrinter printer(info, QPrinter::HighResolution);
    return {info.printerName(), info.makeAndModel(), info.location(), printer.resolution()};
}
