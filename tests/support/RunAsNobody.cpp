#include "RunAsNobody.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

int RunAsNobody(const std::function<int()> &body)
{
    constexpr uid_t Nobody = 65534;
    constexpr int CannotDrop = 125;
    if (::geteuid() != 0)
        return body();
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
            ::_exit(CannotDrop);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == CannotDrop)
        return -1;
    return WEXITSTATUS(status);
}
