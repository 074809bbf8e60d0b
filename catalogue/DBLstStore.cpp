#include "catalogue/DBLst.h"

#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "settings/RegistryStore.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindowIntf.h"
#include "ui/MsgBox.h"

#include <QTreeWidget>

#include <algorithm>

// Storing the catalogue when it changes, and the names it may store.

void TFrameDBLst::StoreCatalogue()
{
    m_unsaved = true;
    TIniFileEx* store = SettingsStore();
    if (!store || !Root())
        return;
    if (store->ReadOnly()) {
        m_unsaved = false; // nothing can be stored, and the start said so once
        return;
    }
    const QStringList values = CatalogueValues();
    const auto write = [&] {
        store->WriteValueListKeepingOthers(CatalogueSection(), values, UnreadableSection());
        for (const auto& [from, to] : std::as_const(m_pendingRenames))
            MoveWorkspaceSections(from, to);
    };
    bool otherChanged = false;
    try {
        store->InTransaction([&] {
            // Another running program may have stored its catalogue since this one read it.
            QStringList current;
            store->ReadReadableValueList(CatalogueSection(), current);
            otherChanged = current != m_storedValues;
            if (!otherChanged)
                write();
        });
        if (otherChanged) {
            // Asked outside the transaction: the other program must not wait for the answer.
            switch (MsgBox::Show(QStringLiteral("Ein anderes laufendes Tabulo hat die Liste der Datenbanken "
                                                "geändert, seit dieses sie gelesen hat.\n\n"
                                                "Ja: die Liste des anderen Programms übernehmen (die Änderung "
                                                "hier geht verloren).\n"
                                                "Nein: diese Liste behalten und die andere überschreiben.\n"
                                                "Abbrechen: vorerst nichts speichern."),
                                 MsgBox::Kind::Confirm,
                                 {MsgBox::Button::Yes, MsgBox::Button::No, MsgBox::Button::Cancel}, this)) {
            case MsgBox::Button::Yes:
                LoadCatalogue();
                UpdateMainActions();
                return;
            case MsgBox::Button::No:
                store->InTransaction(write);
                break;
            default:
                throw TAbort(); // the change stays here and is offered again with the next one
            }
        }
    } catch (const TAbort&) {
        throw;
    } catch (const std::exception& e) {
        throw TError(ErrorMessage(e) + QStringLiteral("\r\n\r\nDie Änderung der Datenbankliste ist noch nicht "
                                                      "gespeichert; sie wird mit der nächsten Änderung oder beim "
                                                      "Beenden gespeichert."));
    }
    m_storedValues = values;
    m_pendingRenames.clear();
    m_unsaved = false;
    m_unreadable = false; // moved aside by the write
}

namespace {

// The key path a section is stored under, as the store compares it (case folded).
QStringList FoldedPath(const QString& section)
{
    QStringList path = TRegistryStore::SplitPath(section);
    for (QString& part : path)
        part = TRegistryStore::FoldName(part);
    return path;
}

bool StartsWith(const QStringList& path, const QStringList& prefix)
{
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

} // namespace

bool TFrameDBLst::SectionsCollide(const QString& a, const QString& b)
{
    if (a == b)
        return false; // one name, one set of settings: entries of the same name share them
    const QList<QStringList> pathsA = {FoldedPath(TIniFileEx::WorkspaceSection(a)),
                                       FoldedPath(TIniFileEx::WorkspaceSqlSection(a))};
    const QList<QStringList> pathsB = {FoldedPath(TIniFileEx::WorkspaceSection(b)),
                                       FoldedPath(TIniFileEx::WorkspaceSqlSection(b))};
    // The same key, or one below the other (removing the SQL text removes what lies below it).
    for (const QStringList& x : pathsA)
        for (const QStringList& y : pathsB)
            if (StartsWith(x, y) || StartsWith(y, x))
                return true;
    return false;
}

void TFrameDBLst::CheckNameFree(const QString& name, const QTreeWidgetItem* except) const
{
    QTreeWidgetItem* root = Root();
    for (int i = 0; root && i < root->childCount(); ++i) {
        const QTreeWidgetItem* other = root->child(i);
        if (other != except && SectionsCollide(name, other->text(0)))
            throw TError(QStringLiteral("Der Name „%1“ geht nicht: Der SQL-Text und die Fenstergrößen einer "
                                        "Datenbank werden unter ihrem Namen gespeichert, und die von „%1“ "
                                        "fielen mit denen der Datenbank „%2“ zusammen (Groß- und "
                                        "Kleinschreibung zählen dabei nicht, „\\“ trennt Abschnitte, und "
                                        "„.SQL“ am Ende ist belegt). Bitte einen anderen Namen wählen.")
                             .arg(name, other->text(0)));
    }
}

QString TFrameDBLst::CleanName(const QString& name, int* pos)
{
    QString clean;
    clean.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == u'\r' && i + 1 < name.size() && name.at(i + 1) == u'\n') {
            if (pos && *pos > i)
                --*pos;
            continue; // CR LF is one line break: one blank
        }
        clean.append(c == u'\r' || c == u'\n' ? QChar(u' ') : c);
    }
    return clean;
}

void TFrameDBLst::RenameEntry(QTreeWidgetItem* node, const QString& typed)
{
    if (!InfoOf(node))
        return;
    const QString name = CleanName(typed);
    const QString old = node->text(0);
    if (name == old)
        return;
    CheckNameFree(name, node);
    node->setText(0, name);
    m_pendingRenames.append({old, name});
    // A workspace of that name belongs to this entry only when no other entry keeps the name.
    bool oldNameKept = false;
    for (int i = 0; Root() && i < Root()->childCount(); ++i)
        oldNameKept = oldNameKept || FoldedPath(TIniFileEx::WorkspaceSection(Root()->child(i)->text(0))) ==
                                         FoldedPath(TIniFileEx::WorkspaceSection(old));
    if (TMainWindowIntf* main = FrmMainIntf(); main && !oldNameKept)
        main->RenameWorkspaces(old, name);
    StoreCatalogue();
}

void TFrameDBLst::MoveWorkspaceSections(const QString& from, const QString& to)
{
    // Another entry of the old name keeps the settings; settings already under the new name
    // (an entry of that name) are taken over as they are.
    if (FoldedPath(TIniFileEx::WorkspaceSection(from)) == FoldedPath(TIniFileEx::WorkspaceSection(to)))
        return;
    QTreeWidgetItem* root = Root();
    for (int i = 0; root && i < root->childCount(); ++i)
        if (FoldedPath(TIniFileEx::WorkspaceSection(root->child(i)->text(0))) ==
            FoldedPath(TIniFileEx::WorkspaceSection(from)))
            return;
    TIniFileEx* store = SettingsStore();
    if (store->SectionExists(TIniFileEx::WorkspaceSection(to)) ||
        store->SectionExists(TIniFileEx::WorkspaceSqlSection(to)))
        return;
    store->MoveSectionValues(TIniFileEx::WorkspaceSqlSection(from), TIniFileEx::WorkspaceSqlSection(to));
    store->MoveSectionValues(TIniFileEx::WorkspaceSection(from), TIniFileEx::WorkspaceSection(to));
}
