#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// Where a scan file's bytes come from, read in pieces: a file, a pipe, a function
// (tests make endless streams with one). read() returns how many bytes it put in
// `buffer`, 0 at the end only; a failure throws (std::system_error with the
// system's reason, ScanDataError for data that cannot be decoded).
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::size_t read(char *buffer, std::size_t size) = 0;
};

// Data that cannot be decoded (a broken gzip stream), at `offset` bytes of the
// decoded text.
class ScanDataError : public std::runtime_error
{
public:
    ScanDataError(std::uint64_t offset, const std::string &what)
        : std::runtime_error(what), offset(offset) { }
    std::uint64_t offset;
};

// An open descriptor, read as it is; it stays open.
class DescriptorSource : public ByteSource
{
public:
    explicit DescriptorSource(int fd) : m_fd(fd) { }
    std::size_t read(char *buffer, std::size_t size) override;

private:
    int m_fd;
};

// A function that fills the buffer as read() does.
class FunctionSource : public ByteSource
{
public:
    explicit FunctionSource(std::function<std::size_t(char *, std::size_t)> read)
        : m_read(std::move(read)) { }
    std::size_t read(char *buffer, std::size_t size) override { return m_read(buffer, size); }

private:
    std::function<std::size_t(char *, std::size_t)> m_read;
};

// The bytes of `raw`, decompressed when they are gzip data (one member or several one
// after the other, as `cat a.gz b.gz` makes), as they are otherwise: what begins with
// gzip's magic bytes is taken for gzip.
class GzipSource : public ByteSource
{
public:
    explicit GzipSource(ByteSource &raw);
    ~GzipSource() override;
    GzipSource(const GzipSource &) = delete;
    GzipSource &operator=(const GzipSource &) = delete;

    std::size_t read(char *buffer, std::size_t size) override;
    bool compressed() const { return m_mode == Mode::Gzip; }

private:
    enum class Mode {
        Unknown,
        Plain,
        Gzip
    };
    bool fill();

    ByteSource &m_raw;
    struct Inflater;
    std::unique_ptr<Inflater> m_inflater;
    std::unique_ptr<char[]> m_in;
    std::size_t m_inAt = 0;
    std::size_t m_inEnd = 0;
    bool m_rawEnded = false;
    Mode m_mode = Mode::Unknown;
    std::uint64_t m_produced = 0;
};
