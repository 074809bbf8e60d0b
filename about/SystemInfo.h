#pragma once

#include <QList>
#include <QRect>
#include <QString>

class QDateTime;

// The texts the About dialog shows about the machine: operating system, screens, printer and
// the program file. Stateless; GUI thread (the printer and screen queries need the application).
class TSystemInfo {
public:
    // "Linux <kernel release> (<distribution>)", the distribution's PRETTY_NAME from os-release;
    // without the parentheses when there is no os-release, empty when uname fails.
    static QString OperatingSystemText();

    // The system's configuration directory and the directory of the shared libraries the
    // program runs on, separated by ";".
    static QString SystemDirectories();

    // The program's directory with a trailing separator.
    static QString ProgramDirectory();

    // A file time in the user's short date and long time format; the time is left out when it
    // is exactly midnight.
    static QString FileDateText(const QDateTime& time);

    // "16 Farben", "256 Farben", "High Color (16 Bit)", "True Color (24 Bit)",
    // "True Color (32 Bit)"; empty for any other depth.
    static QString ColourDepthText(int bitsPerPixel);

    // The monitor count, the right and bottom edges of the whole desktop, each monitor's size
    // and the main window's frame, in CR LF lines.
    static QString MonitorReport(const QList<QRect>& monitors, const QRect& desktop, const QRect& mainWindow);

    struct TPrinterRows {
        QString Name;
        QString Driver;
        QString Port;
        int Resolution = 0; // dots per inch
    };
    // The rows of the default printer; throws TError when there is none.
    static TPrinterRows DefaultPrinter();
};
