#include "catalogue/DataLink.h"

#include "ui/MsgBox.h"
#include "catalogue/ConnectionTest.h"
#include "data/ConnectionString.h"
#include "data/OdbcInfo.h"
#include "settings/Error.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString KeyProvider = QStringLiteral("Provider");
const QString KeyDataSource = QStringLiteral("Data Source");
const QString KeyCatalog = QStringLiteral("Initial Catalog");
const QString KeyUser = QStringLiteral("User ID");
const QString KeyPassword = QStringLiteral("Password");
const QString KeyDsn = QStringLiteral("DSN");
const QString KeyDriver = QStringLiteral("Driver");

struct TProviderDef {
    const char* name;
    const char* caption;
};
const TProviderDef Providers[] = {
    {"SQLite", "SQLite – Datenbankdatei"},
    {"PostgreSQL", "PostgreSQL – Datenbankserver"},
    {"ODBC", "ODBC – Datenquelle oder Treiber"},
};

// Index of the page of a provider name; ODBC is also known by its older name.
int ProviderIndex(const QString& provider)
{
    if (provider.compare(QLatin1String("MSDASQL"), Qt::CaseInsensitive) == 0)
        return 2;
    for (int i = 0; i < 3; ++i)
        if (provider.compare(QLatin1String(Providers[i].name), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool IsOdbcPageKey(const QString& key)
{
    for (const QString& k : {KeyProvider, KeyDsn, KeyDriver, KeyUser, KeyPassword})
        if (key.compare(k, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// A drop-down list that fills itself just before it opens.
class TLazyComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> BeforePopup;

protected:
    void showPopup() override
    {
        if (BeforePopup)
            BeforePopup();
        QComboBox::showPopup();
    }
};

QLineEdit* NamedLineEdit(const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

TDataLinkDialog::TDataLinkDialog(const QString& initial, QWidget* parent)
    : QDialog(parent), m_initial(initial), m_cs(std::make_unique<TConnectionString>(initial))
{
    setObjectName(QStringLiteral("DataLinkDialog"));
    setWindowTitle(QStringLiteral("Datenverknüpfungseigenschaften"));

    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->addTab(CreateProviderPage(), QStringLiteral("Provider"));
    ConnectionPages = new QStackedWidget(this);
    ConnectionPages->setObjectName(QStringLiteral("ConnectionPages"));
    ConnectionPages->addWidget(CreateSqlitePage());
    ConnectionPages->addWidget(CreatePgPage());
    ConnectionPages->addWidget(CreateOdbcPage());
    auto* empty = new QLabel(QStringLiteral("Für diesen Provider gibt es keine eigene Seite; "
                                            "bearbeiten Sie die Werte unter „Alle“."),
                             this);
    empty->setWordWrap(true);
    empty->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    ConnectionPages->addWidget(empty);
    Pages->addTab(ConnectionPages, QStringLiteral("Verbindung"));
    Pages->addTab(CreateAllPage(), QStringLiteral("Alle"));
    connect(Pages, &QTabWidget::currentChanged, this, [this] { ShowValues(); });

    LblStatus = new QLabel(this);
    LblStatus->setObjectName(QStringLiteral("LblStatus"));
    LblStatus->setWordWrap(true);

    BtnTest = new QPushButton(QStringLiteral("Verbindung testen"), this);
    BtnTest->setObjectName(QStringLiteral("BtnTest"));
    BtnTest->setAutoDefault(false);
    connect(BtnTest, &QPushButton::clicked, this, [this] { TestConnection(); });
    BtnOk = new QPushButton(QStringLiteral("OK"), this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setDefault(true);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    BtnCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnCancel->setAutoDefault(false);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnTest);
    buttons->addStretch(1);
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pages, 1);
    layout->addWidget(LblStatus);
    layout->addLayout(buttons);
    resize(500, 420);

    const QString provider = m_cs->Value(KeyProvider);
    m_updating = true;
    SelectProvider(m_initial.trimmed().isEmpty() ? QStringLiteral("SQLite") : provider);
    m_updating = false;
    if (m_initial.trimmed().isEmpty())
        SetValue(KeyProvider, QStringLiteral("SQLite"));
    Pages->setCurrentIndex(m_initial.trimmed().isEmpty() || ProviderIndex(provider) < 0 ? 0 : 1);
    ShowValues();
}

TDataLinkDialog::~TDataLinkDialog() = default;

QWidget* TDataLinkDialog::CreateProviderPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Wählen Sie die Art der Datenbank, mit der Sie sich verbinden möchten:"),
                                 page));
    LbxProviders = new QListWidget(page);
    LbxProviders->setObjectName(QStringLiteral("LbxProviders"));
    for (const TProviderDef& def : Providers) {
        auto* item = new QListWidgetItem(QString::fromUtf8(def.caption), LbxProviders);
        item->setData(Qt::UserRole, QLatin1String(def.name));
    }
    connect(LbxProviders, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_updating || row < 0)
            return;
        SetValue(KeyProvider, QLatin1String(Providers[row].name));
        ConnectionPages->setCurrentIndex(row);
    });
    connect(LbxProviders, &QListWidget::itemDoubleClicked, this, [this] { Pages->setCurrentIndex(1); });
    layout->addWidget(LbxProviders, 1);
    return page;
}

QWidget* TDataLinkDialog::CreateSqlitePage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    EdtSqliteFile = NamedLineEdit("EdtSqliteFile", page);
    connect(EdtSqliteFile, &QLineEdit::textEdited, this, [this](const QString& t) { SetValue(KeyDataSource, t); });
    form->addRow(QStringLiteral("Datenbankdatei:"), EdtSqliteFile);
    BtnSqliteOpen = new QPushButton(QStringLiteral("Datei auswählen..."), page);
    BtnSqliteOpen->setObjectName(QStringLiteral("BtnSqliteOpen"));
    BtnSqliteOpen->setAutoDefault(false);
    connect(BtnSqliteOpen, &QPushButton::clicked, this, [this] { ChooseSqliteFile(false); });
    BtnSqliteNew = new QPushButton(QStringLiteral("Neue Datenbank anlegen..."), page);
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

QWidget* TDataLinkDialog::CreatePgPage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    EdtPgHost = NamedLineEdit("EdtPgHost", page);
    EdtPgPort = NamedLineEdit("EdtPgPort", page);
    EdtPgPort->setValidator(new QIntValidator(1, 65535, EdtPgPort));
    EdtPgPort->setPlaceholderText(QStringLiteral("5432"));
    EdtPgUser = NamedLineEdit("EdtPgUser", page);
    EdtPgPassword = NamedLineEdit("EdtPgPassword", page);
    EdtPgPassword->setEchoMode(QLineEdit::Password);
    auto* database = new TLazyComboBox(page);
    database->BeforePopup = [this] {
        if (CbxPgDatabase->count() == 0)
            LoadPgDatabases();
    };
    CbxPgDatabase = database;
    CbxPgDatabase->setObjectName(QStringLiteral("CbxPgDatabase"));
    CbxPgDatabase->setEditable(true);
    CbxPgDatabase->setInsertPolicy(QComboBox::NoInsert);
    BtnPgDatabases = new QPushButton(QStringLiteral("Datenbanken abrufen"), page);
    BtnPgDatabases->setObjectName(QStringLiteral("BtnPgDatabases"));
    BtnPgDatabases->setAutoDefault(false);
    connect(BtnPgDatabases, &QPushButton::clicked, this, [this] { LoadPgDatabases(); });

    auto dataSource = [this] {
        const QString host = EdtPgHost->text().trimmed();
        const QString port = EdtPgPort->text().trimmed();
        SetValue(KeyDataSource, port.isEmpty() ? host : host + QLatin1Char(':') + port);
        CbxPgDatabase->clear(); // another server: its databases are read again
        CbxPgDatabase->setEditText(m_cs->Value(KeyCatalog));
    };
    connect(EdtPgHost, &QLineEdit::textEdited, this, dataSource);
    connect(EdtPgPort, &QLineEdit::textEdited, this, dataSource);
    connect(EdtPgUser, &QLineEdit::textEdited, this, [this](const QString& t) { SetValue(KeyUser, t); });
    connect(EdtPgPassword, &QLineEdit::textEdited, this, [this](const QString& t) { SetValue(KeyPassword, t); });
    connect(CbxPgDatabase, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!m_updating)
            SetValue(KeyCatalog, t);
    });

    form->addRow(QStringLiteral("Server:"), EdtPgHost);
    form->addRow(QStringLiteral("Port:"), EdtPgPort);
    form->addRow(QStringLiteral("Benutzer:"), EdtPgUser);
    form->addRow(QStringLiteral("Kennwort:"), EdtPgPassword);
    auto* row = new QHBoxLayout;
    row->addWidget(CbxPgDatabase, 1);
    row->addWidget(BtnPgDatabases);
    form->addRow(QStringLiteral("Datenbank:"), row);
    return page;
}

QWidget* TDataLinkDialog::CreateOdbcPage()
{
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

    connect(CbxOdbcDsn, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!m_updating)
            SetValue(KeyDsn, t);
    });
    connect(CbxOdbcDriver, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!m_updating)
            SetValue(KeyDriver, t);
    });
    connect(EdtOdbcUser, &QLineEdit::textEdited, this, [this](const QString& t) { SetValue(KeyUser, t); });
    connect(EdtOdbcPassword, &QLineEdit::textEdited, this, [this](const QString& t) { SetValue(KeyPassword, t); });
    connect(EdtOdbcAttributes, &QLineEdit::textEdited, this, [this](const QString& t) {
        const QList<TConnectionString::TEntry> entries = m_cs->Entries();
        for (const TConnectionString::TEntry& e : entries)
            if (!IsOdbcPageKey(e.Key))
                m_cs->Remove(e.Key);
        const TConnectionString typed(t);
        for (const TConnectionString::TEntry& e : typed.Entries())
            if (!IsOdbcPageKey(e.Key))
                m_cs->SetValue(e.Key, e.Value);
    });

    form->addRow(QStringLiteral("Datenquelle (DSN):"), CbxOdbcDsn);
    form->addRow(QStringLiteral("oder Treiber:"), CbxOdbcDriver);
    form->addRow(QStringLiteral("Benutzer:"), EdtOdbcUser);
    form->addRow(QStringLiteral("Kennwort:"), EdtOdbcPassword);
    form->addRow(QStringLiteral("Weitere Attribute:"), EdtOdbcAttributes);
    return page;
}

QWidget* TDataLinkDialog::CreateAllPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    GrdAll = new QTableWidget(0, 2, page);
    GrdAll->setObjectName(QStringLiteral("GrdAll"));
    GrdAll->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Wert")});
    GrdAll->horizontalHeader()->setStretchLastSection(true);
    GrdAll->verticalHeader()->setVisible(false);
    GrdAll->setColumnWidth(0, 160);
    connect(GrdAll, &QTableWidget::itemChanged, this, [this] {
        if (!m_updating)
            ReadAllPage();
    });
    layout->addWidget(new QLabel(QStringLiteral("Alle Werte der Verbindung (eine leere Zeile nimmt einen neuen "
                                                "Wert auf):"),
                                 page));
    layout->addWidget(GrdAll, 1);
    return page;
}

void TDataLinkDialog::SelectProvider(const QString& provider)
{
    const int index = ProviderIndex(provider);
    if (index >= 0) {
        LbxProviders->setCurrentRow(index);
        ConnectionPages->setCurrentIndex(index);
    } else {
        LbxProviders->setCurrentRow(-1);
        ConnectionPages->setCurrentIndex(3);
    }
}

void TDataLinkDialog::SetValue(const QString& key, const QString& value)
{
    if (m_updating)
        return;
    if (value.isEmpty() && key != KeyProvider)
        m_cs->Remove(key);
    else
        m_cs->SetValue(key, value);
    LblStatus->clear();
}

void TDataLinkDialog::ShowValues()
{
    m_updating = true;
    const TConnectionString& cs = *m_cs;
    EdtSqliteFile->setText(cs.Value(KeyDataSource));

    const QString source = cs.Value(KeyDataSource);
    const qsizetype colon = source.lastIndexOf(QLatin1Char(':'));
    const bool hasPort = colon > 0 && !source.mid(colon + 1).isEmpty() &&
                         source.mid(colon + 1).toInt() > 0;
    EdtPgHost->setText(hasPort ? source.left(colon) : source);
    EdtPgPort->setText(hasPort ? source.mid(colon + 1) : QString());
    EdtPgUser->setText(cs.Value(KeyUser));
    EdtPgPassword->setText(cs.Value(KeyPassword));
    CbxPgDatabase->setEditText(cs.Value(KeyCatalog));

    CbxOdbcDsn->setEditText(cs.Value(KeyDsn));
    CbxOdbcDriver->setEditText(cs.Value(KeyDriver));
    EdtOdbcUser->setText(cs.Value(KeyUser));
    EdtOdbcPassword->setText(cs.Value(KeyPassword));
    TConnectionString others;
    for (const TConnectionString::TEntry& e : cs.Entries())
        if (!IsOdbcPageKey(e.Key))
            others.SetValue(e.Key, e.Value);
    EdtOdbcAttributes->setText(others.ToString());

    GrdAll->setRowCount(0);
    for (const TConnectionString::TEntry& e : cs.Entries()) {
        const int row = GrdAll->rowCount();
        GrdAll->insertRow(row);
        GrdAll->setItem(row, 0, new QTableWidgetItem(e.Key));
        GrdAll->setItem(row, 1, new QTableWidgetItem(e.Value));
    }
    GrdAll->insertRow(GrdAll->rowCount());
    GrdAll->setItem(GrdAll->rowCount() - 1, 0, new QTableWidgetItem);
    GrdAll->setItem(GrdAll->rowCount() - 1, 1, new QTableWidgetItem);
    m_updating = false;
}

void TDataLinkDialog::ReadAllPage()
{
    TConnectionString cs;
    for (int row = 0; row < GrdAll->rowCount(); ++row) {
        const QString key = GrdAll->item(row, 0) ? GrdAll->item(row, 0)->text().trimmed() : QString();
        if (!key.isEmpty())
            cs.SetValue(key, GrdAll->item(row, 1) ? GrdAll->item(row, 1)->text() : QString());
    }
    *m_cs = cs;
    m_updating = true;
    SelectProvider(m_cs->Value(KeyProvider));
    m_updating = false;
    // Keep a free row for the next key.
    const int last = GrdAll->rowCount() - 1;
    if (last < 0 || (GrdAll->item(last, 0) && !GrdAll->item(last, 0)->text().isEmpty()))
        QMetaObject::invokeMethod(this, [this] { ShowValues(); }, Qt::QueuedConnection);
}

QString TDataLinkDialog::ConnectionString() const
{
    const QString built = m_cs->ToString();
    return built == TConnectionString(m_initial).ToString() ? m_initial : built;
}

void TDataLinkDialog::ChooseSqliteFile(bool create)
{
    const QString filter = QStringLiteral("SQLite-Datenbanken (*.sqlite *.sqlite3 *.db *.db3);;Alle Dateien (*)");
    const QString current = EdtSqliteFile->text();
    if (!create) {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Datenbankdatei öffnen"), current,
                                                          filter);
        if (!file.isEmpty()) {
            SetValue(KeyDataSource, file);
            ShowValues();
        }
        return;
    }
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Neue Datenbankdatei"), current, filter);
    if (file.isEmpty())
        return;
    try {
        TConnectionString create(QStringLiteral("Provider=SQLite"));
        create.SetValue(KeyDataSource, file);
        create.SetValue(QStringLiteral("Mode"), QStringLiteral("Create"));
        TestConnectionString(create.ToString());
    } catch (const TError& e) {
        MsgBox::Error(QStringLiteral("Die Datenbankdatei kann nicht angelegt werden:\r\n") + e.Message(), this);
        return;
    }
    SetValue(KeyDataSource, file);
    ShowValues();
    LblStatus->setText(QStringLiteral("Die Datenbankdatei wurde angelegt."));
}

void TDataLinkDialog::LoadPgDatabases()
{
    if (EdtPgHost->text().trimmed().isEmpty() || EdtPgUser->text().trimmed().isEmpty()) {
        LblStatus->setText(QStringLiteral("Geben Sie Server und Benutzer an, um die Datenbanken abzurufen."));
        return;
    }
    try {
        const QStringList names = PostgresDatabaseNames(ConnectionString());
        const QString current = m_cs->Value(KeyCatalog);
        m_updating = true;
        CbxPgDatabase->clear();
        CbxPgDatabase->addItems(names);
        CbxPgDatabase->setEditText(current);
        m_updating = false;
        LblStatus->setText(QStringLiteral("%1 Datenbanken gefunden.").arg(names.size()));
    } catch (const TError& e) {
        m_updating = false;
        LblStatus->setText(QStringLiteral("Datenbanken können nicht abgerufen werden: ") + e.Message());
    }
}

void TDataLinkDialog::TestConnection()
{
    try {
        TestConnectionString(ConnectionString());
    } catch (const TError& e) {
        LblStatus->setText(QStringLiteral("Verbindung fehlgeschlagen."));
        MsgBox::Error(QStringLiteral("Die Verbindung konnte nicht hergestellt werden:\r\n") + e.Message(), this);
        return;
    }
    LblStatus->setText(QStringLiteral("Verbindung erfolgreich."));
    MsgBox::Information(QStringLiteral("Die Verbindung wurde erfolgreich hergestellt."), this);
}

QString TDataLinkDialog::PromptDataSource(const QString& initial, QWidget* parent)
{
    TDataLinkDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return initial;
    return dialog.ConnectionString();
}
