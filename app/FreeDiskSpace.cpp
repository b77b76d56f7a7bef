#include "FreeDiskSpace.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QStorageInfo>

int bytesToWholeGB(qint64 bytes)
{
    const qint64 gb = qint64(1) << 30;
    return int((bytes + gb - 1) / gb);
}

int freeDiskSpaceGB(const QString& path)
{
    static QMutex lock;
    static QString lastPath;
    static int lastValue = 0;
    static QElapsedTimer lastTime;
    QMutexLocker locker(&lock);
    if (lastTime.isValid() && lastPath == path && lastTime.elapsed() < 5000)
        return lastValue;

    // The folder itself, not a drive letter: the volume is whatever the folder lies on.
    const QStorageInfo storage(path);
    lastValue = storage.isValid() && storage.isReady() ? bytesToWholeGB(storage.bytesAvailable()) : 100000;
    lastPath = path;
    lastTime.start();
    return lastValue;
}
