// The connection pages of the data link dialog: SQLite, PostgreSQL and ODBC.
#include "catalogue/ConnectionTest.h"
#include "catalogue/DataLink.h"
#include "catalogue/DataLinkParts.h"
#include "data/OdbcInfo.h"
#include "settings/Error.h"
#include "ui/MsgBox.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* NamedLineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

bool IsAnyOf(const QString& key, const QStringList& names) {
    return names.contains(key.trimmed(), Qt::CaseInsensitive);
}

// Keys the ODBC page has fields for; password keys are never shown among the attributes.
bool IsOdbcFieldKey(const QString& key) {
    using namespace DataLinkKeys;
    return IsAnyOf(key, OdbcDsn) || IsAnyOf(key, OdbcDriver) || IsAnyOf(key, OdbcUser) ||
           IsAnyOf(key, OdbcPassword) ||
           key.trimmed().compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0 || IsSecretKey(key);
}

// What libpq uses for a key the user leaves empty ("user": the login name).
QString PostgresDefault(const QList<TConnectionKey>& keys, const QString& key) {
    for (const TConnectionKey& k : keys)
        if (k.Key.compare(key, Qt::CaseInsensitive) == 0)
            return k.Default;
    return {};
}

} // namespace

QWidget* TDataLinkDialog::CreateSqlitePage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    EdtSqliteFile = NamedLineEdit("EdtSqliteFile", page);
    connect(EdtSqliteFile, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetField(DataLinkKeys::SqliteFile, t); });
    form->addRow(QStringLiteral("&Datenbankdatei:"), EdtSqliteFile);
    BtnSqliteOpen = new QPushButton(QStringLiteral("Datei a&uswählen..."), page);
    BtnSqliteOpen->setObjectName(QStringLiteral("BtnSqliteOpen"));
    BtnSqliteOpen->setAutoDefault(false);
    connect(BtnSqliteOpen, &QPushButton::clicked, this, [this] { ChooseSqliteFile(false); });
    BtnSqliteNew = new QPushButton(QStringLiteral("&Neue Datenbank anlegen..."), page);
    BtnSqliteNew->setObjectName(QStringLiteral("BtnSqliteNew"));
    BtnSqliteNew->setAutoDefault(false);
    connect(BtnSqliteNew, &QPushButton::clicked, this, [this] { ChooseSqliteFile(true); });
    auto* row = new QHBoxLayout;
    row->addWidget(BtnSqliteOpen);
    row->addWidget(BtnSqliteNew);
    row->addStretch(1);
    form->addRow(QString(), row);
    return page;
}

QWidget* TDataLinkDialog::CreatePgPage() {
    using namespace DataLinkKeys;
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    EdtPgHost = NamedLineEdit("EdtPgHost", page);
    const QList<TConnectionKey> keys = ProviderConnectionKeys(QStringLiteral("Provider=PostgreSQL"));
    const QString host = PostgresDefault(keys, QStringLiteral("Data Source"));
    EdtPgHost->setPlaceholderText(host.isEmpty() ? QStringLiteral("leer: lokaler Socket")
                                                 : QStringLiteral("leer: ") + host);
    EdtPgPort = NamedLineEdit("EdtPgPort", page);
    EdtPgPort->setValidator(new QIntValidator(1, 65535, EdtPgPort));
    const QString port = PostgresDefault(keys, QStringLiteral("port"));
    EdtPgPort->setPlaceholderText(port.isEmpty() ? QStringLiteral("5432") : port);
    EdtPgService = NamedLineEdit("EdtPgService", page);
    EdtPgService->setPlaceholderText(QStringLiteral("Eintrag aus pg_service.conf (optional)"));
    EdtPgUser = NamedLineEdit("EdtPgUser", page);
    const QString login = PostgresDefault(keys, QStringLiteral("User ID"));
    EdtPgUser->setPlaceholderText(login.isEmpty() ? QStringLiteral("leer: Anmeldename")
                                                  : QStringLiteral("leer: %1 (Anmeldename)").arg(login));
    EdtPgPassword = NamedLineEdit("EdtPgPassword", page);
    EdtPgPassword->setEchoMode(QLineEdit::Password);
    EdtPgPassword->setPlaceholderText(QStringLiteral("leer: aus ~/.pgpass oder PGPASSFILE"));
    auto* database = new TLazyComboBox(page);
    database->BeforePopup = [this] {
        if (CbxPgDatabase->count() == 0)
            LoadPgDatabases();
    };
    CbxPgDatabase = database;
    CbxPgDatabase->setObjectName(QStringLiteral("CbxPgDatabase"));
    CbxPgDatabase->setEditable(true);
    CbxPgDatabase->setInsertPolicy(QComboBox::NoInsert);
    BtnPgDatabases = new QPushButton(QStringLiteral("Datenbanken a&brufen"), page);
    BtnPgDatabases->setObjectName(QStringLiteral("BtnPgDatabases"));
    BtnPgDatabases->setAutoDefault(false);
    connect(BtnPgDatabases, &QPushButton::clicked, this, [this] { LoadPgDatabases(); });
    LblPgDefaults = new QLabel(
        QStringLiteral(
            "Leere Felder übernehmen die Vorgaben von libpq: ohne Server der lokale Socket, ohne Benutzer "
            "der Anmeldename, ohne Kennwort die Datei ~/.pgpass (oder die in PGPASSFILE genannte), ohne "
            "Datenbank die des Benutzers; ein Dienst liefert seine Werte aus pg_service.conf."),
        page);
    LblPgDefaults->setObjectName(QStringLiteral("LblPgDefaults"));
    LblPgDefaults->setWordWrap(true);

    connect(EdtPgHost, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetPgHostPort(t.trimmed(), EdtPgPort->text().trimmed()); });
    connect(EdtPgPort, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetPgHostPort(EdtPgHost->text().trimmed(), t.trimmed()); });
    connect(EdtPgService, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetField(PgService, t.trimmed()); });
    connect(EdtPgUser, &QLineEdit::textEdited, this, [this](const QString& t) { SetField(PgUser, t); });
    connect(EdtPgPassword, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetField(PgPassword, t); });
    connect(CbxPgDatabase, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { SetField(PostgresDatabaseKeys(), t); });

    form->addRow(QStringLiteral("&Server:"), EdtPgHost);
    form->addRow(QStringLiteral("P&ort:"), EdtPgPort);
    form->addRow(QStringLiteral("D&ienst (service):"), EdtPgService);
    form->addRow(QStringLiteral("Ben&utzer:"), EdtPgUser);
    form->addRow(QStringLiteral("&Kennwort:"), EdtPgPassword);
    auto* row = new QHBoxLayout;
    row->addWidget(CbxPgDatabase, 1);
    row->addWidget(BtnPgDatabases);
    form->addRow(QStringLiteral("&Datenbank:"), row);
    // A row holding a layout gets no buddy of its own.
    static_cast<QLabel*>(form->labelForField(row))->setBuddy(CbxPgDatabase);
    form->addRow(LblPgDefaults);
    return page;
}

void TDataLinkDialog::SetPgHostPort(const QString& host, const QString& port) {
    using namespace DataLinkKeys;
    if (m_updating)
        return;
    QString oldHost, portInHost;
    TConnectionString::SplitHostPort(FieldValue(PgHost), oldHost, portInHost);
    // The port stays where the string keeps it: behind the host (":5433" without one is the
    // local socket), or as a key of its own.
    if (portInHost.isEmpty() && Current().Contains(PgPort.first())) {
        SetField(PgHost, host);
        SetField(PgPort, port);
    } else {
        SetField(PgHost, TConnectionString::JoinHostPort(host, port));
    }
    // Another server has other databases: the list is read again, the chosen name stays.
    m_updating = true;
    CbxPgDatabase->clear();
    CbxPgDatabase->setEditText(FieldValue(PostgresDatabaseKeys()));
    m_updating = false;
}

void TDataLinkDialog::ShowPgValues() {
    using namespace DataLinkKeys;
    QString host, port;
    TConnectionString::SplitHostPort(FieldValue(PgHost), host, port);
    EdtPgHost->setText(host);
    EdtPgPort->setText(port.isEmpty() ? FieldValue(PgPort) : port);
    EdtPgService->setText(FieldValue(PgService));
    EdtPgUser->setText(FieldValue(PgUser));
    EdtPgPassword->setText(FieldValue(PgPassword));
    CbxPgDatabase->setEditText(FieldValue(PostgresDatabaseKeys()));
}

QWidget* TDataLinkDialog::CreateOdbcPage() {
    using namespace DataLinkKeys;
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    CbxOdbcDsn = new QComboBox(page);
    CbxOdbcDsn->setObjectName(QStringLiteral("CbxOdbcDsn"));
    CbxOdbcDsn->setEditable(true);
    CbxOdbcDsn->addItem(QString());
    CbxOdbcDsn->addItems(OdbcDataSourceNames());
    CbxOdbcDriver = new QComboBox(page);
    CbxOdbcDriver->setObjectName(QStringLiteral("CbxOdbcDriver"));
    CbxOdbcDriver->setEditable(true);
    CbxOdbcDriver->addItem(QString());
    CbxOdbcDriver->addItems(OdbcDriverNames());
    EdtOdbcUser = NamedLineEdit("EdtOdbcUser", page);
    EdtOdbcPassword = NamedLineEdit("EdtOdbcPassword", page);
    EdtOdbcPassword->setEchoMode(QLineEdit::Password);
    EdtOdbcAttributes = NamedLineEdit("EdtOdbcAttributes", page);
    EdtOdbcAttributes->setPlaceholderText(QStringLiteral("Schlüssel=Wert;Schlüssel=Wert"));

    connect(CbxOdbcDsn, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { SetField(OdbcDsn, t); });
    connect(CbxOdbcDriver, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { SetField(OdbcDriver, t); });
    connect(EdtOdbcUser, &QLineEdit::textEdited, this, [this](const QString& t) { SetField(OdbcUser, t); });
    connect(EdtOdbcPassword, &QLineEdit::textEdited, this,
            [this](const QString& t) { SetField(OdbcPassword, t); });
    connect(EdtOdbcAttributes, &QLineEdit::textEdited, this,
            [this](const QString& t) { ReadOdbcAttributes(t); });

    form->addRow(QStringLiteral("&Datenquelle (DSN):"), CbxOdbcDsn);
    form->addRow(QStringLiteral("oder T&reiber:"), CbxOdbcDriver);
    form->addRow(QStringLiteral("Ben&utzer:"), EdtOdbcUser);
    form->addRow(QStringLiteral("&Kennwort:"), EdtOdbcPassword);
    form->addRow(QStringLiteral("Weitere &Attribute:"), EdtOdbcAttributes);
    return page;
}

void TDataLinkDialog::ShowOdbcValues() {
    using namespace DataLinkKeys;
    // ODBC writes a name in braces ("Driver={PostgreSQL Unicode}"); the field shows the name
    // as the list offers it, and the string keeps its braces until the user picks another.
    const auto unbraced = [](const QString& value) {
        return value.size() >= 2 && value.startsWith(u'{') && value.endsWith(u'}')
                   ? value.mid(1, value.size() - 2)
                   : value;
    };
    CbxOdbcDsn->setEditText(unbraced(FieldValue(OdbcDsn)));
    CbxOdbcDriver->setEditText(unbraced(FieldValue(OdbcDriver)));
    EdtOdbcUser->setText(FieldValue(OdbcUser));
    EdtOdbcPassword->setText(FieldValue(OdbcPassword));
    TConnectionString others;
    const TConnectionString effective = Effective();
    for (const TConnectionString::TEntry& e : effective.Entries())
        if (!IsOdbcFieldKey(e.Key))
            others.SetValue(e.Key, e.Value);
    EdtOdbcAttributes->setText(others.ToString());
}

void TDataLinkDialog::ReadOdbcAttributes(const QString& text) {
    if (m_updating)
        return;
    // Only the attributes change: what the text no longer holds goes, the rest is set in place.
    const TConnectionString typed(text);
    const QList<TConnectionString::TEntry> entries = Current().Entries();
    for (const TConnectionString::TEntry& e : entries)
        if (!IsOdbcFieldKey(e.Key) && !typed.Contains(e.Key))
            SetKey(e.Key, QString());
    for (const TConnectionString::TEntry& e : typed.Entries())
        if (e.Key.trimmed().compare(QLatin1String("Provider"), Qt::CaseInsensitive) != 0)
            SetKey(e.Key, e.Value);
}

void TDataLinkDialog::ChooseSqliteFile(bool create) {
    const QString sqliteFilter = QStringLiteral("SQLite-Datenbanken (*.sqlite *.sqlite3 *.db *.db3)");
    const QString filter = sqliteFilter + QStringLiteral(";;Alle Dateien (*)");
    const QString current = EdtSqliteFile->text();
    if (!create) {
        const QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("Datenbankdatei öffnen"), current, filter);
        if (!file.isEmpty()) {
            SetField(DataLinkKeys::SqliteFile, file);
            ShowValues();
        }
        return;
    }
    QString chosenFilter;
    QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Neue Datenbankdatei"), current, filter,
                                                &chosenFilter);
    if (file.isEmpty())
        return;
    // A name typed without an extension gets the usual one while the SQLite filter is chosen.
    if (chosenFilter == sqliteFilter && QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".sqlite");
    try {
        TConnectionString create(QStringLiteral("Provider=SQLite"));
        create.SetValue(QStringLiteral("Data Source"), file);
        create.SetValue(QStringLiteral("Mode"), QStringLiteral("Create"));
        TestConnectionString(create.ToString());
    } catch (const TError& e) {
        MsgBox::Error(QStringLiteral("Die Datenbankdatei kann nicht angelegt werden:\r\n") + e.Message(),
                      this);
        return;
    }
    SetField(DataLinkKeys::SqliteFile, file);
    ShowValues();
    LblStatus->setText(QStringLiteral("Die Datenbankdatei wurde angelegt."));
}

void TDataLinkDialog::LoadPgDatabases() {
    QStringList names;
    try {
        names = PostgresDatabaseNames(ConnectionString());
    } catch (const TError& e) {
        LblStatus->setText(QStringLiteral("Datenbanken können nicht abgerufen werden: ") + e.Message());
        return;
    }
    // Refilling the list keeps the chosen database, also one the server does not list.
    m_updating = true;
    CbxPgDatabase->clear();
    CbxPgDatabase->addItems(names);
    CbxPgDatabase->setEditText(FieldValue(PostgresDatabaseKeys()));
    m_updating = false;
    LblStatus->setText(names.size() == 1 ? QStringLiteral("1 Datenbank gefunden.")
                                         : QStringLiteral("%1 Datenbanken gefunden.").arg(names.size()));
}
