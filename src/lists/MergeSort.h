#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

// Merges the sorted runs [first, middle) and [middle, last) in place, taking the
// items in the order a merge from the front takes them whatever `compare` answers, with
// scratch room for `room` items: the shorter run is set aside (a longer left run
// first moves to the end, so that the merge runs from the front). When both
// are longer than the room, each is cut in two where the other's middle item belongs
// and the halves are merged on their own (a rotation brings the middle pieces in
// place), which gives the same order only where `compare` is a strict weak order
// (compare(a, b) > 0 exactly when b comes strictly before a).
template <typename T, typename Compare>
void MergeRuns(T *first, T *middle, T *last, T *buffer, std::size_t room, Compare &compare)
{
    const auto len1 = std::size_t(middle - first), len2 = std::size_t(last - middle);
    if (len1 == 0 || len2 == 0)
        return;
    if (len1 <= len2 && len1 <= room) {
        std::move(first, middle, buffer);
        T *i = buffer, *const end = buffer + len1, *j = middle, *k = first;
        while (i < end && j < last)
            *k++ = compare(*i, *j) <= 0 ? std::move(*i++) : std::move(*j++);
        std::move(i, end, k);
    } else if (len2 <= room) {
        std::move(middle, last, buffer);
        std::move_backward(first, middle, last);
        T *i = first + len2, *j = buffer, *const end = buffer + len2, *k = first;
        while (i < last && j < end)
            *k++ = compare(*i, *j) <= 0 ? std::move(*i++) : std::move(*j++);
        std::move(j, end, k);
    } else {
        T *firstCut, *secondCut;
        if (len1 > len2) {
            firstCut = first + len1 / 2;
            secondCut =
                std::partition_point(middle, last, [&](const T &r) { return compare(*firstCut, r) > 0; });
        } else {
            secondCut = middle + len2 / 2;
            firstCut =
                std::partition_point(first, middle, [&](const T &l) { return compare(l, *secondCut) <= 0; });
        }
        T *const newMiddle = std::rotate(firstCut, middle, secondCut);
        MergeRuns(first, firstCut, newMiddle, buffer, room, compare);
        MergeRuns(newMiddle, secondCut, last, buffer, room, compare);
    }
}

// Sorts the `count` items at `items` by `compare` (a negative result puts `a`
// before `b`), stable for results <= 0, using `buffer` (room for half of the items,
// or more) as scratch. The comparisons of the lists are not a strict weak order
// (equal numbers compare as -1), so every list is sorted by this merge sort, which
// ends and keeps every item whatever `compare` answers; never by std::sort.
template <typename T, typename Compare>
void MergeSort(T *items, std::size_t count, T *buffer, Compare &&compare)
{
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t lo = 0; lo + width < count; lo += 2 * width)
            MergeRuns(items + lo, items + lo + width, items + std::min(lo + 2 * width, count), buffer,
                (count + 1) / 2, compare);
    }
}

// The same sort for lists of millions of rows, with scratch room for `room` items
// instead of all of them: in the same order for any `compare` with half of the items
// (the default), for a strict weak order with as few as one. A sort of keys of 24 bytes holds
// under 25 bytes a row with a thirty-second.
template <typename T, typename Compare>
void MergeSort(std::vector<T> &items, Compare compare, std::size_t room = 0)
{
    const std::size_t count = items.size();
    if (count < 2)
        return;
    const std::size_t half = (count + 1) / 2;
    room = room == 0 ? half : std::min(room, half);
    std::vector<T> buffer(room);
    T *const a = items.data();
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t lo = 0; lo + width < count; lo += 2 * width)
            MergeRuns(
                a + lo, a + lo + width, a + std::min(lo + 2 * width, count), buffer.data(), room, compare);
    }
}
