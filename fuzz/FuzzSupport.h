#pragma once
// Shared by every fuzz target: a core application, a scratch folder for readers that take
// a path, Qt's messages dropped (hostile input makes the readers warn all the time, and
// printing would only slow the run), and seeds written on request.

#include <QByteArray>
#include <QString>

namespace fuzz {

// Called from LLVMFuzzerInitialize. With FUZZ_WRITE_SEEDS=<folder> in the environment the
// target writes its seed inputs there through writeSeeds and exits.
void initialise(void (*writeSeeds)(const QString& folder));

// A folder of this process, emptied of nothing: targets overwrite their own files.
QString scratch();
bool writeFile(const QString& path, const QByteArray& bytes);
void writeSeed(const QString& folder, const QString& name, const QByteArray& bytes);

// Delivers what the readers posted to the event loop, so nothing piles up between inputs.
void drainEvents();

[[noreturn]] void fail(const char* condition, const char* file, int line);

}  // namespace fuzz

// A property that must hold for every input; a broken one is a finding like a crash.
#define FUZZ_CHECK(condition)                                   \
    do {                                                        \
        if (!(condition))                                       \
            fuzz::fail(#condition, __FILE__, __LINE__);         \
    } while (0)
