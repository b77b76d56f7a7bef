#pragma once

#include <QString>
#include <QtGlobal>

// Process-wide Qt message handler: one line per message in "./log/log_yyMMdd.txt"
// (named by the start day), echoed to standard output. Info messages are dropped.
void installFileLogger();
void fileLogMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// The line without its line end, as written to the file; an empty string for Info.
QString formatLogLine(QtMsgType type, const QString& message, const QString& timeText);
