#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class TSpillFile;

// One value of the row store as it is kept: a kind and its binary payload. Text and bytes
// point into the store and stay valid as long as the store lives.
struct TCell {
    enum TKind : quint8 { Null, Integer, Float, Text, Bytes, Date, Time, Timestamp };
    TKind Kind = Null;
    qint64 Int =
        0; // Integer; Date: days since 1970-01-01; Time: ms of the day; Timestamp: ms since 1970 (wall clock)
    double Real = 0;
    const char* Data = nullptr; // Text (UTF-8) and Bytes
    qsizetype Size = 0;

    bool IsNull() const { return Kind == Null; }
};

// The rows of a result: append-only, in chunks of row pointers over large byte blocks, each
// row a run of tagged values (no object per cell). One writer thread appends rows; any
// thread may read the rows published so far (RowCount) without a lock, while rows arrive.
// Beyond the process's memory budget (TRowBudget) finished blocks and chunks move to a
// temporary file that is mapped back at the same addresses: a pointer into the store stays
// valid, and no reader can tell where a row lives. Appending throws TResourceError when
// memory or the file's folder runs out; the rows before stay.
class TRowStore {
public:
    explicit TRowStore(int columnCount);
    ~TRowStore();
    TRowStore(const TRowStore&) = delete;
    TRowStore& operator=(const TRowStore&) = delete;

    int ColumnCount() const { return m_columnCount; }
    // Rows published so far; rows below this count never change.
    qint64 RowCount() const { return m_rowCount.load(std::memory_order_acquire); }
    TCell Cell(qint64 row, int column) const;
    // The encoded bytes of one row (for copying a row aside).
    QByteArray RowBytes(qint64 row) const;
    // Bytes allocated for rows so far (for the benchmark and memory reports), and the part of
    // them that lives in the temporary file.
    qint64 AllocatedBytes() const { return m_allocated.load(std::memory_order_relaxed); }
    qint64 SpilledBytes() const { return m_spilled.load(std::memory_order_relaxed); }
    // Gives up the pages of rows in the temporary file that reading brought back into memory
    // (they stay in the file and come back when read again): a pass over all rows, such as an
    // export, then costs no more memory than the budget. Any thread.
    void ReleaseSpilledPages();

    // Writer side, one thread at a time: BeginRow, one Add per column, EndRow publishes it.
    void BeginRow();
    void AddNull();
    void AddInt(qint64 value);
    void AddReal(double value);
    void AddText(const char* utf8, qsizetype size);
    void AddText(const QString& text);
    void AddBytes(const char* data, qsizetype size);
    void AddDate(qint64 daysSinceEpoch);
    void AddTime(qint64 msecsOfDay);
    void AddTimestamp(qint64 msecsSinceEpoch);
    void EndRow();
    // The row begun with BeginRow, encoded, without storing it (edit buffers).
    QByteArray PendingRow() const { return QByteArray(m_rowStart, qsizetype(m_put - m_rowStart)); }
    // Appends a row encoded elsewhere (RowBytes, EncodeRow).
    void AppendEncoded(const QByteArray& row);

    // The cell at a column of an encoded row.
    static TCell CellOfRow(const char* row, int column);

private:
    friend class TRowBudget;
    struct TChunk;
    // A block of row bytes or a chunk of row pointers. Mapped ones (page-aligned) can move
    // to the file once complete, that is once nothing will be written into them again.
    struct TSegment {
        char* Address = nullptr;
        qsizetype Size = 0;
        bool Mapped = false;
        bool Complete = false;
        bool Spilled = false;
    };
    // Room for n more bytes of the row being written; returns where they go.
    char* Room(qsizetype n) {
        if (Q_UNLIKELY(m_end - m_put < n))
            MoveRowToScratch(n);
        char* at = m_put;
        m_put += n;
        return at;
    }
    void MoveRowToScratch(qsizetype n);
    template <typename T> void PutFixed(quint8 tag, T value);
    void PutVarBytes(quint8 tag, const char* data, qsizetype size);
    const char* StoreRow(const char* data, qsizetype size);
    const char* RowPointer(qint64 row) const;
    // A new segment, counted against the budget; the one before of the same kind is complete.
    enum class TSegmentKind { Block, RowOfItsOwn, Chunk };
    char* NewSegment(qsizetype size, TSegmentKind kind);
    // Moves complete segments, oldest first, to the file until `wanted` bytes are freed;
    // returns the bytes freed. tryOnly: give up when another thread holds the store.
    qint64 SpillOlderBlocks(qint64 wanted, bool tryOnly);
    qint64 SpillLocked(qint64 wanted);

    const int m_columnCount;
    std::atomic<qint64> m_rowCount{0};
    std::atomic<qint64> m_allocated{0};
    std::atomic<qint64> m_spilled{0};
    // The row being written goes straight to the free end of the current block; only a row
    // that does not fit there is gathered in m_scratch and copied to a new block at EndRow.
    std::vector<char> m_scratch;
    char* m_rowStart = nullptr;
    char* m_put = nullptr;
    char* m_end = nullptr;
    bool m_inScratch = false;
    // Chunk directory; replaced by a larger copy when full, old copies kept until the end so
    // that a reader holding one stays safe.
    std::atomic<TChunk**> m_directory{nullptr};
    qint64 m_directoryCapacity = 0;
    std::vector<std::unique_ptr<TChunk*[]>> m_directories;
    // Segments, their spill state and the file; never taken by readers.
    std::mutex m_segmentsMutex;
    std::vector<TSegment> m_segments;
    size_t m_firstUnspilled = 0;
    qint64 m_inMemory = 0;
    int m_currentBlock = -1;
    int m_currentChunk = -1;
    std::unique_ptr<TSpillFile> m_spillFile;
    char* m_block = nullptr;
    qsizetype m_blockUsed = 0;
    qsizetype m_blockSize = 0;
};
