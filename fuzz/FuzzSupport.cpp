#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sanitizer/common_interface_defs.h>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

void dropMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
        std::abort();
    }
}

QTemporaryDir* scratchDir = nullptr;

// The scratch folder lives in memory: it goes also when a finding ends the run.
void removeScratch()
{
    if (scratchDir)
        QDir(scratchDir->path()).removeRecursively();
}

}  // namespace

void initialise(void (*writeSeeds)(const QString& folder))
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())  // a target with widgets makes its own application first
        new QCoreApplication(argc, argv);
    qInstallMessageHandler(dropMessage);
    // In memory where there is such a folder: every input is written to a file.
    const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    scratchDir = new QTemporaryDir(base + QStringLiteral("/varn-fuzz-XXXXXX"));
    if (!scratchDir->isValid()) {
        std::fprintf(stderr, "no scratch folder\n");
        std::exit(1);
    }
    std::atexit([] {
        delete scratchDir;
        scratchDir = nullptr;
    });
    __sanitizer_set_death_callback(removeScratch);
    const QByteArray seeds = qgetenv("FUZZ_WRITE_SEEDS");
    if (!seeds.isEmpty()) {
        const QString folder = QString::fromLocal8Bit(seeds);
        QDir().mkpath(folder);
        writeSeeds(folder);
        std::exit(0);
    }
}

QString scratch()
{
    return scratchDir->path();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void writeSeed(const QString& folder, const QString& name, const QByteArray& bytes)
{
    if (!writeFile(folder + QLatin1Char('/') + name, bytes)) {
        std::fprintf(stderr, "cannot write seed %s\n", qPrintable(name));
        std::exit(1);
    }
}

void drainEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "property broken: %s (%s:%d)\n", condition, file, line);
    removeScratch();
    std::abort();
}

}  // namespace fuzz
