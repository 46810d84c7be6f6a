#include "volumes/output_folder.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int dir_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

QString errno_text(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

output_folder_c::output_folder_c(const QString& root, const QString& dir)
    : path_(dir.isEmpty() ? root : root + QLatin1Char('/') + dir)
{
    int fd = ::open(QFile::encodeName(root).constData(), dir_flags);
    if (fd < 0) {
        error_ = QStringLiteral("the folder %1 cannot be opened: %2").arg(root, errno_text(errno));
        return;
    }
    QString walked = root;
    for (const QString& part : dir.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(part);
        // mkdirat never follows a link in its last component: a link there gives EEXIST, and
        // the open below refuses it.
        if (::mkdirat(fd, name.constData(), 0777) != 0 && errno != EEXIST) {
            error_ = QStringLiteral("the folder %1 cannot be made: %2").arg(walked, errno_text(errno));
            ::close(fd);
            return;
        }
        const int next = ::openat(fd, name.constData(), dir_flags | O_NOFOLLOW);
        const int why = errno;
        struct stat st {};
        const bool link =
            next < 0 && ::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        ::close(fd);
        if (next < 0) {
            error_ = link ? QStringLiteral("%1 is a symbolic link; nothing is written through it").arg(walked)
                          : QStringLiteral("%1 cannot be used as a folder: %2").arg(walked, errno_text(why));
            return;
        }
        fd = next;
    }
    fd_ = fd;
}

output_folder_c::~output_folder_c()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool output_folder_c::holds(const QString& name) const
{
    struct stat st {};
    return ::fstatat(fd_, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

QString output_folder_c::create_hidden(const QString& prefix)
{
    for (int n = 0; n < 10000; ++n) {
        const QString name = prefix + QString::number(n);
        const int fd = ::openat(fd_, QFile::encodeName(name).constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) {
            error_ = QStringLiteral("no file can be made in %1: %2").arg(path_, errno_text(errno));
            return {};
        }
    }
    error_ = QStringLiteral("no free temporary name is left in %1").arg(path_);
    return {};
}

int output_folder_c::rename_new(const QString& from, const QString& to)
{
    return ::renameat2(fd_, QFile::encodeName(from).constData(), fd_, QFile::encodeName(to).constData(),
                       RENAME_NOREPLACE) == 0
               ? 0
               : errno;
}

void output_folder_c::remove(const QString& name)
{
    ::unlinkat(fd_, QFile::encodeName(name).constData(), 0);
}
