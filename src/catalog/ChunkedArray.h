#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <vector>

// A growable array of trivially copyable elements kept in fixed-size chunks.
// Growing never copies what is stored, so the peak memory of a scan stays at
// what it holds (a doubling vector briefly needs three times its contents), and
// the pages of a chunk are touched only as elements are written.
template <typename T, unsigned ChunkBits>
class ChunkedArray
{
public:
    static constexpr std::size_t ChunkSize = std::size_t(1) << ChunkBits;

    std::size_t size() const { return m_size; }

    T &operator[](std::size_t i)
    {
        assert(i < m_size);
        return m_chunks[i >> ChunkBits][i & (ChunkSize - 1)];
    }
    const T &operator[](std::size_t i) const
    {
        assert(i < m_size);
        return m_chunks[i >> ChunkBits][i & (ChunkSize - 1)];
    }

    T &emplaceBack()
    {
        if ((m_size & (ChunkSize - 1)) == 0 && (m_size >> ChunkBits) == m_chunks.size())
            m_chunks.emplace_back(std::make_unique_for_overwrite<T[]>(ChunkSize));
        T &slot = m_chunks[m_size >> ChunkBits][m_size & (ChunkSize - 1)];
        ++m_size;
        slot = T();
        return slot;
    }

    // Makes room for `count` elements in all, so that emplaceBack allocates nothing
    // until the array holds that many: an edit that must not fail half-way
    // allocates first.
    void reserve(std::size_t count)
    {
        while (m_chunks.size() * ChunkSize < count)
            m_chunks.emplace_back(std::make_unique_for_overwrite<T[]>(ChunkSize));
    }

    // Keeps the first `size` elements and gives back the chunks past them.
    void shrink(std::size_t size)
    {
        assert(size <= m_size);
        m_size = size;
        m_chunks.resize((size + ChunkSize - 1) >> ChunkBits);
    }

    std::size_t memoryBytes() const { return m_chunks.size() * ChunkSize * sizeof(T); }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    std::size_t m_size = 0;
};
