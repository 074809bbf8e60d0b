#include "workspace/HistoryDialog.h"

#include "editor/SqlEdit.h"
#include "history/HistoryStore.h"
#include "settings/Error.h"
#include "ui/ErrorHandler.h"
#include "ui/MsgBox.h"
#include "workspace/Work.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int IdRole = Qt::UserRole;
constexpr int PreviewChars = 300;

} // namespace

void RecordInHistory(const QString& database, qint64 count, const QString& statement, qint64 elapsedMs,
                     const QString& error) {
    THistoryStore* store = HistoryStore();
    if (!store)
        return;
    THistoryEntry entry;
    entry.database = database;
    entry.started = QDateTime::currentMSecsSinceEpoch() - elapsedMs;
    entry.duration = elapsedMs;
    entry.records = count;
    entry.failed = !error.isEmpty();
    entry.error = error;
    entry.statement = statement;
    store->Record(std::move(entry));
}

THistoryDialog::THistoryDialog(TFrameWork* work, THistoryStore* store, QWidget* parent)
    : QDialog(parent), m_work(work), m_store(store) {
    setObjectName(QStringLiteral("FrmHistory"));
    setWindowTitle(QStringLiteral("Verlauf durchsuchen"));
    EdtSearch = new QLineEdit(this);
    EdtSearch->setObjectName(QStringLiteral("EdtSearch"));
    EdtSearch->setPlaceholderText(QStringLiteral("Wörter der Anweisung"));
    RbnThisDatabase = new QRadioButton(QStringLiteral("&diese Datenbank"), this);
    RbnThisDatabase->setObjectName(QStringLiteral("RbnThisDatabase"));
    RbnAllDatabases = new QRadioButton(QStringLiteral("&alle Datenbanken"), this);
    RbnAllDatabases->setObjectName(QStringLiteral("RbnAllDatabases"));
    RbnThisDatabase->setChecked(true);
    LstHits = new QTreeWidget(this);
    LstHits->setObjectName(QStringLiteral("LstHits"));
    LstHits->setRootIsDecorated(false);
    LstHits->setUniformRowHeights(true);
    LstHits->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LstHits->setHeaderLabels({QStringLiteral("Zeit"), QStringLiteral("Datenbank"), QStringLiteral("Dauer"),
                              QStringLiteral("Datensätze"), QStringLiteral("Fehler"), QStringLiteral("Anweisung")});
    LstHits->installEventFilter(this);
    MemStatement = new QPlainTextEdit(this);
    MemStatement->setObjectName(QStringLiteral("MemStatement"));
    MemStatement->setReadOnly(true);
    MemStatement->setLineWrapMode(QPlainTextEdit::NoWrap);
    EdtSearch->installEventFilter(this);

    // Each field is reached by the Alt+letter of its label.
    const auto labelled = [this](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        return label;
    };
    auto* scope = new QHBoxLayout;
    scope->addWidget(labelled(QStringLiteral("&Suchen:"), EdtSearch));
    scope->addWidget(EdtSearch, 1);
    scope->addWidget(RbnThisDatabase);
    scope->addWidget(RbnAllDatabases);
    const auto pane = [this, &labelled](const QString& caption, QWidget* field) {
        auto* box = new QWidget(this);
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(labelled(caption, field));
        column->addWidget(field, 1);
        return box;
    };
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(pane(QStringLiteral("&Treffer:"), LstHits));
    splitter->addWidget(pane(QStringLiteral("An&weisung:"), MemStatement));
    splitter->setSizes({300, 150});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(scope);
    layout->addWidget(splitter, 1);
    resize(900, 550);

    connect(EdtSearch, &QLineEdit::textChanged, this, [this] { Refresh(); });
    connect(RbnThisDatabase, &QRadioButton::toggled, this, [this] { Refresh(); });
    connect(LstHits, &QTreeWidget::currentItemChanged, this, [this] { ShowChosen(); });
    connect(LstHits, &QTreeWidget::itemDoubleClicked, this, [this] { RunGuarded([this] { TakeChosen(); }); });
    EdtSearch->setFocus();
    Refresh();
    for (int column = 0; column < 5; ++column)
        LstHits->resizeColumnToContents(column);
}

void THistoryDialog::Refresh() {
    const QString database = RbnThisDatabase->isChecked() && m_work ? m_work->DatabaseName() : QString();
    const QList<THistoryEntry> hits = m_store->Search(EdtSearch->text(), database, MaxHits, PreviewChars);
    const QLocale locale = QLocale::system();
    QList<QTreeWidgetItem*> items;
    items.reserve(hits.size());
    for (const THistoryEntry& e : hits) {
        QString firstLine = e.statement.simplified();
        auto* item = new QTreeWidgetItem(
            {locale.toString(QDateTime::fromMSecsSinceEpoch(e.started), QStringLiteral("dd.MM.yyyy HH:mm:ss")),
             e.database, locale.toString(e.duration / 1000.0, 'f', 3) + QStringLiteral(" s"),
             e.records >= 0 ? locale.toString(e.records) : QString(),
             e.failed ? QStringLiteral("✗") : QString(), firstLine});
        item->setData(0, IdRole, e.id);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        if (e.failed)
            item->setToolTip(4, e.error);
        items.append(item);
    }
    LstHits->clear();
    LstHits->addTopLevelItems(items);
    if (!items.isEmpty())
        LstHits->setCurrentItem(items.first());
    else
        MemStatement->clear();
}

void THistoryDialog::ShowChosen() {
    const QTreeWidgetItem* item = LstHits->currentItem();
    MemStatement->setPlainText(item ? m_store->Statement(item->data(0, IdRole).toLongLong()) : QString());
}

void THistoryDialog::TakeChosen() {
    const QTreeWidgetItem* item = LstHits->currentItem();
    if (!item || !m_work)
        return;
    const QString statement = m_store->Statement(item->data(0, IdRole).toLongLong());
    if (auto* editor = qobject_cast<TSqlEdit*>(m_work->MemSqlWidget())) {
        editor->InsertText(statement);
        editor->setFocus();
    }
    accept();
}

void THistoryDialog::RemoveChosen() {
    QList<qint64> ids;
    for (const QTreeWidgetItem* item : LstHits->selectedItems())
        ids.append(item->data(0, IdRole).toLongLong());
    if (ids.isEmpty())
        return;
    const QString question = ids.size() == 1 ? QStringLiteral("Den gewählten Eintrag aus dem Verlauf löschen?")
                                             : QStringLiteral("Die %1 gewählten Einträge aus dem Verlauf löschen?")
                                                   .arg(ids.size());
    if (MsgBox::Show(question, MsgBox::Kind::Confirm, {MsgBox::Button::Yes, MsgBox::Button::No}, this) !=
        MsgBox::Button::Yes)
        return;
    const int row = LstHits->indexOfTopLevelItem(LstHits->currentItem());
    m_store->Remove(ids);
    Refresh();
    if (LstHits->topLevelItemCount() > 0)
        LstHits->setCurrentItem(LstHits->topLevelItem(qBound(0, row, LstHits->topLevelItemCount() - 1)));
}

bool THistoryDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        RunGuarded([this] { TakeChosen(); });
        return true;
    }
    if (watched == LstHits && key->key() == Qt::Key_Delete) {
        RunGuarded([this] { RemoveChosen(); });
        return true;
    }
    // The arrows move through the hits while the words are typed.
    if (watched == EdtSearch && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                                 key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
        QKeyEvent copy(key->type(), key->key(), key->modifiers());
        QCoreApplication::sendEvent(LstHits, &copy);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowHistoryDialog(TFrameWork* work) {
    THistoryStore* store = HistoryStore();
    if (!store)
        throw TError(QStringLiteral("Es gibt keinen Verlauf der Anweisungen"));
    THistoryDialog dialog(work, store, work ? work->window() : nullptr);
    dialog.exec();
}
