#include "support/shares.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <optional>

#include "support/trees.h"

namespace tarnwell::test {

namespace {

const QString kPassword = QStringLiteral("tarnwell-test");

QString program(const QString& name) {
    return QStandardPaths::findExecutable(
        name, {"/usr/sbin", "/usr/bin", "/sbin", "/usr/libexec", "/usr/lib/gvfs"});
}

// A port of 127.0.0.1 bound (port 0: one nobody listens on now, as parallel
// tests and a host smbd keep theirs) or connected to; 0 when that failed.
int loopback(int port, bool connect) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    auto* address = reinterpret_cast<sockaddr*>(&a);
    const bool ok =
        connect ? ::connect(s, address, length) == 0
                : ::bind(s, address, length) == 0 && ::getsockname(s, address, &length) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
}

// A process group of its own, so that whatever it starts can be stopped with
// it by its id; smbd makes one itself.
void ownGroup(QProcess& p) {
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
}

// Stops the group `leader` leads, and waits for the leader.
void stopGroup(QProcess& leader) {
    if (leader.state() == QProcess::NotRunning)
        return;
    const pid_t group = pid_t(leader.processId());
    ::kill(-group, SIGTERM);
    if (!leader.waitForFinished(5000)) {
        ::kill(-group, SIGKILL);
        leader.waitForFinished(5000);
    }
    ::kill(-group, SIGKILL);  // what the group still holds goes too
}

QByteArray run(const QString& name, const QStringList& args, const QByteArray& input = {},
               int* exitCode = nullptr) {
    QProcess p;
    ownGroup(p);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program(name), args);
    p.write(input);
    p.closeWriteChannel();
    const bool done = p.waitForFinished(60000);
    if (!done)
        stopGroup(p);
    if (exitCode)
        *exitCode = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAll();
}

}  // namespace

SambaServer::SambaServer() : why_(start()) {}

QString SambaServer::start() {
    if (::geteuid() != 0)
        return QStringLiteral("smbd and smbpasswd are run as root");
    for (const char* p : {"smbd", "smbpasswd", "smbclient", "testparm"})
        if (program(QString::fromLatin1(p)).isEmpty())
            return QStringLiteral("%1 is missing (Debian samba, smbclient)").arg(p);
    const QString d = dir_.path();
    for (const char* sub : {"share", "private", "lock", "state", "cache", "pid", "ncalrpc"})
        QDir().mkpath(d + '/' + QLatin1String(sub));
    port_ = loopback(0, false);
    writeFile(QFile::encodeName(config()),
              QStringLiteral("[global]\n"
                             "interfaces = lo\nbind interfaces only = yes\nsmb ports = %2\n"
                             "private dir = %1/private\nlock directory = %1/lock\n"
                             "state directory = %1/state\ncache directory = %1/cache\n"
                             "pid directory = %1/pid\nncalrpc dir = %1/ncalrpc\n"
                             "log file = %1/log.%m\nusershare path = %1/usershares\n"
                             "load printers = no\nprinting = bsd\nprintcap name = /dev/null\n"
                             "disable spoolss = yes\nserver role = standalone server\n"
                             "[share]\npath = %1/share\nread only = no\n")
                  .arg(d)
                  .arg(port_)
                  .toUtf8());
    int code = 0;
    const QByteArray pw = (kPassword + '\n' + kPassword + '\n').toUtf8();
    const QByteArray out = run("smbpasswd", {"-c", config(), "-a", "-s", "root"}, pw, &code);
    if (code != 0)
        return QStringLiteral("smbpasswd: ") + QString::fromLocal8Bit(out);
    smbd_.setStandardOutputFile(d + QStringLiteral("/smbd.out"));
    smbd_.setProcessChannelMode(QProcess::MergedChannels);
    smbd_.start(program("smbd"), {"--foreground", "--debug-stdout", "-s", config()});
    const auto answers = [&] { return loopback(port_, true) != 0; };
    const bool up =
        QTest::qWaitFor([&] { return smbd_.state() == QProcess::NotRunning || answers(); }, 20000);
    return up && answers() ? QString() : QStringLiteral("smbd did not start on port %1").arg(port_);
}

SambaServer::~SambaServer() {
    stopGroup(smbd_);
}

std::optional<QByteArray> SambaServer::client(const QString& command) const {
    // A fresh smbd on a loaded machine (the sanitizer's stage runs three
    // suites at once) has been seen to drop the first session it answers;
    // what the tests ask of it may be asked again.
    for (int attempt = 1;; ++attempt) {
        int code = 0;
        const QByteArray out = run("smbclient",
                                   {"//127.0.0.1/share", "-p", QString::number(port_), "-U",
                                    "root%" + kPassword, "-c", command},
                                   {}, &code);
        if (code == 0)
            return out;
        if (attempt == 3)
            return std::nullopt;
        QTest::qWait(500);
    }
}

unsigned SambaServer::attributes(const QString& name) const {
    // "attributes: HA (22)", the word in hex.
    const auto m = QRegularExpression(QStringLiteral("attributes:[^(\\n]*\\(([0-9a-fA-F]+)\\)"))
                       .match(QString::fromUtf8(
                           client(QStringLiteral("allinfo \"%1\"").arg(name)).value_or("")));
    bool ok = false;
    const unsigned word = m.captured(1).toUInt(&ok, 16);
    return ok ? word : ~0u;
}

GioSession::GioSession(const SambaServer& server) : why_(start(server)) {}

QString GioSession::start(const SambaServer& server) {
    if (!server.why().isEmpty())
        return server.why();
    const QString packages = "dbus, libglib2.0-bin, gvfs-backends, gvfs-fuse";
    for (const char* p : {"dbus-daemon", "gio", "gvfsd", "gvfsd-fuse", "gvfsd-smb"})
        if (program(QString::fromLatin1(p)).isEmpty())
            return QStringLiteral("%1 is missing (Debian %2)").arg(p, packages);
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return QStringLiteral("FUSE is not available here");
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The session's services, gvfsd among them, take the bus's environment;
    // this process takes the same, before GIO first looks.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
    qputenv("GVFS_REMOTE_VOLUME_MONITOR_IGNORE", "1");
    ownGroup(bus_);
    bus_.start(program("dbus-daemon"),
               {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    const bool addressed = QTest::qWaitFor([&] { return bus_.canReadLine(); }, 10000);
    const QByteArray address = bus_.readLine().trimmed();
    if (!addressed || address.isEmpty())
        return QStringLiteral("dbus-daemon gave no address");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    uri_ = QStringLiteral("smb://root@127.0.0.1:%1/share").arg(server.port());
    int code = 0;
    const QByteArray out = run("gio", {"mount", uri_}, ('\n' + kPassword + '\n').toUtf8(), &code);
    const QString mounted =
        runtimeDir() + QString("/gvfs/smb-share:port=%1,server=127.0.0.1,share=share,user=root")
                           .arg(server.port());
    if (code != 0 || !QTest::qWaitFor([&] { return QFileInfo::exists(mounted); }, 10000))
        return QStringLiteral("gio mount: ") + QString::fromLocal8Bit(out);
    mounted_ = mounted;
    return {};
}

GioSession::~GioSession() {
    if (!mounted_.isEmpty())
        run("gio", {"mount", "-u", uri_});
    // The FUSE server unmounts as it ends; one that could not is undone here.
    const QString fuse = runtimeDir() + QStringLiteral("/gvfs");
    if (QProcess::execute("mountpoint", {"-q", fuse}) == 0)
        QProcess::execute("umount", {"-l", fuse});
    // What the bus started (gvfsd, its FUSE server and backends) is of its
    // group, and goes with it.
    stopGroup(bus_);
}

}  // namespace tarnwell::test
