// tabulo-reg: exports and imports the settings store in the registry editor's text format.
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "settings/RegFile.h"
#include "settings/RegistryStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char* const Usage =
    "Aufruf: tabulo-reg export [--utf16] DATEI\n"
    "        tabulo-reg import DATEI\n"
    "Exportiert oder importiert die Einstellungen (TABULO_SETTINGS oder die Standarddatei) im\n"
    "Format \"Windows Registry Editor Version 5.00\". DATEI \"-\" steht für die Standardaus- bzw.\n"
    "-eingabe; --utf16 schreibt UTF-16LE mit BOM wie der Registrierungs-Editor.\n";

void PrintError(const QString& message) {
    QTextStream(stderr) << "tabulo-reg: " << message << Qt::endl;
}

QByteArray ReadInput(const QString& name) {
    QFile file;
    const bool open = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                 : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!open)
        throw TError(
            QStringLiteral("Die Datei '%1' kann nicht gelesen werden: %2").arg(name, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TError(
            QStringLiteral("Die Datei '%1' kann nicht gelesen werden: %2").arg(name, file.errorString()));
    return data;
}

void WriteOutput(const QString& name, const QByteArray& data) {
    if (name == QLatin1String("-")) {
        for (qsizetype done = 0; done < data.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, data.constData() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            // A reader that stopped early (grep -q) has what it wanted: that is no failure.
            if (n < 0 && errno == EPIPE)
                return;
            if (n < 0)
                throw TError(QStringLiteral("Die Standardausgabe kann nicht geschrieben werden: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
            done += n;
        }
        return;
    }
    // A failed export never leaves a truncated file in place of an earlier one. The file holds
    // the passwords of the connection strings: it is the user's alone, whatever the umask.
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(data) != data.size() || !out.commit())
        throw TError(
            QStringLiteral("Die Datei '%1' kann nicht geschrieben werden: %2").arg(name, out.errorString()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    QStringList args = app.arguments().mid(1);
    const bool utf16 = args.removeAll(QStringLiteral("--utf16")) > 0;
    if (args.size() != 2 ||
        (args.at(0) != QLatin1String("export") && args.at(0) != QLatin1String("import")) ||
        (utf16 && args.at(0) != QLatin1String("export"))) {
        std::fputs(Usage, stderr);
        return 2;
    }
    try {
        TIniFileEx settings;
        if (args.at(0) == QLatin1String("export")) {
            QStringList skipped;
            WriteOutput(args.at(1), RegFile::Export(settings.Store(), utf16, &skipped));
            // What the file could not carry is said, and the exit status tells a backup script.
            for (const QString& item : std::as_const(skipped))
                PrintError(QStringLiteral("Warnung: ") + item);
            if (!skipped.isEmpty())
                return 1;
        } else {
            const QByteArray data = ReadInput(args.at(1));
            for (const QString& warning : RegFile::Import(settings.Store(), data))
                PrintError(QStringLiteral("Warnung: ") + warning);
        }
    } catch (const TStoreError& e) {
        // The store's own failure carries only its cause; say what it stopped.
        PrintError(
            args.at(0) == QLatin1String("export")
                ? QStringLiteral("Die Einstellungen können nicht gelesen werden: %1.").arg(e.Message())
                : QStringLiteral("Die Einstellungen können nicht geschrieben werden: %1; es wurde nichts "
                                 "importiert.")
                      .arg(e.Message()));
        return 1;
    } catch (const TError& e) {
        PrintError(e.Message());
        return 1;
    }
    return 0;
}
