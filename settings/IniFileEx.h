#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "settings/WindowPlacement.h"

class TRegistryStore;

// The program's settings: sections (keys below the base key, a backslash descending into
// nested keys) holding string values, plus comma lists, value lists and window placements.
// Every public operation is one transaction of the store file, so a value list is never left
// half written and a second running program sees either all of a change or nothing of it.
// Used on the GUI thread only.
class TIniFileEx {
public:
    // The base key below HKEY_CURRENT_USER; every section is a key below it.
    static QString BaseKey();

    // Opens or creates the store file and the base key; throws TError when it cannot. A file
    // that cannot be written opens read-only.
    explicit TIniFileEx(const QString& file = DefaultSettingsFile());
    ~TIniFileEx();
    TIniFileEx(const TIniFileEx&) = delete;
    TIniFileEx& operator=(const TIniFileEx&) = delete;

    // $TABULO_SETTINGS when set, else settings.sqlite in the user's configuration folder.
    static QString DefaultSettingsFile();
    // The file could only be opened for reading: everything reads, every write does nothing.
    bool ReadOnly() const;
    // Why the file stays readable by other users, or empty when it is private.
    QString OpenToOthers() const;
    QString FileName() const;

    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue);
    void WriteString(const QString& section, const QString& ident, const QString& value);
    int ReadInteger(const QString& section, const QString& ident, int defaultValue);
    void WriteInteger(const QString& section, const QString& ident, int value);
    // The section's value names in enumeration order; the list stays as it is when the
    // section does not exist.
    void ReadSection(const QString& section, QStringList& list);
    // Removes the section with all its values and subkeys; a missing section is no error.
    void RemoveSection(const QString& section);
    bool SectionExists(const QString& section);
    // Moves the values of one section into another (created when missing), in one
    // transaction; the source key goes when nothing is left in it. Subkeys stay where they are.
    void MoveSectionValues(const QString& from, const QString& to);
    // Runs work as one transaction: the operations inside join it, and a second program sees
    // all of it or nothing. Holds the store's write lock meanwhile: ask the user nothing inside.
    void InTransaction(const std::function<void()>& work);

    // The sections a workspace keeps for a database name: its pane sizes and its SQL text.
    static QString WorkspaceSection(const QString& databaseName);
    static QString WorkspaceSqlSection(const QString& databaseName);

    QStringList ReadCommaList(const QString& section, const QString& ident);
    // Never reports an error.
    void WriteCommaList(const QString& section, const QString& ident, const QStringList& list);
    void ReadValueList(const QString& section, QStringList& list);
    // Replaces the section by the values "0", "1", ... in one transaction.
    void WriteValueList(const QString& section, const QStringList& list);
    // As ReadValueList, but a value that is not a string does not stop the reading: the list
    // gets every readable value and the idents of the others are returned.
    QStringList ReadReadableValueList(const QString& section, QStringList& list);
    // As WriteValueList, but every value of the section that is not a string is first moved,
    // type and data unchanged, into the section `aside` (under its ident, made unique there),
    // all in one transaction: a value nobody could read is never erased.
    void WriteValueListKeepingOthers(const QString& section, const QStringList& list, const QString& aside);
    // "Ungültiger Datentyp für '<ident>'": a value that exists but is not a string.
    static QString InvalidTypeText(const QString& ident);

    // The window's placement after applying the stored record and clamping. An empty section
    // means the window's component name; the ident is its class name.
    TWindowPlacement RestoreFormPlacement(const QString& section, const TWindowPlacement& window);
    // Stores the placement record; never reports an error.
    void SaveFormPlacement(const QString& section, const TWindowPlacement& window);

    // The typed tree underneath, for the import/export tool and tests.
    TRegistryStore& Store() { return *m_store; }
    // The key path of a section below HKEY_CURRENT_USER.
    static QStringList SectionPath(const QString& section);

private:
    static QString XdgSettingsFile();
    std::optional<QString> ReadStringValue(const QString& section, const QString& ident);
    qint64 CreateSectionKey(const QString& section);
    void WriteStringValue(const QString& section, const QString& ident, const QString& value);
    void RemoveSectionKey(const QString& section);

    std::unique_ptr<TRegistryStore> m_store;
};

// Signed 32-bit decimal text with an optional sign; nothing else (no blanks, no hex).
std::optional<int> ParseDecimalInt(const QString& text);

// The process-wide store: created by the program before its main window and released at
// exit. SetSettingsStore does not take ownership.
TIniFileEx* SettingsStore();
void SetSettingsStore(TIniFileEx* store);
