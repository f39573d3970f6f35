#pragma once

// libxlsxwriter reports a failure twice: in the error it returns, and in a line of its
// own on standard error ("[ERROR] workbook_close(): ..."), which no option turns off.
// While an object of this class lives, what its thread prints through `stderr` goes
// nowhere; other threads (the window's, while an export runs on its own thread) still
// print as before. Objects may live on several threads at once and nest.
class QuietStderr
{
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr &) = delete;
    QuietStderr &operator=(const QuietStderr &) = delete;
};
