#pragma once

#include <algorithm>
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
            if (m_spare.empty()) {
                m_chunks.emplace_back(std::make_unique_for_overwrite<char[]>(ChunkSize));
            } else {
                m_chunks.push_back(std::move(m_spare.back()));
                m_spare.pop_back();
            }
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

    // Makes room for strings of `bytes` bytes in all, none longer than
    // `longest`, so that appending them allocates nothing; returns the offset past
    // which none of them will end.
    std::uint64_t reserve(std::size_t bytes, std::size_t longest)
    {
        // A chunk leaves unused at its end less than the longest string.
        const std::size_t room = ChunkSize - std::min(longest, ChunkSize - 1);
        const std::size_t chunks = bytes == 0 ? 0 : (bytes + room - 1) / room + 1;
        m_chunks.reserve(m_chunks.size() + chunks);
        while (m_spare.size() < chunks)
            m_spare.emplace_back(std::make_unique_for_overwrite<char[]>(ChunkSize));
        return std::uint64_t(m_chunks.size() + chunks) << ChunkBits;
    }

    std::size_t memoryBytes() const { return (m_chunks.size() + m_spare.size()) * ChunkSize; }

private:
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::vector<std::unique_ptr<char[]>> m_spare; // made by reserve, taken before new ones
    std::size_t m_used = 0;
};
