#pragma once

#include <QByteArray>

#include <csignal>

// The files being written beside their targets at this moment (SafeFile::Replacement),
// kept where a signal handler can reach them. An export of millions of rows writes
// hundreds of megabytes before it renames them over the target; Ctrl+C, a `kill` or
// the end of a session would otherwise leave them behind. A handler may only use
// what is ready beforehand, so the paths wait in fixed slots as C strings, each slot
// guarded by an atomic state.
namespace TemporaryFiles {

// Has SIGINT, SIGTERM and SIGHUP remove every file registered and then end the
// program as the signal itself would have (the same exit status). A signal the
// program ignores (a job started with nohup) stays ignored. Called once at start,
// before any file is written.
void RemoveOnSignals();

// Removes the files straight in a folder, then the folder; without allocating, so a
// signal handler or a destructor may call it.
void RemoveFolderAndFiles(const char *path) noexcept;

// A path in a slot, from hold() until release() or the end of the object, so that a
// signal removes the file meanwhile. A path that finds no free slot (more files at
// once than there are slots) is only removed by its writer, as before.
class Registration
{
public:
    Registration() = default;
    ~Registration() { release(); }
    Registration(const Registration &) = delete;
    Registration &operator=(const Registration &) = delete;

    void hold(const QByteArray &path);
    // The same for a folder of files that another library makes and removes in it:
    // a signal removes the files it holds and then the folder.
    void holdFolder(const QByteArray &path);
    // Takes the path out of its slot: call it once the file is renamed or removed.
    void release();

private:
    void take(const QByteArray &path, bool folder);

    int m_slot = -1;
};

// Holds the three signals back on the calling thread while it lives, for the moment
// between creating a file and registering it; one that arrives meanwhile is handled
// at the end, when the file can be found.
class SignalsHeld
{
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
    sigset_t m_before;
};

} // namespace TemporaryFiles
