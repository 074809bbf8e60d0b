#include "workspace/EditorRecovery.h"

#include "editor/SqlEdit.h"
#include "settings/RegistryStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimer>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// First line of every copy; the database's name follows on the second, the hash of the stored
// text the workspace started from on the third, then the text. Copies of the first version
// have no third line.
const QByteArray Magic1 = QByteArrayLiteral("Tabulo-Wiederherstellung 1\n");
const QByteArray Magic = QByteArrayLiteral("Tabulo-Wiederherstellung 2\n");
// Copies nobody came back for in this time belong to entries renamed or removed since.
constexpr qint64 StaleAfterSeconds = 30 * 24 * 3600;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

qint64 Nanoseconds(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// When a file of the folder was last written, in nanoseconds since the epoch; -1 when it is missing.
qint64 ModifiedNs(int dir, const QByteArray& name) {
    struct stat st {};
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    return Nanoseconds(st);
}

QString Joined(const QStringList& lines) {
    return lines.join(u'\n');
}

QByteArray TextHash(const QStringList& lines) {
    return QCryptographicHash::hash(Joined(lines).toUtf8(), QCryptographicHash::Sha1).toHex();
}

// Locks a slot's lock file without waiting: the descriptor, -1 while another workspace, of
// this program or another, holds it, or -2 with errno when the file cannot be made.
int LockSlot(int dir, const QByteArray& name) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::openat(dir, name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return -2;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return -1;
        }
        // A lock file its owner removed meanwhile locks nothing; the new one under the name does.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::fstatat(dir, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    return -1;
}

struct TCopyFile {
    QStringList Lines;
    QByteArray Base; // empty in copies of the first version
    qint64 WrittenNs = 0;
};

// The text of a copy of the database, or nothing when the file is not one. A file this user
// did not write (a link, another owner, writable by others) is never read: foreign is set.
std::optional<TCopyFile> ReadCopy(int dir, const QByteArray& name, const QString& databaseName, bool& foreign) {
    const int fd = ::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        foreign = foreign || errno == ELOOP;
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH))) {
        ::close(fd);
        foreign = true;
        return std::nullopt;
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray data = f.readAll();
    const bool second = data.startsWith(Magic);
    if (!second && !data.startsWith(Magic1))
        return std::nullopt;
    const qsizetype nameEnd = data.indexOf('\n', Magic.size());
    if (nameEnd < 0 ||
        TRegistryStore::FoldName(QString::fromUtf8(data.mid(Magic.size(), nameEnd - Magic.size()))) !=
            TRegistryStore::FoldName(databaseName))
        return std::nullopt;
    TCopyFile copy;
    copy.WrittenNs = Nanoseconds(st);
    qsizetype textStart = nameEnd + 1;
    if (second) {
        const qsizetype baseEnd = data.indexOf('\n', textStart);
        if (baseEnd < 0)
            return std::nullopt;
        copy.Base = data.mid(textStart, baseEnd - textStart);
        textStart = baseEnd + 1;
    }
    copy.Lines = QString::fromUtf8(data.mid(textStart)).split(u'\n');
    return copy;
}

QString SystemErrorText(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("der Datenträger ist voll");
    case EROFS:
        return QStringLiteral("der Ordner ist schreibgeschützt");
    case EACCES:
    case EPERM:
        return QStringLiteral("keine Berechtigung");
    case ENOENT:
        return QStringLiteral("der Ordner fehlt");
    default:
        return QStringLiteral("Systemfehler %1").arg(error);
    }
}

bool WriteAll(int fd, const QByteArray& data) {
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += n;
    }
    return true;
}

// Opens the folder of the copies, making it when missing. Only a folder of this user that
// nobody else may write into is used: in any other, someone could plant links or texts.
int OpenPrivateFolder(const QString& folder, QString& problem) {
    const QByteArray path = Native(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        problem = SystemErrorText(errno);
        return -1;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ELOOP || errno == ENOTDIR
                      ? QStringLiteral("„%1“ ist kein Ordner, sondern eine Verknüpfung oder Datei").arg(folder)
                      : SystemErrorText(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        ::close(fd);
        problem = QStringLiteral("der Ordner „%1“ gehört einem anderen Benutzer, oder andere dürfen hineinschreiben")
                      .arg(folder);
        return -1;
    }
    return fd;
}

// The names of a folder's entries, read through its descriptor.
QList<QByteArray> EntryNames(int dir) {
    QList<QByteArray> names;
    const int copy = ::dup(dir);
    DIR* listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!listing) {
        if (copy >= 0)
            ::close(copy);
        return names;
    }
    ::rewinddir(listing);
    while (const dirent* entry = ::readdir(listing))
        if (entry->d_name[0] != '.')
            names.append(QByteArray(entry->d_name));
    ::closedir(listing);
    return names;
}

} // namespace

TEditorRecovery::TEditorRecovery(TSqlEdit* editor, const QString& folder, const QString& databaseName,
                                 const QString& storeFile)
    : m_editor(editor)
    , m_folder(folder)
    , m_databaseName(databaseName)
    , m_storeFile(storeFile) {
    m_key = QString::fromLatin1(
        QCryptographicHash::hash(TRegistryStore::FoldName(databaseName).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16));
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(DelayMs);
    connect(m_timer, &QTimer::timeout, this, &TEditorRecovery::TimerFired);
    QString problem;
    m_dirFd = OpenPrivateFolder(m_folder, problem);
    if (m_dirFd < 0) {
        m_failure = QStringLiteral("Keine Wiederherstellungskopie möglich: %1").arg(problem);
        qWarning("Editor recovery: %s", qUtf8Printable(m_failure));
        return;
    }
    RemoveStaleFiles();
    TakeSlot();
    if (m_slot >= 0)
        m_writer = std::thread([this] { WriterLoop(); });
}

TEditorRecovery::~TEditorRecovery() {
    if (m_timer->isActive() && m_editor)
        TimerFired();
    if (m_writer.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_writer.join();
    }
    if (m_lockFd >= 0) {
        if (ModifiedNs(m_dirFd, CopyName()) < 0)
            ::unlinkat(m_dirFd, Name(QStringLiteral(".lock")).constData(), 0);
        ::close(m_lockFd);
    }
    if (m_dirFd >= 0)
        ::close(m_dirFd);
}

QString TEditorRecovery::FolderBeside(const QString& storeFile) {
    const QFileInfo info(storeFile);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-recovery");
}

QByteArray TEditorRecovery::Name(const QString& suffix, int slot) const {
    return Native(QStringLiteral("%1-%2%3").arg(m_key).arg(slot < 0 ? m_slot : slot).arg(suffix));
}

QByteArray TEditorRecovery::CopyName() const {
    return Name(QStringLiteral(".sql"));
}

QString TEditorRecovery::CopyFile() const {
    return m_folder + u'/' + QFile::decodeName(CopyName());
}

QString TEditorRecovery::LockFile() const {
    return m_folder + u'/' + QFile::decodeName(Name(QStringLiteral(".lock")));
}

QString TEditorRecovery::StoredMarker() const {
    return QStringLiteral("%1/%2.stored").arg(m_folder, m_key);
}

QByteArray TEditorRecovery::MarkerName() const {
    return Native(m_key + QStringLiteral(".stored"));
}

void TEditorRecovery::RemoveStaleFiles() {
    // Files of every database: a copy of an entry renamed or removed since is never opened
    // again, and what a killed program left beside its copies would stay for ever.
    const QList<QByteArray> names = EntryNames(m_dirFd);
    QSet<QByteArray> slotNames, keysWithCopies;
    for (const QByteArray& name : names) {
        const qsizetype dash = name.indexOf('-');
        const qsizetype dot = name.indexOf('.');
        if (dash > 0 && dot > dash)
            slotNames.insert(name.left(dot));
    }
    const qint64 staleBefore = (QDateTime::currentSecsSinceEpoch() - StaleAfterSeconds) * 1000000000;
    for (const QByteArray& slot : std::as_const(slotNames)) {
        const int fd = LockSlot(m_dirFd, slot + ".lock");
        if (fd < 0)
            continue; // its workspace is open
        ::unlinkat(m_dirFd, (slot + ".sql.tmp").constData(), 0);
        const qint64 written = ModifiedNs(m_dirFd, slot + ".sql");
        if (written >= 0 && written < staleBefore) {
            ::unlinkat(m_dirFd, (slot + ".sql").constData(), 0);
        } else if (written >= 0) {
            keysWithCopies.insert(slot.left(slot.indexOf('-')));
            ::close(fd);
            continue;
        }
        ::unlinkat(m_dirFd, (slot + ".lock").constData(), 0);
        ::close(fd);
    }
    for (const QByteArray& slot : std::as_const(slotNames))
        if (ModifiedNs(m_dirFd, slot + ".sql") >= 0)
            keysWithCopies.insert(slot.left(slot.indexOf('-')));
    // A marker only matters beside copies of its database.
    for (const QByteArray& name : names)
        if (name.endsWith(".stored") && !keysWithCopies.contains(name.chopped(7)))
            ::unlinkat(m_dirFd, name.constData(), 0);
}

void TEditorRecovery::TakeSlot() {
    QList<int> slotNumbers;
    const QByteArray prefix = Native(m_key) + '-';
    for (const QByteArray& name : EntryNames(m_dirFd)) {
        if (!name.startsWith(prefix))
            continue;
        bool ok = false;
        const int slot = name.mid(prefix.size()).split('.').value(0).toInt(&ok);
        if (ok && slot >= 0 && !slotNumbers.contains(slot))
            slotNumbers.append(slot);
    }
    std::sort(slotNumbers.begin(), slotNumbers.end());

    // Copies whose slot nobody holds were left by workspaces that did not close.
    const qint64 stored = ModifiedNs(m_dirFd, MarkerName());
    bool foreign = false;
    qint64 newest = -1;
    for (const int slot : std::as_const(slotNumbers)) {
        if (ModifiedNs(m_dirFd, Name(QStringLiteral(".sql"), slot)) < 0)
            continue;
        const int fd = LockSlot(m_dirFd, Name(QStringLiteral(".lock"), slot));
        if (fd < 0)
            continue;
        const std::optional<TCopyFile> copy =
            ReadCopy(m_dirFd, Name(QStringLiteral(".sql"), slot), m_databaseName, foreign);
        if (!copy) {
            ::close(fd);
            continue;
        }
        if (copy->WrittenNs <= stored) {
            // The settings store holds a text of the database stored after this copy.
            ::unlinkat(m_dirFd, Name(QStringLiteral(".sql"), slot).constData(), 0);
            ::unlinkat(m_dirFd, Name(QStringLiteral(".lock"), slot).constData(), 0);
            ::close(fd);
            continue;
        }
        if (copy->WrittenNs <= newest) {
            ::close(fd); // left for the next workspace of the database
            continue;
        }
        if (m_lockFd >= 0)
            ::close(m_lockFd);
        m_lockFd = fd;
        newest = copy->WrittenNs;
        m_recovered = TCopy{copy->Lines, QDateTime::fromMSecsSinceEpoch(copy->WrittenNs / 1000000)};
        m_recoveredBase = copy->Base;
        m_recoveredNs = copy->WrittenNs;
        m_recoveredSlot = slot;
    }
    if (foreign)
        m_failure = QStringLiteral("Wiederherstellungskopien, die nicht von Ihnen geschrieben wurden, sind "
                                   "übergangen worden (%1)")
                        .arg(m_folder);
    if (m_lockFd >= 0) {
        m_slot = m_recoveredSlot;
        return;
    }
    for (int slot = 0; slot < 10000; ++slot) {
        if (ModifiedNs(m_dirFd, Name(QStringLiteral(".sql"), slot)) >= 0)
            continue; // another workspace's, alive or left behind
        const int fd = LockSlot(m_dirFd, Name(QStringLiteral(".lock"), slot));
        if (fd >= 0) {
            m_lockFd = fd;
            m_slot = slot;
            // What a program killed while writing in this slot left.
            ::unlinkat(m_dirFd, Name(QStringLiteral(".sql.tmp")).constData(), 0);
            return;
        }
        if (fd == -2) {
            m_failure =
                QStringLiteral("Keine Wiederherstellungskopie möglich: %1").arg(SystemErrorText(errno));
            break;
        }
    }
    m_slot = -1;
    qWarning("Editor recovery: no slot for %s in %s: %s", qUtf8Printable(m_databaseName),
             qUtf8Printable(m_folder), qUtf8Printable(m_failure));
}

std::optional<TEditorRecovery::TCopy> TEditorRecovery::Recovered(const QStringList& storedLines) {
    const QByteArray stored = TextHash(storedLines);
    {
        std::lock_guard lock(m_mutex);
        m_baseHash = stored;
    }
    if (!m_recovered || Joined(m_recovered->Lines) == Joined(storedLines))
        return std::nullopt;
    // The stored text changed since the crashed workspace started, and not by a workspace of
    // this program that closed (it would have marked the text it stored): an import. When the
    // store was written after the copy, the imported text is the newer one and wins.
    if (!m_recoveredBase.isEmpty() && m_recoveredBase != stored && MarkedText() != stored &&
        !m_storeFile.isEmpty()) {
        struct stat st {};
        if (::stat(Native(m_storeFile).constData(), &st) == 0 && Nanoseconds(st) > m_recoveredNs) {
            ::unlinkat(m_dirFd, CopyName().constData(), 0);
            m_recovered.reset();
            return std::nullopt;
        }
    }
    return m_recovered;
}

QByteArray TEditorRecovery::MarkedText() const {
    const int fd = ::openat(m_dirFd, MarkerName().constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? QByteArray(buffer, n).trimmed() : QByteArray();
}

void TEditorRecovery::Start() {
    if (m_slot < 0)
        return;
    m_editor->setModified(false);
    connect(m_editor, &QsciScintilla::modificationChanged, this, [this](bool modified) {
        if (modified && !m_timer->isActive())
            m_timer->start();
    });
}

void TEditorRecovery::TimerFired() {
    m_timer->stop();
    if (m_slot < 0 || !m_editor)
        return;
    // The document's own bytes (UTF-8): one copy, no conversion on the GUI thread.
    const auto length = m_editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const auto* text = static_cast<const char*>(
        m_editor->SendScintillaPtrResult(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    QByteArray copy(text, qsizetype(length));

    // The next change starts the next copy.
    m_editor->setModified(false);
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(copy);
    }
    m_wake.notify_all();
}

void TEditorRecovery::SetDelay(int milliseconds) {
    m_timer->setInterval(milliseconds);
}

void TEditorRecovery::Flush() {
    if (m_timer->isActive())
        TimerFired();
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_pending && !m_writing; });
}

void TEditorRecovery::Discard() {
    if (m_slot < 0)
        return;
    m_timer->stop();
    {
        std::unique_lock lock(m_mutex);
        m_pending.reset();
        m_wake.wait(lock, [this] { return !m_writing; });
    }
    ::unlinkat(m_dirFd, CopyName().constData(), 0);
    // The marker names the text now stored, so a text that reaches the store otherwise (an
    // import) can be told from it.
    const int fd = ::openat(m_dirFd, MarkerName().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                            0600);
    if (fd >= 0) {
        if (m_editor) {
            QStringList lines = m_editor->Lines();
            if (lines.size() == 1 && lines.first().isEmpty())
                lines.clear();
            WriteAll(fd, TextHash(lines) + '\n');
        }
        ::futimens(fd, nullptr);
        ::close(fd);
    }
    // Should the workspace stay open after all, its next change is copied again.
    if (m_editor)
        m_editor->setModified(false);
}

void TEditorRecovery::WriterLoop() {
    for (;;) {
        QByteArray text, base;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (!m_pending)
                return;
            text = std::move(*m_pending);
            m_pending.reset();
            base = m_baseHash;
            m_writing = true;
        }
        Write(text, base);
        {
            std::lock_guard lock(m_mutex);
            m_writing = false;
        }
        m_wake.notify_all();
    }
}

// On the writer thread. The copy is replaced only by a complete one on disk: written to a
// temporary file of its own (never one that was there), flushed, renamed over the old copy,
// and the folder flushed as well. Everything goes through the folder's descriptor and refuses
// links, so nothing outside the private folder is ever written.
void TEditorRecovery::Write(const QByteArray& text, const QByteArray& base) {
    const QByteArray copy = CopyName();
    const QByteArray temporary = copy + ".tmp";
    const QByteArray header = Magic + m_databaseName.toUtf8() + '\n' + base + '\n';
    int error = 0;
    constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(m_dirFd, temporary.constData(), flags, 0600);
    if (fd < 0 && errno == EEXIST) {
        // Left by a write that was cut off; the slot is ours.
        ::unlinkat(m_dirFd, temporary.constData(), 0);
        fd = ::openat(m_dirFd, temporary.constData(), flags, 0600);
    }
    if (fd < 0) {
        error = errno;
    } else {
        if (!WriteAll(fd, header) || !WriteAll(fd, text) || ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && !error)
            error = errno;
        if (!error && ::renameat(m_dirFd, temporary.constData(), m_dirFd, copy.constData()) != 0)
            error = errno;
        if (error)
            ::unlinkat(m_dirFd, temporary.constData(), 0);
    }
    if (!error)
        ::fsync(m_dirFd);
    // The outcome waits under the lock; the queued call by name carries nothing made here
    // (a thread checker sees this lock, not Qt's queue).
    {
        std::lock_guard lock(m_mutex);
        m_writeErrors.push_back(error);
    }
    QMetaObject::invokeMethod(this, "WriteDone", Qt::QueuedConnection);
}

void TEditorRecovery::WriteDone() {
    std::deque<int> errors;
    {
        std::lock_guard lock(m_mutex);
        errors.swap(m_writeErrors);
    }
    for (const int error : errors) {
        if (!error) {
            m_reportedFailure = false;
            continue;
        }
        // Tried again until it works (space freed, the folder writable again): the text
        // typed meanwhile is taken anew each time.
        QTimer::singleShot(RetryFactor * m_timer->interval(), this, [this] {
            if (!m_timer->isActive())
                TimerFired();
        });
        if (m_reportedFailure)
            continue;
        m_reportedFailure = true;
        const QString message =
            QStringLiteral("Wiederherstellungskopie nicht geschrieben: %1").arg(SystemErrorText(error));
        qWarning("Editor recovery %s: %s", qUtf8Printable(CopyFile()), qUtf8Printable(message));
        emit WriteFailed(message);
    }
}
