#include "ui/display_check.h"

#include <QByteArray>
#include <QList>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fernhold {

namespace {

// A local X display ":N" answers on its socket; a remote one ("host:N") is
// taken on trust.
bool xDisplayAnswers(const QByteArray& display)
{
    if (display.isEmpty()) {
        return false;
    }
    if (!display.startsWith(':')) {
        return true;
    }
    const QByteArray number = display.mid(1).split('.').value(0);
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return answered;
}

} // namespace

bool DisplayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(';').value(0);
    if (platform.startsWith("wayland")) {
        return !qgetenv("WAYLAND_DISPLAY").isEmpty();
    }
    if (!platform.isEmpty() && platform != "xcb") {
        return true; // offscreen, vnc and the like need no display server
    }
    if (platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()) {
        return true;
    }
    return xDisplayAnswers(qgetenv("DISPLAY"));
}

} // namespace fernhold
