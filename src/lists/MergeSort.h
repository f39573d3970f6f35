#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

// Sorts the `count` items at `items` by `compare` (a negative result puts `a`
// before `b`), stable for results <= 0, using `buffer` (room for `count` items) as
// scratch. The comparisons of the lists are not a strict weak order (equal numbers
// compare as -1), so every list is sorted by this merge sort, which ends and keeps
// every item whatever `compare` answers; never by std::sort.
template <typename T, typename Compare>
void MergeSort(T *items, std::size_t count, T *buffer, Compare &&compare)
{
    if (count < 2)
        return;
    T *from = items;
    T *to = buffer;
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t lo = 0; lo < count; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, count);
            const std::size_t hi = std::min(lo + 2 * width, count);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                to[k++] = compare(from[i], from[j]) <= 0 ? std::move(from[i++]) : std::move(from[j++]);
            while (i < mid)
                to[k++] = std::move(from[i++]);
            while (j < hi)
                to[k++] = std::move(from[j++]);
        }
        std::swap(from, to);
    }
    if (from != items)
        std::move(from, from + count, items);
}

// The same sort with scratch room for half of the items, for lists of millions of
// rows: the same runs are merged, in place, the shorter of the two set aside (the
// left one merged from the front, a shorter right one from the back). The order is
// the one above wherever `compare` is transitive or answers 1 for every pair of a
// group, as every comparison of the lists does; it ends and keeps every item always.
template <typename T, typename Compare>
void MergeSort(std::vector<T> &items, Compare compare)
{
    const std::size_t count = items.size();
    if (count < 2)
        return;
    std::vector<T> buffer((count + 1) / 2);
    T *const a = items.data();
    T *const b = buffer.data();
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t lo = 0; lo + width < count; lo += 2 * width) {
            const std::size_t mid = lo + width;
            const std::size_t hi = std::min(lo + 2 * width, count);
            if (hi - mid == width) {
                std::move(a + lo, a + mid, b);
                std::size_t i = 0, j = mid, k = lo;
                while (i < width && j < hi)
                    a[k++] = compare(b[i], a[j]) <= 0 ? std::move(b[i++]) : std::move(a[j++]);
                std::move(b + i, b + width, a + k);
            } else {
                const std::size_t rest = hi - mid;
                std::move(a + mid, a + hi, b);
                std::size_t i = mid, j = rest, k = hi;
                while (i > lo && j > 0)
                    a[--k] = compare(a[i - 1], b[j - 1]) <= 0 ? std::move(b[--j]) : std::move(a[--i]);
                std::move(b, b + j, a + lo);
            }
        }
    }
}
