#include "app/SampleDatabase.h"

#include "app/Main.h"
#include "catalogue/DBLst.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString TSampleDatabase::ScriptFile() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/tabulo/beispiel.sql"));
}

QString TSampleDatabase::DatabaseFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tabulo/beispiel.sqlite");
}

bool TSampleDatabase::OfferOnFirstStart(TIniFileEx& store, const QString& script, const QString& database) {
    // A user who removed every entry has a stored window placement: the sample stays away.
    if (store.ReadOnly() || store.SectionExists(TFrameDBLst::CatalogueSection()) ||
        store.SectionExists(TFrmMain::PlacementSection()) || !QFileInfo::exists(script))
        return false;
    // An existing file is the user's by now; it is used as it is.
    if (!QFileInfo::exists(database))
        Generate(script, database);
    store.WriteValueList(TFrameDBLst::CatalogueSection(),
                         {EntryName() + QStringLiteral("=Provider=SQLite;Data Source=") +
                          TConnectionString::QuoteValue(database)});
    return true;
}

void TSampleDatabase::Generate(const QString& script, const QString& database) {
    QFile file(script);
    if (!file.open(QIODevice::ReadOnly))
        throw TError(QStringLiteral("Das Skript der Beispieldatenbank '%1' lässt sich nicht lesen: %2")
                         .arg(script, file.errorString()));
    const QString sql = QString::fromUtf8(file.readAll());
    if (!QDir().mkpath(QFileInfo(database).absolutePath()))
        throw TError(QStringLiteral("Der Ordner für die Beispieldatenbank '%1' lässt sich nicht anlegen.")
                         .arg(QFileInfo(database).absolutePath()));
    const QString partial = database + QStringLiteral(".neu");
    QFile::remove(partial);
    try {
        TConnection connection;
        connection.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") +
                        TConnectionString::QuoteValue(partial));
        connection.Execute(sql);
        connection.Close();
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    if (!QFile::rename(partial, database)) {
        QFile::remove(partial);
        throw TError(QStringLiteral("Die Beispieldatenbank '%1' lässt sich nicht anlegen.").arg(database));
    }
}
