#pragma once

#include <QString>
#include <vector>

// The file an export is written to: a temporary file beside the target, buffered, which
// Commit flushes to the disk and renames over the target. Until then the target is
// untouched; a file that is destroyed uncommitted removes its temporary file. Errors are
// TError with a German message that names the file. One thread at a time.
class TExportFile {
public:
    explicit TExportFile(const QString& target);
    ~TExportFile();
    TExportFile(const TExportFile&) = delete;
    TExportFile& operator=(const TExportFile&) = delete;

    void Write(const char* data, size_t size);
    void Write(const QByteArray& data) { Write(data.constData(), size_t(data.size())); }
    // The buffer to append to directly; Flush when it grows past its size.
    std::vector<char>& Buffer() { return m_buffer; }
    // Whether it flushed.
    bool FlushIfFull() {
        if (m_buffer.size() < BufferSize)
            return false;
        Flush();
        return true;
    }
    void Flush();
    void Commit();
    const QString& Target() const { return m_target; }
    const QString& TemporaryName() const { return m_temporary; }

    static constexpr size_t BufferSize = 1 << 20;

private:
    [[noreturn]] void Fail(const QString& what, int error) const;

    QString m_target;
    QString m_temporary;
    int m_fd = -1;
    bool m_committed = false;
    std::vector<char> m_buffer;
};
