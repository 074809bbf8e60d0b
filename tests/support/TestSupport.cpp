#include "tests/support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtGlobal>

#include <fcntl.h>
#include <linux/fs.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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

TStallingProxy::TStallingProxy(const QString& postgresConnectionString)
    : m_connectionString(postgresConnectionString) {
    m_target = QRegularExpression(QStringLiteral("Data Source=[^;:]*:(\\d+)"))
                   .match(postgresConnectionString)
                   .captured(1)
                   .toInt();
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(m_listen, 16) == 0 &&
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

TStallingProxy::~TStallingProxy() {
    m_stop = true;
    m_thread.join();
    for (const auto& [a, b] : m_pairs)
        if (a >= 0) {
            ::close(a);
            ::close(b);
        }
    ::close(m_listen);
}

QString TStallingProxy::ConnectionString() const {
    QString text = m_connectionString;
    return text.replace(QRegularExpression(QStringLiteral("Data Source=[^;]*")),
                        QStringLiteral("Data Source=127.0.0.1:%1").arg(m_port));
}

void TStallingProxy::Run() {
    std::vector<char> buffer(65536);
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
        std::vector<size_t> pairOf{0};
        if (!m_stalled)
            for (size_t p = 0; p < m_pairs.size(); ++p)
                if (m_pairs[p].first >= 0) {
                    fds.push_back({m_pairs[p].first, POLLIN, 0});
                    fds.push_back({m_pairs[p].second, POLLIN, 0});
                    pairOf.push_back(p);
                    pairOf.push_back(p);
                }
        if (::poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(quint16(m_target));
            if (client >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                m_pairs.emplace_back(client, server);
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            auto& pair = m_pairs[pairOf[i]];
            if (pair.first < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const int to = fds[i].fd == pair.first ? pair.second : pair.first;
            const ssize_t n = ::recv(fds[i].fd, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                [[maybe_unused]] const ssize_t sent = ::send(to, buffer.data(), size_t(n), MSG_NOSIGNAL);
                continue;
            }
            // One side ended: so does the other.
            ::close(pair.first);
            ::close(pair.second);
            pair = {-1, -1};
        }
    }
}

} // namespace TestSupport
