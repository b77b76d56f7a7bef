#pragma once

#include "OperatorMessages.h"
#include "PointParam.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <csignal>
#include <sys/resource.h>

// Project files and task records for the project tests.

inline QJsonObject projectAbout(qint64 id = 231208153012, const QString& name = QStringLiteral("Survey"))
{
    return QJsonObject{{"ProjectID", double(id)},
                       {"ProjectName", name},
                       {"ProjectAddress", QStringLiteral("河谷")},
                       {"OperatorName", QStringLiteral("Op")},
                       {"AppBuild", QStringLiteral("231208")},
                       {"Instrument", QStringLiteral("Varn28")},
                       {"DataNum", 0}};
}

// An entry as the program writes it; rates[k-1] > 0 gives key SampleRate<k>.
inline QJsonObject pointEntry(int id, int line, int point, const QList<int>& rates, int chSelect = 27,
                              int chMatch = 105)
{
    QJsonObject entry{{"ID", id}, {"Line", line}, {"Point", point}, {"CHSelect", chSelect}, {"CHMatch", chMatch}};
    for (int k = 1; k <= rates.size(); ++k)
        if (rates[k - 1] > 0)
            entry.insert(QStringLiteral("SampleRate%1").arg(k), rates[k - 1]);
    return entry;
}

inline QByteArray projectText(const QJsonArray& data, const QJsonObject& about = projectAbout())
{
    return QJsonDocument(QJsonObject{{"About", about}, {"Data", data}}).toJson(QJsonDocument::Indented);
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline QJsonObject readProject(const QString& path)
{
    return QJsonDocument::fromJson(readBytes(path)).object();
}

inline QJsonObject entryOf(const QString& path, int id)
{
    for (const QJsonValue& value : readProject(path).value("Data").toArray())
        if (value.toObject().value("ID").toInt() == id)
            return value.toObject();
    return QJsonObject();
}

// The project folder layout: dir/name/name.json with the given data.
inline QString makeProject(const QString& dir, const QJsonArray& data, const QString& name = QStringLiteral("Survey"))
{
    QDir(dir).mkpath(name);
    const QString path = dir + "/" + name + "/" + name + ".json";
    writeBytes(path, projectText(data, projectAbout(231208153012, name)));
    return path;
}

// Empty placeholder files standing for recorded channel files.
inline void touchFiles(const QString& folder, const QStringList& names)
{
    QDir().mkpath(folder);
    for (const QString& name : names)
        writeBytes(folder + "/" + name, QByteArray("x"));
}

inline st_PointParam recording(int id, int line, int point, const QList<quint32>& rates)
{
    st_PointParam param = defaultPointParam();
    param.Pos.ProjectID = 231208153012;
    param.Pos.ID = id;
    param.Pos.Line = line;
    param.Pos.Point = point;
    param.GroupNum = quint8(rates.size());
    for (int j = 0; j < rates.size(); ++j)
        param.Group[j] = makeGroupParam(rates[j], 30, 1, 1);
    return param;
}

// Runs f while files may grow to 16 bytes only: writes fail (EFBIG) instead of raising SIGXFSZ.
template <typename F>
void withTinyFileLimit(F f)
{
    rlimit saved{}, limited{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limited = {16, saved.rlim_max};
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    f();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

// Collects snackbar messages while it lives.
class SnackbarCatcher
{
public:
    SnackbarCatcher()
    {
        setSnackbarReceiver([this](const QString& message) { messages << message; });
    }
    ~SnackbarCatcher() { setSnackbarReceiver(SnackbarReceiver()); }
    QStringList messages;
};
