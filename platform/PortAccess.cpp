#include "platform/PortAccess.h"

#include <QFile>
#include <QSet>
#include <cerrno>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quenta {

namespace {

QString userName(uid_t uid)
{
    const passwd *pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *gr = ::getgrgid(gid);
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
}

QString modeText(mode_t mode)
{
    QString text = S_ISCHR(mode) ? QStringLiteral("c") : S_ISDIR(mode) ? QStringLiteral("d")
        : S_ISBLK(mode)          ? QStringLiteral("b") : S_ISFIFO(mode) ? QStringLiteral("p")
        : S_ISSOCK(mode)         ? QStringLiteral("s") : QStringLiteral("-");
    const char marks[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(marks[bit]) : QLatin1Char('-');
    return text;
}

// The groups the group database gives the user now (a login would carry these).
bool listedIn(gid_t gid, const passwd *pw)
{
    if (!pw)
        return false;
    if (pw->pw_gid == gid)
        return true;
    int count = 32;
    std::vector<gid_t> groups;
    for (int tries = 0; tries < 4; ++tries) {
        groups.resize(size_t(count));
        const int asked = count;
        if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) >= 0) {
            groups.resize(size_t(count));
            break;
        }
        if (count <= asked) // no growth asked for: give up rather than loop
            return false;
    }
    for (const gid_t g : groups) {
        if (g == gid)
            return true;
    }
    return false;
}

bool sessionHas(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[size_t(i)] == gid)
            return true;
    }
    return false;
}

QString reportingProgram;
QSet<QString> reported;

} // namespace

std::optional<DeviceAccess> deviceAccess(const QString &device)
{
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return std::nullopt;
    DeviceAccess a;
    a.device = device;
    const uid_t uid = ::getuid();
    a.user = userName(uid);
    a.owner = userName(st.st_uid);
    a.group = groupName(st.st_gid);
    a.mode = modeText(st.st_mode);
    a.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    a.listedInGroup = listedIn(st.st_gid, ::getpwuid(uid));
    a.sessionHasGroup = sessionHas(st.st_gid);
    return a;
}

QString permissionAdvice(const DeviceAccess &a)
{
    if (a.groupMayUse && !a.sessionHasGroup && !a.listedInGroup)
        return QStringLiteral("no permission to open %1: user %2 is not in the group %3; add it with "
                              "\"sudo adduser %2 %3\", then log out and log in again")
            .arg(a.device, a.user, a.group);
    if (a.groupMayUse && !a.sessionHasGroup)
        return QStringLiteral("no permission to open %1: user %2 is in the group %3, but this login session "
                              "began before it was added; log out and log in again")
            .arg(a.device, a.user, a.group);
    return QStringLiteral("no permission to open %1: its permissions (%2, owner %3, group %4) do not let user %5 "
                          "read and write it")
        .arg(a.device, a.mode, a.owner, a.group, a.user);
}

void reportPortPermissions(const QString &program)
{
    reportingProgram = program;
}

void portPermissionRefused(const QString &device)
{
    if (reportingProgram.isEmpty())
        return;
    // A device another program holds is refused too; only a refusal by the file's permissions is ours to explain.
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0 || errno != EACCES)
        return;
    const std::optional<DeviceAccess> a = deviceAccess(device);
    if (!a)
        return;
    // The same reason and fix for another port (COM1 to COM4 at start-up) tells the user nothing new.
    DeviceAccess key = *a;
    key.device.clear();
    const QString advice = permissionAdvice(key);
    if (reported.contains(advice))
        return;
    reported.insert(advice);
    std::fprintf(stderr, "%s: %s\n", qPrintable(reportingProgram), qPrintable(permissionAdvice(*a)));
    std::fflush(stderr);
}

} // namespace quenta
