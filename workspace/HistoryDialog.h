#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTreeWidget;
class TFrameWork;
class THistoryStore;

// "Verlauf durchsuchen...": the lasting history's hits for the words typed, newest first; Enter
// or a double click puts the chosen statement into the workspace's editor, Entf removes.
class THistoryDialog : public QDialog {
    Q_OBJECT
public:
    THistoryDialog(TFrameWork* work, THistoryStore* store, QWidget* parent = nullptr);

    static constexpr int MaxHits = 200;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Refresh();
    void ShowChosen();
    void TakeChosen();
    void RemoveChosen();

    TFrameWork* m_work;
    THistoryStore* m_store;
    QLineEdit* EdtSearch;
    QRadioButton* RbnThisDatabase;
    QRadioButton* RbnAllDatabases;
    QTreeWidget* LstHits;
    QPlainTextEdit* MemStatement;
};

// Records a statement the workspace has run in the program's history, if there is one.
// `elapsedMs` is the time since the run started; `error` is empty unless it failed.
void RecordInHistory(const QString& database, qint64 count, const QString& statement, qint64 elapsedMs,
                     const QString& error = {});

// Opens the dialog for a workspace; says so when there is no history.
void ShowHistoryDialog(TFrameWork* work);
