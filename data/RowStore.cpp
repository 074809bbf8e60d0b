#include "data/RowStore.h"

#include "data/DataError.h"
#include "data/RowBudget.h"

#include <QString>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace {

enum TTag : quint8 {
    TagNull,
    TagInt8,
    TagInt16,
    TagInt32,
    TagInt64,
    TagReal,
    TagText,
    TagBytes,
    TagDate,
    TagTime,
    TagTimestamp
};

constexpr int kChunkShift = 14;
constexpr qint64 kChunkRows = qint64(1) << kChunkShift;
constexpr qsizetype kFirstBlock = 16 * 1024;
constexpr qsizetype kMaxBlock = 4 * 1024 * 1024;
// Smaller blocks come from the heap and stay in memory; larger ones are mapped pages that can
// move to the file. Few and large mappings keep the process's mapping count low.
constexpr qsizetype kMappedBlock = 64 * 1024;

qsizetype PageSize() {
    static const qsizetype size = qsizetype(sysconf(_SC_PAGESIZE));
    return size;
}

template <typename T> T Load(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Reads a LEB128 length; returns the position after it.
const char* ReadLength(const char* p, qsizetype& length) {
    quint64 v = 0;
    int shift = 0;
    quint8 b;
    do {
        b = quint8(*p++);
        v |= quint64(b & 0x7f) << shift;
        shift += 7;
    } while (b & 0x80);
    length = qsizetype(v);
    return p;
}

// Decodes the cell at p and returns the position after it.
const char* Decode(const char* p, TCell& cell) {
    const quint8 tag = quint8(*p++);
    switch (tag) {
    case TagNull:
        cell.Kind = TCell::Null;
        return p;
    case TagInt8:
        cell.Kind = TCell::Integer;
        cell.Int = Load<qint8>(p);
        return p + 1;
    case TagInt16:
        cell.Kind = TCell::Integer;
        cell.Int = Load<qint16>(p);
        return p + 2;
    case TagInt32:
        cell.Kind = TCell::Integer;
        cell.Int = Load<qint32>(p);
        return p + 4;
    case TagInt64:
        cell.Kind = TCell::Integer;
        cell.Int = Load<qint64>(p);
        return p + 8;
    case TagReal:
        cell.Kind = TCell::Float;
        cell.Real = Load<double>(p);
        return p + 8;
    case TagText:
    case TagBytes:
        cell.Kind = tag == TagText ? TCell::Text : TCell::Bytes;
        p = ReadLength(p, cell.Size);
        cell.Data = p;
        return p + cell.Size;
    case TagDate:
        cell.Kind = TCell::Date;
        cell.Int = Load<qint32>(p);
        return p + 4;
    case TagTime:
        cell.Kind = TCell::Time;
        cell.Int = Load<qint32>(p);
        return p + 4;
    case TagTimestamp:
        cell.Kind = TCell::Timestamp;
        cell.Int = Load<qint64>(p);
        return p + 8;
    }
    Q_UNREACHABLE();
}

} // namespace

struct TRowStore::TChunk {
    const char* Rows[kChunkRows];
};

TRowStore::TRowStore(int columnCount)
    : m_columnCount(columnCount) {
    TRowBudget::Register(this);
}

TRowStore::~TRowStore() {
    TRowBudget::Unregister(this);
    for (const TSegment& s : m_segments) {
        if (s.Mapped)
            ::munmap(s.Address, size_t(s.Size));
        else
            delete[] s.Address;
    }
    TRowBudget::Release(m_inMemory);
}

char* TRowStore::NewSegment(qsizetype size, TSegmentKind kind) {
    const bool mapped = kind == TSegmentKind::Chunk || size >= kMappedBlock;
    if (mapped)
        size = (size + PageSize() - 1) / PageSize() * PageSize();
    TRowBudget::Reserve(this, size);
    char* address = nullptr;
    if (mapped) {
        void* p = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        address = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
    } else {
        address = new (std::nothrow) char[size_t(size)];
    }
    std::lock_guard lock(m_segmentsMutex);
    if (address) {
        try {
            m_segments.push_back({address, size, mapped, false, false});
        } catch (const std::bad_alloc&) {
            mapped ? void(::munmap(address, size_t(size))) : delete[] address;
            address = nullptr;
        }
    }
    if (!address) {
        TRowBudget::Release(size);
        throw TResourceError::OutOfMemory();
    }
    m_inMemory += size;
    m_allocated.fetch_add(size, std::memory_order_relaxed);
    if (kind == TSegmentKind::RowOfItsOwn)
        return address; // complete once the row is in
    int& current = kind == TSegmentKind::Chunk ? m_currentChunk : m_currentBlock;
    if (current >= 0)
        m_segments[size_t(current)].Complete = true;
    current = int(m_segments.size() - 1);
    return address;
}

qint64 TRowStore::SpillOlderBlocks(qint64 wanted, bool tryOnly) {
    std::unique_lock lock(m_segmentsMutex, std::defer_lock);
    if (tryOnly) {
        if (!lock.try_lock())
            return 0;
    } else {
        lock.lock();
    }
    return SpillLocked(wanted);
}

void TRowStore::ReleaseSpilledPages() {
    std::lock_guard lock(m_segmentsMutex);
    for (const TSegment& s : m_segments)
        if (s.Spilled) // a shared mapping of the file: the bytes stay there
            ::madvise(s.Address, size_t(s.Size), MADV_DONTNEED);
}

qint64 TRowStore::SpillLocked(qint64 wanted) {
    qint64 freed = 0;
    bool allBefore = true;
    for (size_t i = m_firstUnspilled; i < m_segments.size() && freed < wanted; ++i) {
        TSegment& s = m_segments[i];
        if (s.Spilled || !s.Mapped || !s.Complete) {
            allBefore = allBefore && (s.Spilled || !s.Mapped);
            if (allBefore)
                m_firstUnspilled = i + 1;
            continue;
        }
        if (!m_spillFile)
            m_spillFile = std::make_unique<TSpillFile>();
        m_spillFile->MoveOut(s.Address, s.Size);
        s.Spilled = true;
        m_inMemory -= s.Size;
        TRowBudget::Release(s.Size);
        m_spilled.fetch_add(s.Size, std::memory_order_relaxed);
        freed += s.Size;
        if (allBefore)
            m_firstUnspilled = i + 1;
    }
    return freed;
}

const char* TRowStore::RowPointer(qint64 row) const {
    Q_ASSERT(row >= 0 && row < RowCount());
    TChunk* const* dir = m_directory.load(std::memory_order_acquire);
    return dir[row >> kChunkShift]->Rows[row & (kChunkRows - 1)];
}

TCell TRowStore::CellOfRow(const char* row, int column) {
    TCell cell;
    const char* p = row;
    for (int i = 0; i <= column; ++i)
        p = Decode(p, cell);
    return cell;
}

TCell TRowStore::Cell(qint64 row, int column) const {
    Q_ASSERT(column >= 0 && column < m_columnCount);
    return CellOfRow(RowPointer(row), column);
}

QByteArray TRowStore::RowBytes(qint64 row) const {
    const char* start = RowPointer(row);
    const char* p = start;
    TCell cell;
    for (int i = 0; i < m_columnCount; ++i)
        p = Decode(p, cell);
    return QByteArray(start, p - start);
}

void TRowStore::BeginRow() {
    m_inScratch = false;
    m_rowStart = m_put = m_block ? m_block + m_blockUsed : nullptr;
    m_end = m_block ? m_block + m_blockSize : nullptr;
}

void TRowStore::MoveRowToScratch(qsizetype n) {
    const qsizetype have = m_put - m_rowStart;
    const size_t wanted = size_t(have + n);
    if (!m_inScratch) {
        m_scratch.resize(qMax<size_t>(wanted * 2, 256));
        if (have)
            std::memcpy(m_scratch.data(), m_rowStart, size_t(have));
        m_inScratch = true;
    } else if (wanted > m_scratch.size()) {
        m_scratch.resize(qMax(wanted, m_scratch.size() * 2));
    }
    m_rowStart = m_scratch.data();
    m_put = m_rowStart + have;
    m_end = m_rowStart + m_scratch.size();
}

template <typename T> void TRowStore::PutFixed(quint8 tag, T value) {
    char* at = Room(1 + qsizetype(sizeof value));
    *at = char(tag);
    std::memcpy(at + 1, &value, sizeof value);
}

void TRowStore::AddNull() {
    *Room(1) = char(TagNull);
}

void TRowStore::AddInt(qint64 value) {
    if (value >= -128 && value <= 127)
        PutFixed(TagInt8, qint8(value));
    else if (value >= -32768 && value <= 32767)
        PutFixed(TagInt16, qint16(value));
    else if (value >= INT32_MIN && value <= INT32_MAX)
        PutFixed(TagInt32, qint32(value));
    else
        PutFixed(TagInt64, value);
}

void TRowStore::AddReal(double value) {
    PutFixed(TagReal, value);
}

void TRowStore::PutVarBytes(quint8 tag, const char* data, qsizetype size) {
    // The tag, at most ten bytes of length and the bytes.
    char* at = Room(1 + 10 + size);
    char* p = at;
    *p++ = char(tag);
    quint64 v = quint64(size);
    do {
        quint8 b = v & 0x7f;
        v >>= 7;
        if (v)
            b |= 0x80;
        *p++ = char(b);
    } while (v);
    if (size)
        std::memcpy(p, data, size_t(size));
    m_put = p + size; // give back the length bytes not used
}

void TRowStore::AddText(const char* utf8, qsizetype size) {
    PutVarBytes(TagText, utf8, size);
}

void TRowStore::AddText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    PutVarBytes(TagText, utf8.constData(), utf8.size());
}

void TRowStore::AddBytes(const char* data, qsizetype size) {
    PutVarBytes(TagBytes, data, size);
}

void TRowStore::AddDate(qint64 daysSinceEpoch) {
    PutFixed(TagDate, qint32(daysSinceEpoch));
}

void TRowStore::AddTime(qint64 msecsOfDay) {
    PutFixed(TagTime, qint32(msecsOfDay));
}

void TRowStore::AddTimestamp(qint64 msecsSinceEpoch) {
    PutFixed(TagTimestamp, msecsSinceEpoch);
}

const char* TRowStore::StoreRow(const char* data, qsizetype size) {
    if (size > kMaxBlock / 4) {
        // A large row gets a block of its own, so the shared block is not wasted; the shared
        // block stays the current one.
        char* own = NewSegment(size, TSegmentKind::RowOfItsOwn);
        std::memcpy(own, data, size);
        std::lock_guard lock(m_segmentsMutex);
        m_segments.back().Complete = true;
        return own;
    }
    if (!m_block || m_blockUsed + size > m_blockSize) {
        // The next block must hold at least this row.
        const qsizetype next = qMax(size, m_blockSize == 0 ? kFirstBlock : qMin(m_blockSize * 2, kMaxBlock));
        m_block = NewSegment(next, TSegmentKind::Block);
        m_blockSize = next;
        m_blockUsed = 0;
    }
    char* at = m_block + m_blockUsed;
    if (size)
        std::memcpy(at, data, size_t(size));
    m_blockUsed += size;
    return at;
}

void TRowStore::EndRow() {
    const qint64 row = m_rowCount.load(std::memory_order_relaxed);
    const char* stored = m_rowStart;
    if (m_inScratch || !m_rowStart)
        stored = StoreRow(m_rowStart, qsizetype(m_put - m_rowStart));
    else
        m_blockUsed = m_put - m_block;
    m_inScratch = false;
    m_rowStart = m_put = m_end = nullptr;
    const qint64 chunkIndex = row >> kChunkShift;
    if ((row & (kChunkRows - 1)) == 0) {
        if (chunkIndex >= m_directoryCapacity) {
            const qint64 capacity = qMax<qint64>(16, m_directoryCapacity * 2);
            std::unique_ptr<TChunk*[]> dir(new TChunk*[capacity]());
            if (m_directoryCapacity)
                std::memcpy(dir.get(), m_directory.load(std::memory_order_relaxed),
                            sizeof(TChunk*) * m_directoryCapacity);
            m_directory.store(dir.get(), std::memory_order_release);
            m_directories.push_back(std::move(dir));
            m_directoryCapacity = capacity;
            m_allocated.fetch_add(qint64(sizeof(TChunk*)) * capacity, std::memory_order_relaxed);
        }
        TChunk* chunk = reinterpret_cast<TChunk*>(NewSegment(qsizetype(sizeof(TChunk)), TSegmentKind::Chunk));
        m_directory.load(std::memory_order_relaxed)[chunkIndex] = chunk;
    }
    m_directory.load(std::memory_order_relaxed)[chunkIndex]->Rows[row & (kChunkRows - 1)] = stored;
    m_rowCount.store(row + 1, std::memory_order_release);
}

void TRowStore::AppendEncoded(const QByteArray& row) {
    BeginRow();
    if (!row.isEmpty())
        std::memcpy(Room(row.size()), row.constData(), size_t(row.size()));
    EndRow();
}
