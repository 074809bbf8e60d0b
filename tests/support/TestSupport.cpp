#include "tests/support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <fcntl.h>
#include <linux/fs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestSupport {

QString PostgresConnectionString()
{
    return qEnvironmentVariable("TABULO_TEST_PG");
}

bool UnderCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

bool SetUnwritable(const QString& path, bool unwritable)
{
    const QByteArray native = QFile::encodeName(path);
    const bool folder = QFileInfo(path).isDir();
    // Root writes whatever the mode says; only the immutable flag stops it.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd >= 0) {
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = unwritable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
    }
    ::chmod(native.constData(), unwritable ? (folder ? 0555 : 0444) : (folder ? 0700 : 0600));
    if (!unwritable)
        return true;
    if (folder) {
        const QByteArray probe = native + "/.probe";
        const int created = ::open(probe.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (created < 0)
            return true;
        ::close(created);
        ::unlink(probe.constData());
        return false;
    }
    const int writable = ::open(native.constData(), O_WRONLY | O_CLOEXEC);
    if (writable < 0)
        return true;
    ::close(writable);
    return false;
}

TSilentServer::TSilentServer() {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(m_socket, 8) == 0 &&
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

TSilentServer::~TSilentServer() {
    if (m_socket >= 0)
        ::close(m_socket);
}

} // namespace TestSupport
