#include "SafeFileWrite.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Makes the rename itself durable; the content is already in place if this fails.
void syncDirectory(const QString& dirPath)
{
    const int fd = ::open(QFile::encodeName(dirPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::fsync(fd) != 0)
        qWarning() << "writeFileSafely" << "directory sync failed" << dirPath << std::strerror(errno);
    ::close(fd);
}

bool writeAll(QFile& file, const QByteArray& data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return file.flush() && ::fsync(file.handle()) == 0;
}

}  // namespace

QString safeWriteTempPath(const QString& path)
{
    return path + QStringLiteral(".tmp");
}

SafeWriteResult writeFileSafely(const QString& path, const QByteArray& data)
{
    const QString tempPath = safeWriteTempPath(path);
    QFile temp(tempPath);
    if (!temp.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        qWarning() << "writeFileSafely" << "cannot create" << tempPath << temp.errorString();
        return SafeWriteResult::TempFileFailed;
    }
    const QFileInfo old(path);
    if (old.exists())
        temp.setPermissions(old.permissions());

    const bool written = writeAll(temp, data);
    temp.close();
    if (!written || temp.error() != QFileDevice::NoError) {
        qWarning() << "writeFileSafely" << "write failed" << tempPath << temp.errorString();
        QFile::remove(tempPath);
        return SafeWriteResult::WriteFailed;
    }

    // QFile::rename refuses an existing target; rename(2) replaces it atomically.
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(path).constData()) != 0) {
        qWarning() << "writeFileSafely" << "rename failed" << tempPath << path << std::strerror(errno);
        QFile::remove(tempPath);
        return SafeWriteResult::ReplaceFailed;
    }
    syncDirectory(QFileInfo(path).absolutePath());
    return SafeWriteResult::Written;
}
