// The context menu shared by the tables and fields lists, and its keys, which act while either
// list has the focus and come before the main window's shortcuts of the same keys.
#include "workspace/Work.h"

#include "data/Connection.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindowIntf.h"
#include "ui/MsgBox.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>

namespace {

const QKeySequence RefreshKey(Qt::Key_F5);
const QKeySequence InfoKey(Qt::ALT | Qt::Key_Return);

// F5 and Alt+Enter (either Enter key) as pressed in a list.
bool IsRefreshKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_F5 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool IsInfoKey(const QKeyEvent* key) {
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           (key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier;
}

} // namespace

void TFrameWork::CreateListMenu() {
    PopMnuLbx = new QMenu(this);
    PopMnuLbx->setObjectName(QStringLiteral("PopMnuLbx"));
    // The keys are shown in the menu; they act through the lists' key handling, so the menu's
    // own shortcuts only serve while it is open.
    const auto add = [this](const char* name, const QString& caption, const QKeySequence& key,
                            void (TFrameWork::*handler)()) {
        auto* action = PopMnuLbx->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this,
                [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
        return action;
    };
    PopMnuLbxInsert =
        add("PopMnuLbxInsert", QStringLiteral("In SQL &einfügen"), {}, &TFrameWork::PopMnuLbxInsertClick);
    PopMnuLbxInsertSelect = add("PopMnuLbxInsertSelect", QStringLiteral("In SQL als &SELECT einfügen"), {},
                                &TFrameWork::PopMnuLbxInsertSelectClick);
    // "Tabelle anzeigen" is the main window's command; the entry carries its caption and key.
    QAction* showTable = nullptr;
    if (TMainWindowIntf* main = FrmMainIntf())
        showTable = main->Action(QStringLiteral("ActSqlExecTable"));
    PopMnuLbxTableSelect =
        PopMnuLbx->addAction(showTable ? showTable->text() : QStringLiteral("&Tabelle anzeigen"));
    PopMnuLbxTableSelect->setObjectName(QStringLiteral("PopMnuLbxTableSelect"));
    if (showTable) {
        PopMnuLbxTableSelect->setIcon(showTable->icon());
        PopMnuLbxTableSelect->setShortcut(showTable->shortcut());
    }
    PopMnuLbxTableSelect->setShortcutContext(Qt::WidgetShortcut);
    // The main window's command, for the table the menu was opened on, whichever widget has
    // the focus once the menu has closed.
    connect(PopMnuLbxTableSelect, &QAction::triggered, this, [this, showTable] {
        if (!showTable || showTable->isEnabled())
            RunGuarded([this] { ExecuteListTable(); });
    });
    PopMnuLbx->addSeparator()->setObjectName(QStringLiteral("N1"));
    PopMnuLbxSelectAll = add("PopMnuLbxSelectAll", QStringLiteral("&Alle selektieren"), {},
                             &TFrameWork::PopMnuLbxSelectAllClick);
    PopMnuLbxSelectNone = add("PopMnuLbxSelectNone", QStringLiteral("&Keine selektieren"), {},
                              &TFrameWork::PopMnuLbxSelectNoneClick);
    PopMnuLbx->addSeparator()->setObjectName(QStringLiteral("N4"));
    PopMnuLbxRefresh = add("PopMnuLbxRefresh", QStringLiteral("Akt&ualisieren"), RefreshKey,
                           &TFrameWork::PopMnuLbxRefreshClick);
    PopMnuLbxInfo = add("PopMnuLbxInfo", QStringLiteral("&Info"), InfoKey, &TFrameWork::PopMnuLbxInfoClick);

    for (QListWidget* list : {LbxTables, LbxFields}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& position) { PopMnuLbxPopup(list, position); });
        list->installEventFilter(this);
    }
    connect(LbxFields, &QListWidget::itemClicked, this, [this] { RunGuarded([this] { LbxFieldsClick(); }); });
    connect(LbxFields, &QListWidget::itemDoubleClicked, this,
            [this] { RunGuarded([this] { LbxFieldsDblClick(); }); });
}

bool TFrameWork::ListKeyEvent(QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool refresh = IsRefreshKey(key);
    const bool info = IsInfoKey(key);
    if (!refresh && !info)
        return false;
    // Claiming the key in the override keeps the main window's shortcut (F5 runs the selected
    // text elsewhere) from taking it; the key then arrives here as a key press.
    event->accept();
    if (event->type() == QEvent::KeyPress)
        RunGuarded([this, refresh] { refresh ? PopMnuLbxRefreshClick() : PopMnuLbxInfoClick(); });
    return true;
}

void TFrameWork::PopMnuLbxPopup(QListWidget* list, const QPoint& position) {
    m_lbxMenuList = list;
    PopMnuLbxTableSelect->setVisible(list == LbxTables);
    PopMnuLbxRefresh->setVisible(list == LbxTables);
    PopMnuLbx->exec(list->viewport()->mapToGlobal(position));
}

void TFrameWork::PopMnuLbxInsertClick() {
    if (m_lbxMenuList)
        InsertIntoSql(SelectedItemsText(m_lbxMenuList));
}

void TFrameWork::PopMnuLbxInsertSelectClick() {
    if (m_lbxMenuList == LbxTables) {
        // Names read from the database are data: each is written as the database reads it.
        QStringList statements;
        for (int i = 0; i < LbxTables->count(); ++i)
            if (LbxTables->item(i)->isSelected())
                statements.append(QStringLiteral("SELECT * FROM ") + TableSqlName(LbxTables->item(i)) +
                                  QLatin1Char(' '));
        for (const QString& statement : std::as_const(statements))
            InsertIntoSql(statement);
    } else if (m_lbxMenuList == LbxFields) {
        const QListWidgetItem* table = LbxTables->currentItem();
        if (!table)
            return;
        InsertIntoSql(QStringLiteral("SELECT ") + SelectedSqlNames(LbxFields) + QStringLiteral(" FROM ") +
                      TableSqlName(table));
    }
}

void TFrameWork::PopMnuLbxSelectAllClick() {
    // Changing the selection here does not reload the fields list.
    if (m_lbxMenuList)
        m_lbxMenuList->selectAll();
}

void TFrameWork::PopMnuLbxSelectNoneClick() {
    if (m_lbxMenuList)
        DeselectAll(m_lbxMenuList);
}

void TFrameWork::PopMnuLbxRefreshClick() {
    RefreshTables();
}

void TFrameWork::PopMnuLbxInfoClick() {
    const QListWidgetItem* table = LbxTables->currentItem();
    if (!table)
        return;
    QString text;
    if (m_lbxMenuList == LbxFields || LbxFields->hasFocus()) {
        const QListWidgetItem* field = LbxFields->currentItem();
        if (!field)
            return;
        text = ColumnInfo(table->text(), field->text());
    } else {
        text = IndexInfo(table->text());
    }
    if (!text.isEmpty())
        MsgBox::Information(text, this);
}
