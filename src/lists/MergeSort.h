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

template <typename T, typename Compare>
void MergeSort(std::vector<T> &items, Compare compare)
{
    if (items.size() < 2)
        return;
    std::vector<T> buffer(items.size());
    MergeSort(items.data(), items.size(), buffer.data(), compare);
}
