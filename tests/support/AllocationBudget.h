#pragma once

#include <cstddef>

// Runs the program out of memory on purpose: while a budget is alive, operator new
// throws std::bad_alloc for any allocation that does not fit what is left of it.
// The test program replaces the global operator new for this; nothing else changes.
class AllocationBudget
{
public:
    explicit AllocationBudget(std::size_t bytes);
    ~AllocationBudget();
    AllocationBudget(const AllocationBudget &) = delete;
    AllocationBudget &operator=(const AllocationBudget &) = delete;

    // Bytes handed out since the budget was made.
    std::size_t used() const;

private:
    std::size_t m_bytes;
};
