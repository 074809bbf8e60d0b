#include "export/ExportFile.h"

#include "settings/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString ReasonText(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Kein Platz mehr auf dem Datenträger");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Keine Berechtigung");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Der Ordner existiert nicht (mehr)");
    case EISDIR:
        return QStringLiteral("Der Name gehört einem Ordner");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

TExportFile::TExportFile(const QString& target) : m_target(QFileInfo(target).absoluteFilePath()) {
    m_buffer.reserve(BufferSize + (64 << 10));
    const QFileInfo info(m_target);
    if (info.isDir())
        Fail(QStringLiteral("Die Datei %1 kann nicht geschrieben werden").arg(Native(m_target)), EISDIR);
    // Beside the target, so that the rename stays on one file system; hidden from listings.
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                      QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        m_fd = ::open(QFile::encodeName(m_temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && (errno != EEXIST || attempt > 20))
            Fail(QStringLiteral("Die Datei %1 kann nicht angelegt werden").arg(Native(m_target)), errno);
    }
}

TExportFile::~TExportFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temporary.isEmpty())
        ::unlink(QFile::encodeName(m_temporary).constData());
}

void TExportFile::Write(const char* data, size_t size) {
    m_buffer.insert(m_buffer.end(), data, data + size);
    FlushIfFull();
}

void TExportFile::Flush() {
    const char* p = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(QStringLiteral("Die Datei %1 kann nicht geschrieben werden").arg(Native(m_target)),
                 n < 0 ? errno : ENOSPC);
        p += n;
        left -= size_t(n);
    }
    m_buffer.clear();
}

void TExportFile::Commit() {
    Flush();
    if (::fsync(m_fd) != 0)
        Fail(QStringLiteral("Die Datei %1 kann nicht geschrieben werden").arg(Native(m_target)), errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        Fail(QStringLiteral("Die Datei %1 kann nicht geschrieben werden").arg(Native(m_target)), errno);
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0)
        Fail(QStringLiteral("Die Datei %1 kann nicht ersetzt werden").arg(Native(m_target)), errno);
    m_committed = true;
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void TExportFile::Fail(const QString& what, int error) const {
    throw TError(what + QStringLiteral(": ") + ReasonText(error));
}
