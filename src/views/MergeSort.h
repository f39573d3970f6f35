#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

// Sorts `items` by `compare` (a negative result puts `a` before `b`), stable for
// results <= 0. The comparisons of the lists are not a strict weak order (equal
// numbers compare as -1), so every list is sorted by this merge sort, which ends and
// keeps every item whatever `compare` answers; never by std::sort.
template <typename T, typename Compare>
void MergeSort(std::vector<T> &items, Compare compare)
{
    const std::size_t n = items.size();
    if (n < 2)
        return;
    std::vector<T> buffer(n);
    std::vector<T> *from = &items;
    std::vector<T> *to = &buffer;
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                (*to)[k++] = compare((*from)[i], (*from)[j]) <= 0 ? std::move((*from)[i++]) : std::move((*from)[j++]);
            while (i < mid)
                (*to)[k++] = std::move((*from)[i++]);
            while (j < hi)
                (*to)[k++] = std::move((*from)[j++]);
        }
        std::swap(from, to);
    }
    if (from != &items)
        items = std::move(*from);
}
