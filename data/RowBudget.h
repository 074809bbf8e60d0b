#pragma once

#include <QString>
#include <QtGlobal>

class TRowStore;

// The memory the row stores of the whole process may keep (every open workspace together),
// and the folder of the temporary file that takes the blocks beyond it. The application sets
// the limit from its settings at start; the data layer reads no settings itself. Any thread.
class TRowBudget {
public:
    // A quarter of the physical memory, at most 2 GiB.
    static qint64 DefaultLimit();
    static qint64 Limit();
    // bytes <= 0 restores the default.
    static void SetLimit(qint64 bytes);
    // The user's cache folder (…/Tabulo), or the temporary folder when that cannot be made.
    static QString SpillFolder();
    static void SetSpillFolder(const QString& folder);
    // Result bytes in memory now, over all stores.
    static qint64 InMemory();

private:
    friend class TRowStore;
    static void Register(TRowStore* store);
    static void Unregister(TRowStore* store);
    // Counts bytes a store is about to take; moves older blocks of this store, then of other
    // stores, to their files while the total is above the limit. Throws TResourceError.
    static void Reserve(TRowStore* store, qint64 bytes);
    static void Release(qint64 bytes);
};

// A temporary file that no other user can read and that never outlives its process: created
// without a name (or unlinked at once). Blocks are appended and mapped back in place.
class TSpillFile {
public:
    TSpillFile(); // throws TResourceError
    ~TSpillFile();
    TSpillFile(const TSpillFile&) = delete;
    TSpillFile& operator=(const TSpillFile&) = delete;

    // Writes the block at the end of the file and maps that part of the file over the
    // block's own pages (same address, same bytes), which frees the memory. address and size
    // are multiples of the page size.
    void MoveOut(char* address, qsizetype size);
    const QString& Folder() const { return m_folder; }

private:
    int m_fd = -1;
    qint64 m_end = 0;
    QString m_folder;
};
