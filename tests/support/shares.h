#pragma once

// A real Samba server for the tests: smbd on 127.0.0.1 only, on a port of its
// own, serving one share from a temporary folder to a user with a password;
// and a private D-Bus session in which GIO mounts that share through gvfs.
// Every process either starts is stopped by its id when it goes. An empty
// why() means it runs; otherwise why() says what is missing.

#include <sys/types.h>
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace tarnwell::test {

class SambaServer {
public:
    SambaServer();
    ~SambaServer();
    const QString& why() const { return why_; }
    QString shareFolder() const { return dir_.path() + QStringLiteral("/share"); }
    QString config() const { return dir_.path() + QStringLiteral("/smb.conf"); }
    int port() const { return port_; }
    // smbclient on the share: `command` is its -c text; its output, or
    // nothing when it failed.
    std::optional<QByteArray> client(const QString& command) const;
    // The attribute word smbclient reports for a file of the share; ~0 when
    // it cannot tell.
    unsigned attributes(const QString& name) const;

private:
    QString start();
    QTemporaryDir dir_{QStringLiteral("/var/tmp/tarnwell-smb-XXXXXX")};
    QProcess smbd_;
    int port_ = 0;
    QString why_;
};

class GioSession {
public:
    // Mounts the server's share through GIO; this process then talks to the
    // session too (its environment is set to it).
    explicit GioSession(const SambaServer& server);
    ~GioSession();
    const QString& why() const { return why_; }
    // The share as the desktop's FUSE mount shows it.
    const QString& mountedShare() const { return mounted_; }

private:
    QString start(const SambaServer& server);
    QString runtimeDir() const { return dir_.path() + QStringLiteral("/run"); }
    QTemporaryDir dir_{QStringLiteral("/var/tmp/tarnwell-gio-XXXXXX")};
    QProcess bus_;
    QString uri_, mounted_, why_;
};

}  // namespace tarnwell::test
