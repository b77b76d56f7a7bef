#pragma once

#include <QByteArray>
#include <QString>

enum class SafeWriteResult {
    Written,            // path holds data
    TempFileFailed,     // the temporary file could not be created; path untouched
    WriteFailed,        // writing, flushing or syncing the temporary file failed; path untouched
    ReplaceFailed       // the rename over path failed; path untouched
};

// Replaces the file at path by data so that path always holds either the old or the
// new content whole, even when the process dies halfway: the data goes to tempPath
// (path + ".tmp"), every write is checked, the file is synced and then renamed over
// path in one step. On failure the temporary file is removed again.
SafeWriteResult writeFileSafely(const QString& path, const QByteArray& data);

QString safeWriteTempPath(const QString& path);
