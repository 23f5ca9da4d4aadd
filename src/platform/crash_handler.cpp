#include "platform/crash_handler.h"

#include <QFile>
#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace fernhold {

namespace {

// Filled once before the handlers are installed; read only inside them.
char g_reportPath[4096];
char g_head[8192];
char g_identity[512];
char g_tail[2048];

void copyInto(char* target, std::size_t size, const QByteArray& text)
{
    const std::size_t n = std::min(size - 1, static_cast<std::size_t>(text.size()));
    std::memcpy(target, text.constData(), n);
    target[n] = '\0';
}

void writeText(int fd, const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(fd, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

void writeNumber(int fd, int value)
{
    char digits[16];
    int i = sizeof(digits) - 1;
    digits[i] = '\0';
    const bool negative = value < 0;
    unsigned int v =
        negative ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        digits[--i] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && i > 1);
    if (negative) {
        digits[--i] = '-';
    }
    writeText(fd, digits + i);
}

const char* describe(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "Segmentation fault (SIGSEGV)";
    case SIGBUS:
        return "Bus error (SIGBUS)";
    case SIGFPE:
        return "Arithmetic error (SIGFPE)";
    case SIGILL:
        return "Illegal instruction (SIGILL)";
    case SIGABRT:
        return "Aborted (SIGABRT)";
    default:
        return "Fatal signal";
    }
}

void writeReport(int fd, int signal, void* const* frames, int frameCount, bool withTail)
{
    writeText(fd, g_head);
    writeText(fd, describe(signal));
    writeText(fd, ", ");
    writeNumber(fd, signal);
    writeText(fd, "\r\n");
    writeText(fd, g_identity);
    writeText(fd, "\r\n");
    backtrace_symbols_fd(frames, frameCount, fd);
    if (withTail) {
        writeText(fd, "\r\n\r\n");
        writeText(fd, g_tail);
        writeText(fd, "\r\n");
    }
}

void onFatalSignal(int signal)
{
    void* frames[64];
    const int frameCount = backtrace(frames, 64);
    const int fd =
        ::open(g_reportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        writeReport(fd, signal, frames, frameCount, false);
        ::close(fd);
    }
    writeReport(STDERR_FILENO, signal, frames, frameCount, true);
    ::_exit(1);
}

} // namespace

void InstallCrashHandler(const QString& reportPath, const QByteArray& head,
                         const QByteArray& identity, const QByteArray& tail)
{
    copyInto(g_reportPath, sizeof(g_reportPath), QFile::encodeName(reportPath));
    copyInto(g_head, sizeof(g_head), head);
    copyInto(g_identity, sizeof(g_identity), identity);
    copyInto(g_tail, sizeof(g_tail), tail);
    // Load the unwinder now: backtrace() may allocate the first time it runs.
    void* warmUp[1];
    (void)backtrace(warmUp, 1);
    struct sigaction action
    {
    };
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        sigaction(signal, &action, nullptr);
    }
}

} // namespace fernhold
