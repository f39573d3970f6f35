#include "ByteSource.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t InputSize = std::size_t(1) << 18;

} // namespace

std::size_t DescriptorSource::read(char *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, size);
        if (got >= 0)
            return std::size_t(got);
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category());
    }
}

struct GzipSource::Inflater
{
    z_stream stream {};
    bool started = false;
    ~Inflater()
    {
        if (started)
            inflateEnd(&stream);
    }
};

GzipSource::GzipSource(ByteSource &raw)
    : m_raw(raw), m_inflater(std::make_unique<Inflater>()),
      m_in(std::make_unique_for_overwrite<char[]>(InputSize))
{ }

GzipSource::~GzipSource() = default;

// Reads more raw bytes behind those not yet used; false at the raw end.
bool GzipSource::fill()
{
    if (m_rawEnded)
        return false;
    if (m_inAt > 0) {
        std::memmove(m_in.get(), m_in.get() + m_inAt, m_inEnd - m_inAt);
        m_inEnd -= m_inAt;
        m_inAt = 0;
    }
    const std::size_t got = m_raw.read(m_in.get() + m_inEnd, InputSize - m_inEnd);
    if (got == 0)
        m_rawEnded = true;
    m_inEnd += got;
    return got > 0;
}

std::size_t GzipSource::read(char *buffer, std::size_t size)
{
    if (m_mode == Mode::Unknown) {
        while (m_inEnd < 2 && fill()) { }
        const bool magic = m_inEnd >= 2 && static_cast<unsigned char>(m_in[0]) == 0x1f
            && static_cast<unsigned char>(m_in[1]) == 0x8b;
        m_mode = magic ? Mode::Gzip : Mode::Plain;
    }
    if (m_mode == Mode::Plain) {
        if (m_inAt < m_inEnd) {
            const std::size_t n = std::min(size, m_inEnd - m_inAt);
            std::memcpy(buffer, m_in.get() + m_inAt, n);
            m_inAt += n;
            return n;
        }
        return m_raw.read(buffer, size);
    }

    z_stream &z = m_inflater->stream;
    for (;;) {
        if (!m_inflater->started) {
            // A member begins here, or the stream has ended (what follows a member
            // may only be another).
            if (m_inAt == m_inEnd && !fill())
                return 0;
            if (inflateInit2(&z, 15 + 16) != Z_OK)
                throw std::bad_alloc();
            m_inflater->started = true;
        }
        if (m_inAt == m_inEnd)
            fill();
        z.next_in = reinterpret_cast<Bytef *>(m_in.get() + m_inAt);
        z.avail_in = uInt(m_inEnd - m_inAt);
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = uInt(std::min<std::size_t>(size, 1u << 30));
        const int status = inflate(&z, Z_NO_FLUSH);
        m_inAt = m_inEnd - z.avail_in;
        const std::size_t made = std::size_t(reinterpret_cast<char *>(z.next_out) - buffer);
        m_produced += made;
        if (status == Z_STREAM_END) {
            inflateEnd(&z);
            m_inflater->started = false;
        } else if (status == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (made == 0 && m_rawEnded && m_inAt == m_inEnd
            && (status == Z_OK || status == Z_BUF_ERROR)) {
            throw ScanDataError(m_produced, "the gzip data ends before its end: the file is cut short");
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && made == 0)) {
            throw ScanDataError(
                m_produced, std::string("the gzip data is broken (") + (z.msg ? z.msg : "unreadable") + ")");
        }
        if (made > 0)
            return made;
    }
}
