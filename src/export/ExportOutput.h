#pragma once

#include "ExportControl.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QFile>

#include <string>
#include <string_view>

// Where a writer puts its bytes: a file being replaced or an open descriptor (standard
// output), in pieces of about 1 MiB so an export of millions of rows takes no more
// memory than a few rows, or one array in memory (the builders that tests use).
class ExportOutput
{
public:
    explicit ExportOutput(SafeFile::Replacement &file) : m_file(&file) { }
    explicit ExportOutput(QByteArray &memory) : m_memory(&memory) { }
    // Writes to `fd`, which stays open; error() tells why a write failed.
    explicit ExportOutput(int fd) : m_fd(fd) { }
    ~ExportOutput() { flush(); }
    ExportOutput(const ExportOutput &) = delete;
    ExportOutput &operator=(const ExportOutput &) = delete;

    void put(std::string_view text) { m_chunk.append(text); }
    void put(char c) { m_chunk.push_back(c); }
    void put(const char *text) { m_chunk.append(text); }
    void put(const QByteArray &bytes) { m_chunk.append(bytes.constData(), std::size_t(bytes.size())); }

    // Called between rows: hands a full piece on. False once the file failed, so a
    // writer stops early instead of formatting rows nobody will read.
    bool rowDone()
    {
        if (m_chunk.size() < ChunkSize)
            return true;
        return flush();
    }

    bool flush()
    {
        bool ok = true;
        if (m_file) {
            ok = m_file->write(m_chunk);
        } else if (m_memory) {
            m_memory->append(m_chunk.data(), qsizetype(m_chunk.size()));
        } else if (m_error == 0) {
            m_error = SafeFile::writeAll(m_fd, m_chunk);
            ok = m_error == 0;
        } else {
            ok = false;
        }
        m_chunk.clear();
        return ok;
    }

    // Empty, or why the bytes did not all arrive.
    QString error() const
    {
        if (m_file)
            return m_file->error();
        return m_error == 0 ? QString() : SafeFile::reason(m_error);
    }

    // Has `write` fill a file beside `path` and renames it over `path` once complete
    // (SafeFile::Replacement), unless `control` asked to stop meanwhile. Returns an
    // empty text or the reason nothing was written.
    template <typename Write>
    static QString toFile(const QString &path, const ExportControl *control, Write &&write)
    {
        SafeFile::Replacement file(QFile::encodeName(path), StopFlagOf(control));
        {
            ExportOutput out(file);
            write(out);
        }
        return file.commit();
    }

private:
    // As large as the replacement's own buffer, so full pieces go to the file uncopied.
    static constexpr std::size_t ChunkSize = std::size_t(1) << 20;
    SafeFile::Replacement *m_file = nullptr;
    QByteArray *m_memory = nullptr;
    int m_fd = -1;
    int m_error = 0;
    std::string m_chunk;
};
