#include "soundservers.h"

#include <QByteArrayList>
#include <QDir>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QByteArray pipeWireSocket()
{
    QByteArray remote =
        qEnvironmentVariableIsEmpty("PIPEWIRE_REMOTE") ? QByteArray("pipewire-0") : qgetenv("PIPEWIRE_REMOTE");
    if (remote.startsWith('/')) {
        return remote;
    }
    const QByteArray folder = qEnvironmentVariableIsEmpty("PIPEWIRE_RUNTIME_DIR") ? qgetenv("XDG_RUNTIME_DIR")
                                                                                  : qgetenv("PIPEWIRE_RUNTIME_DIR");
    return folder.isEmpty() ? QByteArray() : folder + '/' + remote;
}

QByteArrayList pulseSockets()
{
    const QByteArrayList servers = qgetenv("PULSE_SERVER").simplified().split(' ');
    QByteArrayList sockets;
    if (!servers.first().isEmpty()) {
        // Entries read "unix:/path", "/path", "tcp:host" and so on, each maybe after "{machine id}".
        for (QByteArray server : servers) {
            server = server.mid(server.indexOf('}') + 1);
            if (server.startsWith("unix:")) {
                server = server.mid(5);
            }
            if (server.startsWith('/')) {
                sockets.append(server);
            }
        }
        return sockets;
    }
    if (!qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH")) {
        sockets.append(qgetenv("PULSE_RUNTIME_PATH") + "/native");
    } else if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        sockets.append(qgetenv("XDG_RUNTIME_DIR") + "/pulse/native");
    }
    sockets.append("/run/pulse/native"); // a server for the whole system
    return sockets;
}

bool isSocket(const QByteArray& path)
{
    struct stat status {};
    return !path.isEmpty() && ::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool accepts(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int connection = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connection < 0) {
        return false;
    }
    // A full backlog still means a live server, one that is busy.
    const bool accepted = ::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 ||
                          errno == EAGAIN || errno == EINPROGRESS;
    ::close(connection);
    return accepted;
}

bool hasAlsaPlayback()
{
    return !QDir(QStringLiteral("/dev/snd")).entryList({QStringLiteral("pcmC*D*p")}, QDir::System).isEmpty();
}

} // namespace

QByteArray soundOutputList()
{
    QByteArrayList outputs;
    if (isSocket(pipeWireSocket())) {
        outputs.append("pipewire");
    }
    outputs.append("pulse");
    if (hasAlsaPlayback()) {
        outputs.append("alsa");
    }
    return outputs.join(',');
}

bool soundServerAnswers()
{
    QByteArrayList sockets = pulseSockets();
    sockets.append(pipeWireSocket());
    for (const QByteArray& socket : sockets) {
        if (accepts(socket)) {
            return true;
        }
    }
    return false;
}
