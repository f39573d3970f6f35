// A signal that ends the program in the middle of a replacement removes the new file
// and leaves the old one as it was; the program still ends as the signal says.

#include "SafeFile.h"
#include "TemporaryFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(TemporaryFiles, ASignalRemovesTheFileBeingWrittenAndEndsTheProgramAsItWould)
{
    const struct
    {
        int signal;
        bool ignoredBefore; // as under nohup: the program goes on and finishes the file
    } cases[] = {
        {SIGINT, false},
        {SIGTERM, false},
        {SIGHUP, false},
        {SIGHUP, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::strsignal(c.signal) + std::string(c.ignoredBefore ? ", ignored before" : ""));
        QTemporaryDir dir;
        const QString target = dir.filePath(u"export.csv"_qs);
        {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old export");
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (c.ignoredBefore)
                std::signal(c.signal, SIG_IGN);
            TemporaryFiles::RemoveOnSignals();
            // Another file finished before keeps its place.
            if (!SafeFile::replace(QFile::encodeName(dir.filePath(u"done.csv"_qs)), "done").isEmpty())
                ::_exit(2);
            SafeFile::Replacement file(QFile::encodeName(target));
            if (!file.write(std::string_view("new export")) || !file.proceed())
                ::_exit(3);
            ::raise(c.signal);
            ::_exit(file.commit().isEmpty() ? 0 : 4);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (c.ignoredBefore) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_EQ(ReadFile(target), QByteArray("new export"));
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
            EXPECT_EQ(ReadFile(target), QByteArray("old export"));
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            (QStringList {u"done.csv"_qs, u"export.csv"_qs}));
    }
}
