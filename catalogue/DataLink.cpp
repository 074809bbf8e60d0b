#include "catalogue/DataLink.h"

#include "catalogue/ConnectionTest.h"
#include "catalogue/DataLinkParts.h"
#include "settings/Error.h"
#include "ui/MsgBox.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

struct TProviderDef {
    const char* name;
    const char* caption;
};
const TProviderDef Providers[] = {
    {"SQLite", "SQLite – Datenbankdatei"},
    {"PostgreSQL", "PostgreSQL – Datenbankserver"},
    {"ODBC", "ODBC – Datenquelle oder Treiber"},
};

// Roles of the "Alle" page's cells.
constexpr int OfferedRole = Qt::UserRole;     // key cell: a key the provider knows, not yet set
constexpr int SecretRole = Qt::UserRole + 1;  // key cell: the value is a password
constexpr int DefaultRole = Qt::UserRole + 2; // value cell: what applies while it is empty

} // namespace

// Masks the values of password keys on the "Alle" page unless the user asked to see them,
// and shows in grey what an offered key defaults to.
class TSecretDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool Show = false;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && Secret(index) && !Show)
            line->setEchoMode(QLineEdit::Password);
        return editor;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != 1)
            return;
        if (option->text.isEmpty()) {
            const QString fallback = index.data(DefaultRole).toString();
            if (!fallback.isEmpty()) {
                option->text = fallback;
                option->palette.setColor(QPalette::Text, option->palette.color(QPalette::PlaceholderText));
                option->font.setItalic(true);
            }
        } else if (Secret(index) && !Show) {
            option->text = QString(option->text.size(), QChar(0x25CF));
        }
    }

private:
    static bool Secret(const QModelIndex& index) {
        return index.siblingAtColumn(0).data(SecretRole).toBool();
    }
};

int DataLinkProviderPage(const QString& provider) {
    auto is = [&provider](const char* name) {
        return ProviderNameIs(provider, name);
    };
    if (is("MSDASQL"))
        return 2;
    for (int i = 0; i < 3; ++i)
        if (is(Providers[i].name))
            return i;
    return 3;
}

TDataLinkDialog::TDataLinkDialog(const QString& initial, QWidget* parent)
    : QDialog(parent)
    , m_initial(initial) {
    m_updating = true; // the widgets announce their first contents while they are built
    setObjectName(QStringLiteral("DataLinkDialog"));
    setWindowTitle(QStringLiteral("Datenverknüpfungseigenschaften"));

    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->addTab(CreateProviderPage(), QStringLiteral("&Provider"));
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
    Pages->addTab(ConnectionPages, QStringLiteral("&Verbindung"));
    Pages->addTab(CreateAllPage(), QStringLiteral("A&lle"));
    connect(Pages, &QTabWidget::currentChanged, this, [this] { ShowValues(); });

    LblStatus = new QLabel(this);
    LblStatus->setObjectName(QStringLiteral("LblStatus"));
    LblStatus->setWordWrap(true);
    LblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    BtnTest = new QPushButton(QStringLiteral("Verbindung &testen"), this);
    BtnTest->setObjectName(QStringLiteral("BtnTest"));
    BtnTest->setAutoDefault(false);
    connect(BtnTest, &QPushButton::clicked, this, [this] { TestConnection(); });
    ChkShowPasswords = new QCheckBox(QStringLiteral("Kennwörter an&zeigen"), this);
    ChkShowPasswords->setObjectName(QStringLiteral("ChkShowPasswords"));
    connect(ChkShowPasswords, &QCheckBox::toggled, this, [this](bool on) { ShowPasswords(on); });
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
    buttons->addWidget(ChkShowPasswords);
    buttons->addStretch(1);
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pages, 1);
    layout->addWidget(LblStatus);
    layout->addLayout(buttons);
    resize(560, 460);

    const bool blank = m_initial.trimmed().isEmpty();
    const TConnectionString parsed(m_initial);
    const int page = blank ? int(PageSqlite) : DataLinkProviderPage(parsed.Value(QStringLiteral("Provider")));
    m_strings[page] = blank ? TConnectionString(QStringLiteral("Provider=SQLite")) : parsed;
    m_started[page] = true;
    m_updating = false;
    SwitchProvider(page);
    Pages->setCurrentIndex(blank || page == PageOther ? 0 : 1);
}

TDataLinkDialog::~TDataLinkDialog() = default;

QWidget* TDataLinkDialog::CreateProviderPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* prompt = new QLabel(
        QStringLiteral("&Wählen Sie die Art der Datenbank, mit der Sie sich verbinden möchten:"), page);
    layout->addWidget(prompt);
    LbxProviders = new QListWidget(page);
    LbxProviders->setObjectName(QStringLiteral("LbxProviders"));
    prompt->setBuddy(LbxProviders);
    for (const TProviderDef& def : Providers) {
        auto* item = new QListWidgetItem(QString::fromUtf8(def.caption), LbxProviders);
        item->setData(Qt::UserRole, QLatin1String(def.name));
    }
    connect(LbxProviders, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_updating && row >= 0)
            SwitchProvider(row);
    });
    connect(LbxProviders, &QListWidget::itemDoubleClicked, this, [this] { Pages->setCurrentIndex(1); });
    layout->addWidget(LbxProviders, 1);
    return page;
}

QWidget* TDataLinkDialog::CreateAllPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    GrdAll = new QTableWidget(0, 2, page);
    GrdAll->setObjectName(QStringLiteral("GrdAll"));
    GrdAll->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Wert")});
    GrdAll->horizontalHeader()->setStretchLastSection(true);
    GrdAll->verticalHeader()->setVisible(false);
    GrdAll->setColumnWidth(0, 180);
    m_secretDelegate = new TSecretDelegate(GrdAll);
    GrdAll->setItemDelegate(m_secretDelegate);
    connect(GrdAll, &QTableWidget::itemChanged, this, [this] {
        if (!m_updating)
            ReadAllPage();
    });
    auto* prompt =
        new QLabel(QStringLiteral("Die &Werte der Verbindung; darunter grau die weiteren Schlüssel, die "
                                  "der Provider kennt (ein Wert nimmt sie auf), und eine leere Zeile "
                                  "für einen eigenen Schlüssel:"),
                   page);
    prompt->setWordWrap(true);
    prompt->setBuddy(GrdAll);
    layout->addWidget(prompt);
    layout->addWidget(GrdAll, 1);
    return page;
}

void TDataLinkDialog::SelectProvider(const QString& provider) {
    SwitchProvider(DataLinkProviderPage(provider));
}

void TDataLinkDialog::SwitchProvider(int page) {
    if (!m_started[page]) {
        m_strings[page] = TConnectionString();
        m_strings[page].SetValue(QStringLiteral("Provider"), QLatin1String(Providers[page].name));
        m_started[page] = true;
    }
    m_page = page;
    m_updating = true;
    LbxProviders->setCurrentRow(page == PageOther ? -1 : page);
    ConnectionPages->setCurrentIndex(page);
    m_updating = false;
    LblStatus->clear();
    ShowValues();
}

QString TDataLinkDialog::FieldKey(const QStringList& names) const {
    QString key = names.first();
    for (const TConnectionString::TEntry& e : Current().Entries())
        for (const QString& name : names)
            if (e.Key.compare(name, Qt::CaseInsensitive) == 0)
                key = e.Key;
    return key;
}

void TDataLinkDialog::SetField(const QStringList& names, const QString& value) {
    if (m_updating)
        return;
    SetKey(FieldKey(names), value);
}

void TDataLinkDialog::SetKey(const QString& key, const QString& value) {
    // An emptied field keeps its key's place, hidden, so that typing a value again puts the
    // key back where it stood.
    Current().SetValue(key, value);
    if (value.isEmpty())
        m_blank[m_page].insert(key.toLower());
    else
        m_blank[m_page].remove(key.toLower());
    LblStatus->clear();
}

TConnectionString TDataLinkDialog::Effective() const {
    TConnectionString cs;
    for (const TConnectionString::TEntry& e : Current().Entries())
        if (!e.Value.isEmpty() || !m_blank[m_page].contains(e.Key.toLower()))
            cs.SetValue(e.Key, e.Value);
    return cs;
}

void TDataLinkDialog::ShowValues() {
    m_updating = true;
    if (m_page == PageSqlite)
        EdtSqliteFile->setText(FieldValue(DataLinkKeys::SqliteFile));
    else if (m_page == PagePostgres)
        ShowPgValues();
    else if (m_page == PageOdbc)
        ShowOdbcValues();
    ShowAllPage();
    m_updating = false;
}

void TDataLinkDialog::ShowAllPage() {
    const bool wasUpdating = m_updating;
    m_updating = true;
    const TConnectionString cs = Effective();
    const QString offeredFor =
        cs.Value(QStringLiteral("Provider")) + u'\n' + cs.Value(QStringLiteral("Driver"));
    if (offeredFor != m_offeredFor) {
        m_offered = ProviderConnectionKeys(cs.ToString());
        m_offeredFor = offeredFor;
    }
    const int currentRow = GrdAll->currentRow();
    const int currentColumn = GrdAll->currentColumn();
    GrdAll->setRowCount(0);
    auto addRow = [this](const QString& key, const QString& value, bool offered,
                         const TConnectionKey* known) {
        const int row = GrdAll->rowCount();
        GrdAll->insertRow(row);
        auto* keyItem = new QTableWidgetItem(key);
        auto* valueItem = new QTableWidgetItem(value);
        keyItem->setData(OfferedRole, offered);
        keyItem->setData(SecretRole, IsSecretKey(key) || (known && known->Secret));
        if (known) {
            QString tip = known->Label;
            if (!known->Default.isEmpty() && !known->Secret)
                tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("Vorgabe: ") +
                       known->Default;
            keyItem->setToolTip(tip);
            valueItem->setToolTip(tip);
            if (!known->Secret)
                valueItem->setData(DefaultRole, known->Default);
        }
        if (offered) {
            keyItem->setFlags(keyItem->flags() & ~Qt::ItemIsEditable);
            keyItem->setForeground(GrdAll->palette().color(QPalette::PlaceholderText));
        }
        GrdAll->setItem(row, 0, keyItem);
        GrdAll->setItem(row, 1, valueItem);
    };
    auto known = [this](const QString& key) -> const TConnectionKey* {
        for (const TConnectionKey& k : m_offered)
            if (k.Key.compare(key, Qt::CaseInsensitive) == 0)
                return &k;
        return nullptr;
    };
    for (const TConnectionString::TEntry& e : cs.Entries())
        addRow(e.Key, e.Value, false, known(e.Key));
    // A key the string holds under another of its names is not offered again.
    auto holds = [&cs](const QString& key) {
        using namespace DataLinkKeys;
        for (const QStringList& names :
             {PgHost, PgUser, PgPassword, PostgresDatabaseKeys(), OdbcUser, OdbcPassword})
            if (names.contains(key, Qt::CaseInsensitive))
                for (const QString& name : names)
                    if (cs.Contains(name))
                        return true;
        return cs.Contains(key);
    };
    for (const TConnectionKey& k : m_offered)
        if (!holds(k.Key))
            addRow(k.Key, QString(), true, &k);
    addRow(QString(), QString(), false, nullptr);
    if (currentRow >= 0 && currentRow < GrdAll->rowCount())
        GrdAll->setCurrentCell(currentRow, currentColumn);
    m_updating = wasUpdating;
}

void TDataLinkDialog::ReadAllPage() {
    TConnectionString cs;
    bool reshape = false;
    for (int row = 0; row < GrdAll->rowCount(); ++row) {
        const QTableWidgetItem* keyItem = GrdAll->item(row, 0);
        const QTableWidgetItem* valueItem = GrdAll->item(row, 1);
        const QString key = keyItem ? keyItem->text().trimmed() : QString();
        const QString value = valueItem ? valueItem->text() : QString();
        const bool offered = keyItem && keyItem->data(OfferedRole).toBool();
        const bool last = row == GrdAll->rowCount() - 1;
        if (key.isEmpty()) {
            // A cleared name removes the key; the free row stays free.
            reshape = reshape || !last;
            continue;
        }
        if (offered && value.isEmpty())
            continue;
        reshape = reshape || offered || last || cs.Contains(key);
        cs.SetValue(key, value);
    }
    const int page = DataLinkProviderPage(cs.Value(QStringLiteral("Provider")));
    m_strings[page] = cs;
    m_blank[page].clear();
    m_started[page] = true;
    if (page != m_page) {
        m_page = page;
        m_updating = true;
        LbxProviders->setCurrentRow(page == PageOther ? -1 : page);
        ConnectionPages->setCurrentIndex(page);
        m_updating = false;
        reshape = true;
    }
    LblStatus->clear();
    if (reshape ||
        cs.Value(QStringLiteral("Provider")) + u'\n' + cs.Value(QStringLiteral("Driver")) != m_offeredFor)
        QMetaObject::invokeMethod(
            this, [this] { ShowValues(); }, Qt::QueuedConnection);
}

void TDataLinkDialog::ShowPasswords(bool show) {
    const QLineEdit::EchoMode mode = show ? QLineEdit::Normal : QLineEdit::Password;
    EdtPgPassword->setEchoMode(mode);
    EdtOdbcPassword->setEchoMode(mode);
    m_secretDelegate->Show = show;
    GrdAll->viewport()->update();
}

QString TDataLinkDialog::ConnectionString() const {
    const QString built = Effective().ToString();
    return built == TConnectionString(m_initial).ToString() ? m_initial : built;
}

void TDataLinkDialog::TestConnection() {
    try {
        TestConnectionString(ConnectionString());
    } catch (const TError& e) {
        LblStatus->setText(QStringLiteral("Verbindung fehlgeschlagen."));
        MsgBox::Error(QStringLiteral("Die Verbindung konnte nicht hergestellt werden:\r\n") + e.Message(),
                      this);
        return;
    }
    LblStatus->setText(QStringLiteral("Verbindung erfolgreich."));
    MsgBox::Information(QStringLiteral("Die Verbindung wurde erfolgreich hergestellt."), this);
}

QString TDataLinkDialog::PromptDataSource(const QString& initial, QWidget* parent) {
    TDataLinkDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return initial;
    return dialog.ConnectionString();
}
