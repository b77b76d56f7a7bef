// Writes project files through the project's safe write from a separate process, so
// that tests can limit its file size or kill it in the middle of a write.
//   project_write_child write <path> <size>   one write; exit 0 when it succeeded
//   project_write_child loop <path> <size>    writes two contents in turn until killed

#include "Form_Index.h"
#include "OperatorMessages.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonObject>

#include <cstdio>

static bool writeOnce(const QString& path, char fill, int size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    return Form_Index::writeProjectFile(file, QJsonObject{{"fill", QString(size, QLatin1Char(fill))}});
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    setSnackbarReceiver([](const QString& message) {
        std::printf("%s\n", message.toUtf8().constData());
        std::fflush(stdout);
    });
    const QString path = args.at(2);
    const int size = args.at(3).toInt();
    if (args.at(1) == QLatin1String("write"))
        return writeOnce(path, 'a', size) ? 0 : 1;
    if (args.at(1) != QLatin1String("loop"))
        return 2;
    std::printf("started\n");
    std::fflush(stdout);
    for (unsigned round = 0;; ++round)
        writeOnce(path, round % 2 ? 'b' : 'a', size);
}
