#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class TConnectionString;

// The dialog that builds a connection string: a provider page, a connection page per
// provider, a page of every key and value, and a connection test. GUI thread.
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
    QLineEdit* EdtPgUser = nullptr;
    QLineEdit* EdtPgPassword = nullptr;
    QComboBox* CbxPgDatabase = nullptr;
    QPushButton* BtnPgDatabases = nullptr;
    // ODBC
    QComboBox* CbxOdbcDsn = nullptr;
    QComboBox* CbxOdbcDriver = nullptr;
    QLineEdit* EdtOdbcUser = nullptr;
    QLineEdit* EdtOdbcPassword = nullptr;
    QLineEdit* EdtOdbcAttributes = nullptr;
    // All keys
    QTableWidget* GrdAll = nullptr;
    QLabel* LblStatus = nullptr;
    QPushButton* BtnTest = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Fills the database list from the server named on the PostgreSQL page.
    void LoadPgDatabases();
    // Tries the connection and tells the user in German whether it worked.
    void TestConnection();

private:
    QWidget* CreateProviderPage();
    QWidget* CreateSqlitePage();
    QWidget* CreatePgPage();
    QWidget* CreateOdbcPage();
    QWidget* CreateAllPage();
    void ChooseSqliteFile(bool create);
    // Copies the connection string into the widgets of every page.
    void ShowValues();
    void SetValue(const QString& key, const QString& value);
    void ReadAllPage();

    QString m_initial;
    std::unique_ptr<TConnectionString> m_cs;
    bool m_updating = false;
};
