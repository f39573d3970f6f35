#include "LargeBlocks.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void KeepLargeBlocksApart()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}
