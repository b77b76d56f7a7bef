#pragma once

#include <QByteArray>
#include <QString>

// Creates the file at path, which must not exist yet, and writes data into it. Every
// write and the close are checked; on failure the partial file is removed again and an
// existing file is never touched.
bool writeNewFile(const QString& path, const QByteArray& data);
