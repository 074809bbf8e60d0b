#pragma once

#include "data/ConnectionKeys.h"
#include "data/ConnectionString.h"

#include <QDialog>
#include <QSet>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class TSecretDelegate;

// The dialog that builds a connection string: a provider page, a connection page per
// provider, a page of every key and value, and a connection test. Each provider keeps a
// string of its own while the dialog is open, so switching the provider never carries one
// provider's keys into another's string, and switching back finds them again. A field
// changes only the key it stands for. GUI thread.
class TDataLinkDialog : public QDialog {
    Q_OBJECT
public:
    explicit TDataLinkDialog(const QString& initial, QWidget* parent = nullptr);
    ~TDataLinkDialog() override;

    // The connection string as the pages describe it; the initial text itself when nothing
    // was changed, so that its key order and quoting survive.
    QString ConnectionString() const;
    void SelectProvider(const QString& provider);

    // Shows the dialog: the full string (password included) on OK, the initial one on cancel.
    static QString PromptDataSource(const QString& initial, QWidget* parent = nullptr);

    QTabWidget* Pages = nullptr;
    QListWidget* LbxProviders = nullptr;
    QStackedWidget* ConnectionPages = nullptr;
    // SQLite
    QLineEdit* EdtSqliteFile = nullptr;
    QPushButton* BtnSqliteOpen = nullptr;
    QPushButton* BtnSqliteNew = nullptr;
    // PostgreSQL
    QLineEdit* EdtPgHost = nullptr;
    QLineEdit* EdtPgPort = nullptr;
    QLineEdit* EdtPgService = nullptr;
    QLineEdit* EdtPgUser = nullptr;
    QLineEdit* EdtPgPassword = nullptr;
    QComboBox* CbxPgDatabase = nullptr;
    QPushButton* BtnPgDatabases = nullptr;
    QLabel* LblPgDefaults = nullptr;
    // ODBC
    QComboBox* CbxOdbcDsn = nullptr;
    QComboBox* CbxOdbcDriver = nullptr;
    QLineEdit* EdtOdbcUser = nullptr;
    QLineEdit* EdtOdbcPassword = nullptr;
    QLineEdit* EdtOdbcAttributes = nullptr;
    // All keys: those of the string, then those the provider understands besides.
    QTableWidget* GrdAll = nullptr;
    QCheckBox* ChkShowPasswords = nullptr;
    QLabel* LblStatus = nullptr;
    QPushButton* BtnTest = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Fills the database list from the server named on the PostgreSQL page.
    void LoadPgDatabases();
    // Tries the connection and tells the user in German whether it worked.
    void TestConnection();

private:
    enum { PageSqlite, PagePostgres, PageOdbc, PageOther, PageCount };

    QWidget* CreateProviderPage();
    QWidget* CreateSqlitePage();
    QWidget* CreatePgPage();
    QWidget* CreateOdbcPage();
    QWidget* CreateAllPage();
    void ChooseSqliteFile(bool create);
    // Makes a provider's page and string the current ones, starting its string when new.
    void SwitchProvider(int page);
    // Copies the current string into the widgets of its page and of the "Alle" page.
    void ShowValues();
    void ShowPgValues();
    void ShowOdbcValues();
    void ShowAllPage();
    void ReadAllPage();
    void ReadOdbcAttributes(const QString& text);
    void SetPgHostPort(const QString& host, const QString& port);
    void ShowPasswords(bool show);

    // The current provider's string.
    TConnectionString& Current() { return m_strings[m_page]; }
    const TConnectionString& Current() const { return m_strings[m_page]; }
    // The key a field stands for: the last of its names that the string holds (that one
    // wins when the string is read), otherwise the first name.
    QString FieldKey(const QStringList& names) const;
    QString FieldValue(const QStringList& names) const { return Current().Value(FieldKey(names)); }
    // A field's edit: sets its key; an emptied field leaves its key out of the string.
    void SetField(const QStringList& names, const QString& value);
    void SetKey(const QString& key, const QString& value);
    // The current string without the keys of emptied fields: what the dialog gives back.
    TConnectionString Effective() const;

    QString m_initial;
    std::array<TConnectionString, PageCount> m_strings;
    std::array<bool, PageCount> m_started{};
    int m_page = PageSqlite;
    // Per provider, the keys (lower case) of emptied fields: they keep their place in the
    // string but are left out of it.
    std::array<QSet<QString>, PageCount> m_blank;
    bool m_updating = false;
    TSecretDelegate* m_secretDelegate = nullptr;
    // The keys the current provider understands, read again when the provider or driver changes.
    QString m_offeredFor;
    QList<TConnectionKey> m_offered;
};
