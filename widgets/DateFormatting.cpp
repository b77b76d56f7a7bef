#include "DateFormatting.h"

#include <QCalendar>

void prepareDateFormatting()
{
    static const QCalendar gregorian;
    Q_UNUSED(gregorian);
}

namespace {

// Also as the program loads, before any thread runs: then code that formats dates without
// the call above, on the GUI thread, cannot meet a half-built calendar either.
[[maybe_unused]] const bool builtAtLoad = (prepareDateFormatting(), true);

} // namespace
