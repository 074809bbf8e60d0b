#include "data/RowBudget.h"

#include "data/DataError.h"
#include "data/RowStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace {

// Mapping the file over a block keeps its bytes; ThreadSanitizer would take it for a write
// racing with the readers of those bytes.
void* MapKeepingBytes(void* address, size_t size, int fd, off_t offset) {
#if defined(__SANITIZE_THREAD__)
    __tsan_ignore_thread_begin();
#endif
    void* mapped = ::mmap(address, size, PROT_READ, MAP_SHARED | MAP_FIXED, fd, offset);
#if defined(__SANITIZE_THREAD__)
    __tsan_ignore_thread_end();
#endif
    return mapped;
}

std::atomic<qint64> s_limit{0}; // 0: default
std::atomic<qint64> s_inMemory{0};

std::mutex& FolderMutex() {
    static std::mutex m;
    return m;
}
QString& FolderOverride() {
    static QString folder;
    return folder;
}

// The live stores, for spilling another store's blocks when one store alone cannot make room.
std::mutex& StoresMutex() {
    static std::mutex m;
    return m;
}
std::vector<TRowStore*>& Stores() {
    static std::vector<TRowStore*> stores;
    return stores;
}

} // namespace

qint64 TRowBudget::DefaultLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const qint64 twoGiB = qint64(2) << 30;
    if (pages <= 0 || pageSize <= 0)
        return twoGiB;
    return std::min(qint64(pages) * pageSize / 4, twoGiB);
}

qint64 TRowBudget::Limit() {
    const qint64 limit = s_limit.load(std::memory_order_relaxed);
    return limit > 0 ? limit : DefaultLimit();
}

void TRowBudget::SetLimit(qint64 bytes) {
    s_limit.store(std::max<qint64>(bytes, 0));
}

QString TRowBudget::SpillFolder() {
    {
        std::lock_guard lock(FolderMutex());
        if (!FolderOverride().isEmpty())
            return FolderOverride();
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache)) {
        // Private like the rows it takes: results may hold what others must not read.
        const QString folder = cache + QStringLiteral("/Tabulo");
        const QByteArray path = QFile::encodeName(folder);
        if (::mkdir(path.constData(), 0700) == 0 || (errno == EEXIST && QFileInfo(folder).isDir()))
            return folder;
    }
    return QDir::tempPath();
}

namespace {

// Why the temporary file of a folder could not be made or grow: out of space, or the folder
// itself (missing, read-only, not the user's), said as what it is.
TResourceError FolderError(int error, const QString& folder) {
    const QString shown = QDir::toNativeSeparators(folder);
    switch (error) {
    case ENOMEM:
        return TResourceError::OutOfMemory();
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return TResourceError::OutOfSpace(shown);
    case EROFS:
        return TResourceError(TResourceError::Disk,
                              QStringLiteral("Der Ordner für Zwischendaten %1 ist schreibgeschützt").arg(shown));
    case EACCES:
    case EPERM:
        return TResourceError(TResourceError::Disk,
                              QStringLiteral("Keine Berechtigung, Zwischendaten in %1 abzulegen").arg(shown));
    case ENOENT:
    case ENOTDIR:
        return TResourceError(TResourceError::Disk,
                              QStringLiteral("Der Ordner für Zwischendaten %1 fehlt").arg(shown));
    default:
        return TResourceError(TResourceError::Disk, QStringLiteral("Zwischendaten können nicht in %1 abgelegt "
                                                                   "werden (Systemfehler %2)")
                                                        .arg(shown)
                                                        .arg(error));
    }
}

} // namespace

void TRowBudget::SetSpillFolder(const QString& folder) {
    std::lock_guard lock(FolderMutex());
    FolderOverride() = folder;
}

qint64 TRowBudget::InMemory() {
    return s_inMemory.load(std::memory_order_relaxed);
}

void TRowBudget::Register(TRowStore* store) {
    std::lock_guard lock(StoresMutex());
    Stores().push_back(store);
}

void TRowBudget::Unregister(TRowStore* store) {
    std::lock_guard lock(StoresMutex());
    std::erase(Stores(), store);
}

void TRowBudget::Release(qint64 bytes) {
    s_inMemory.fetch_sub(bytes, std::memory_order_relaxed);
}

void TRowBudget::Reserve(TRowStore* store, qint64 bytes) {
    const qint64 total = s_inMemory.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    const qint64 over = total - Limit();
    if (over <= 0)
        return;
    qint64 freed = 0;
    try {
        freed = store->SpillOlderBlocks(over, false);
    } catch (...) {
        Release(bytes);
        throw;
    }
    if (freed >= over)
        return;
    // This store has nothing more to give (a small result beside a large one): the others'
    // finished blocks go. A store busy in its own spill is passed by.
    std::lock_guard lock(StoresMutex());
    qint64 still = over - freed;
    try {
        for (TRowStore* other : Stores()) {
            if (still <= 0)
                break;
            if (other != store)
                still -= other->SpillOlderBlocks(still, true);
        }
    } catch (...) {
        Release(bytes);
        throw;
    }
}

TSpillFile::TSpillFile()
    : m_folder(TRowBudget::SpillFolder()) {
    const QByteArray path = QFile::encodeName(m_folder);
#ifdef O_TMPFILE
    m_fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without nameless files: a name that is gone at once.
        QByteArray name = path + "/tabulo-rows-XXXXXX";
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd >= 0)
            ::unlink(name.constData());
    }
    if (m_fd < 0)
        throw FolderError(errno, m_folder);
}

TSpillFile::~TSpillFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void TSpillFile::MoveOut(char* address, qsizetype size) {
    for (qsizetype done = 0; done < size;) {
        const ssize_t n = ::pwrite(m_fd, address + done, size_t(size - done), off_t(m_end + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Whatever part was written is overwritten by the next block.
            throw FolderError(n == 0 ? ENOSPC : errno, m_folder);
        }
        done += n;
    }
    // Readers may be on these pages right now: they see the same bytes before and after.
    void* mapped = MapKeepingBytes(address, size_t(size), m_fd, off_t(m_end));
    if (mapped == MAP_FAILED) {
        // The kernel may have taken the old pages already: put the bytes back from the file.
        void* again = ::mmap(address, size_t(size), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (again == MAP_FAILED || ::pread(m_fd, address, size_t(size), off_t(m_end)) != ssize_t(size))
            std::abort(); // rows that readers may hold would be gone
        throw TResourceError::OutOfMemory();
    }
    m_end += size;
}
