#pragma once

#include <QString>

// Free space of the volume that holds path, in whole GB rounded up; 100000 when the volume
// cannot be read. A call for the same path within 5 s of the last measurement returns the
// value measured then, so a burst of queued downloads looks at the disk once.
int freeDiskSpaceGB(const QString& path);

// Rounded up to whole GB: 1.5 GB counts as 2, 0.9 GB as 1.
int bytesToWholeGB(qint64 bytes);
