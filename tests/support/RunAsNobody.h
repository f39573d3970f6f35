#pragma once

#include <functional>

// Tests run as root, for whom every file is readable and writable. Checks of
// permissions run `body` in a child process that has dropped root to the user
// "nobody" and return its exit status, or -1 when privileges cannot be dropped
// here. An ordinary user runs `body` in place: permissions already apply.
int RunAsNobody(const std::function<int()> &body);
