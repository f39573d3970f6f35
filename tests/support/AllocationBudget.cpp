#include "AllocationBudget.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> armed {false};
std::atomic<std::size_t> remaining {0};

void *allocate(std::size_t size)
{
    if (armed.load(std::memory_order_relaxed)) {
        std::size_t left = remaining.load(std::memory_order_relaxed);
        do {
            if (size > left)
                throw std::bad_alloc();
        } while (!remaining.compare_exchange_weak(left, left - size, std::memory_order_relaxed));
    }
    if (void *p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

} // namespace

AllocationBudget::AllocationBudget(std::size_t bytes) : m_bytes(bytes)
{
    remaining.store(bytes);
    armed.store(true);
}

AllocationBudget::~AllocationBudget()
{
    armed.store(false);
}

std::size_t AllocationBudget::used() const
{
    return m_bytes - remaining.load();
}

void *operator new(std::size_t size)
{
    return allocate(size);
}

void *operator new[](std::size_t size)
{
    return allocate(size);
}

// Qt asks for some of its memory without exceptions: its pieces go back through the
// same operator delete as the others, so they must come from here too.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}

void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete[](void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}
