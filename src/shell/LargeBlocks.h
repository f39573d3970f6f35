#pragma once

// The window works in large passing blocks: a sort's keys, a list's rows, an
// export's rows, tens of megabytes each on a scan of millions of entries, freed when
// done. glibc serves blocks above a threshold straight from the system and gives
// them back when they are freed, but raises that threshold to the largest such block
// freed so far (up to 32 MiB); from then on blocks of that size come from the heap
// and leave holes there that the next, larger one cannot use, which stay resident.
// Holding the threshold at 1 MiB keeps every large block apart: a million-row list
// sorted after another costs its own keys, not theirs too. Call first thing in main.
void KeepLargeBlocksApart();
