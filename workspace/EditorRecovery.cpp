#include "workspace/EditorRecovery.h"

#include "editor/SqlEdit.h"
#include "settings/RegistryStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// First line of every copy; the database's name follows on the second, then the text.
const QByteArray Magic = QByteArrayLiteral("Tabulo-Wiederherstellung 1\n");

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// When the file was last written, in nanoseconds since the epoch; -1 when it is missing.
qint64 ModifiedNs(const QString& file) {
    struct stat st {};
    if (::stat(Native(file).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Locks a slot's lock file without waiting: the descriptor, -1 while another workspace, of
// this program or another, holds it, or -2 with errno when the file cannot be made.
int LockSlot(const QString& file) {
    const QByteArray path = Native(file);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return -2;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return -1;
        }
        // A lock file its owner removed meanwhile locks nothing; the new one under the name does.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    return -1;
}

// The text of a copy of the database, or nothing when the file is not one.
std::optional<QStringList> ReadCopy(const QString& file, const QString& databaseName) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = f.readAll();
    if (!data.startsWith(Magic))
        return std::nullopt;
    const qsizetype nameEnd = data.indexOf('\n', Magic.size());
    if (nameEnd < 0 ||
        TRegistryStore::FoldName(QString::fromUtf8(data.mid(Magic.size(), nameEnd - Magic.size()))) !=
            TRegistryStore::FoldName(databaseName))
        return std::nullopt;
    return QString::fromUtf8(data.mid(nameEnd + 1)).split(u'\n');
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

QString Joined(const QStringList& lines) {
    return lines.join(u'\n');
}

} // namespace

TEditorRecovery::TEditorRecovery(TSqlEdit* editor, const QString& folder, const QString& databaseName)
    : m_editor(editor)
    , m_folder(folder)
    , m_databaseName(databaseName) {
    m_key = QString::fromLatin1(
        QCryptographicHash::hash(TRegistryStore::FoldName(databaseName).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16));
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(DelayMs);
    connect(m_timer, &QTimer::timeout, this, &TEditorRecovery::TimerFired);
    // The folder sits beside the settings store and is as private as it.
    if (!QFileInfo(m_folder).isDir() && ::mkdir(Native(m_folder).constData(), 0700) != 0 && errno != EEXIST)
        qWarning("Editor recovery: folder %s not created: %s", qUtf8Printable(m_folder),
                 std::strerror(errno));
    TakeSlot();
    if (m_slot >= 0) {
        m_copyPath = Native(CopyFile());
        m_writer = std::thread([this] { WriterLoop(); });
    }
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
        if (!QFileInfo::exists(CopyFile()))
            QFile::remove(LockFile());
        ::close(m_lockFd);
    }
}

QString TEditorRecovery::FolderBeside(const QString& storeFile) {
    const QFileInfo info(storeFile);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-recovery");
}

QString TEditorRecovery::CopyFile() const {
    return QStringLiteral("%1/%2-%3.sql").arg(m_folder, m_key).arg(m_slot);
}

QString TEditorRecovery::LockFile() const {
    return QStringLiteral("%1/%2-%3.lock").arg(m_folder, m_key).arg(m_slot);
}

QString TEditorRecovery::StoredMarker() const {
    return QStringLiteral("%1/%2.stored").arg(m_folder, m_key);
}

void TEditorRecovery::TakeSlot() {
    const QDir dir(m_folder);
    QList<int> slotNumbers;
    for (const QString& name : dir.entryList({m_key + QStringLiteral("-*")}, QDir::Files)) {
        bool ok = false;
        const int slot = name.mid(m_key.size() + 1).section(u'.', 0, 0).toInt(&ok);
        if (ok && slot >= 0 && !slotNumbers.contains(slot))
            slotNumbers.append(slot);
    }
    std::sort(slotNumbers.begin(), slotNumbers.end());

    // Copies whose slot nobody holds were left by workspaces that did not close.
    const qint64 stored = ModifiedNs(StoredMarker());
    qint64 newest = -1;
    for (const int slot : std::as_const(slotNumbers)) {
        m_slot = slot;
        if (!QFileInfo::exists(CopyFile()))
            continue;
        const int fd = LockSlot(LockFile());
        if (fd < 0)
            continue;
        const qint64 written = ModifiedNs(CopyFile());
        const std::optional<QStringList> lines = ReadCopy(CopyFile(), m_databaseName);
        if (!lines) {
            ::close(fd);
            continue;
        }
        if (written <= stored) {
            // The settings store holds a text of the database stored after this copy.
            QFile::remove(CopyFile());
            QFile::remove(LockFile());
            ::close(fd);
            continue;
        }
        if (written <= newest) {
            ::close(fd); // left for the next workspace of the database
            continue;
        }
        if (m_lockFd >= 0)
            ::close(m_lockFd);
        m_lockFd = fd;
        newest = written;
        m_recovered = TCopy{*lines, QDateTime::fromMSecsSinceEpoch(written / 1000000)};
        m_recoveredSlot = slot;
    }
    if (m_lockFd >= 0) {
        m_slot = m_recoveredSlot;
        return;
    }
    for (int slot = 0; slot < 10000; ++slot) {
        m_slot = slot;
        if (QFileInfo::exists(CopyFile()))
            continue; // another workspace's, alive or left behind
        const int fd = LockSlot(LockFile());
        if (fd >= 0) {
            m_lockFd = fd;
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

std::optional<TEditorRecovery::TCopy> TEditorRecovery::Recovered(const QStringList& storedLines) const {
    if (m_recovered && Joined(m_recovered->Lines) != Joined(storedLines))
        return m_recovered;
    return std::nullopt;
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
    QFile::remove(CopyFile());
    const int fd = ::open(Native(StoredMarker()).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::futimens(fd, nullptr);
        ::close(fd);
    }
    // Should the workspace stay open after all, its next change is copied again.
    if (m_editor)
        m_editor->setModified(false);
}

void TEditorRecovery::WriterLoop() {
    for (;;) {
        QByteArray text;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (!m_pending)
                return;
            text = std::move(*m_pending);
            m_pending.reset();
            m_writing = true;
        }
        Write(text);
        {
            std::lock_guard lock(m_mutex);
            m_writing = false;
        }
        m_wake.notify_all();
    }
}

// On the writer thread. The copy is replaced only by a complete one on disk: written to a
// temporary file, flushed, renamed over the old copy, and the folder flushed as well.
void TEditorRecovery::Write(const QByteArray& text) {
    const QByteArray temporary = m_copyPath + ".tmp";
    const QByteArray header = Magic + m_databaseName.toUtf8() + '\n';
    int error = 0;
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
    } else {
        if (!WriteAll(fd, header) || !WriteAll(fd, text) || ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && !error)
            error = errno;
        if (!error && ::rename(temporary.constData(), m_copyPath.constData()) != 0)
            error = errno;
        if (error)
            ::unlink(temporary.constData());
    }
    if (!error) {
        const int dir = ::open(Native(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (!error) {
                m_reportedFailure = false;
                return;
            }
            if (m_reportedFailure)
                return;
            m_reportedFailure = true;
            const QString message =
                QStringLiteral("Wiederherstellungskopie nicht geschrieben: %1").arg(SystemErrorText(error));
            qWarning("Editor recovery %s: %s", m_copyPath.constData(), qUtf8Printable(message));
            emit WriteFailed(message);
        },
        Qt::QueuedConnection);
}
