#pragma once

#include <cerrno>
#include <cstddef>
#include <sys/types.h>

// The system calls the scan is built on, in the forms all its threads share.

// One record of getdents64.
struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1]; // the name runs on to d_reclen
};

// Folder descriptors one scan holds at once, over all its threads. More saves
// reopening on the way back up; a single walk needs two (its top and the folder
// being read).
inline constexpr std::size_t MinDescriptorBudget = 2;
inline constexpr std::size_t MaxDescriptorBudget = 256;

inline bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

inline bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// Opens the folder `name` of the folder open at `dirFd`, never through a symbolic link.
int openFolderAt(int dirFd, const char *name);

// Opens the folder at `relativePath` below the folder open at `topFd` without
// following a symbolic link at any step, so a folder swapped for a link while the
// scan runs is not walked into.
int openFolderBelow(int topFd, const char *relativePath);

// Descriptors the process may still open: the numbers below the soft limit that are
// not taken (by Qt, by inherited descriptors), so the scan never counts on
// descriptors it cannot have.
std::size_t freeDescriptors();
