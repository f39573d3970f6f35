#pragma once

#include <functional>

// Steps in between a scan's listing of a folder and its examination of an entry, the
// way other programs and slow devices do: while a hook is alive, every statx of the
// test program first calls it with the folder's descriptor and the entry's name
// (from whatever thread examines). The test program defines statx for this; nothing
// else changes. One hook at a time.
class ExaminationHook
{
public:
    using Step = std::function<void(int dirFd, const char *name)>;

    explicit ExaminationHook(Step step);
    ~ExaminationHook();
    ExaminationHook(const ExaminationHook &) = delete;
    ExaminationHook &operator=(const ExaminationHook &) = delete;
};
