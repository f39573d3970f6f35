#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Append-only storage for short byte strings (file names), in 1 MiB chunks. A
// string never straddles two chunks; its offset stays valid for the arena's life.
class ByteArena
{
public:
    static constexpr unsigned ChunkBits = 20;
    static constexpr std::size_t ChunkSize = std::size_t(1) << ChunkBits;

    // Stores `length` bytes (at most ChunkSize) and returns their offset.
    std::uint64_t append(const char *data, std::size_t length)
    {
        if (m_chunks.empty() || m_used + length > ChunkSize) {
            m_chunks.emplace_back(std::make_unique_for_overwrite<char[]>(ChunkSize));
            m_used = 0;
        }
        const std::uint64_t offset = ((m_chunks.size() - 1) << ChunkBits) | m_used;
        std::memcpy(m_chunks.back().get() + m_used, data, length);
        m_used += length;
        return offset;
    }

    const char *data(std::uint64_t offset) const
    {
        return m_chunks[offset >> ChunkBits].get() + (offset & (ChunkSize - 1));
    }

    std::size_t memoryBytes() const { return m_chunks.size() * ChunkSize; }

private:
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::size_t m_used = 0;
};
