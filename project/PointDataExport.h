#pragma once

#include <QString>

// Text copies of recorded channel files, for use in other tools.

// Output of one channel file: the name up to its last dot and "_Export.txt", beside it.
QString exportFilePath(const QString& channelFile);

// Writes the text copy of one channel file: "SampleRate-<rate>", then one line per
// sample with its time in seconds and its value in physical units. Stops at the end of
// the data when the file holds fewer samples than its header gives. False when the
// input could not be read (the output stays empty) or the output could not be written
// (the incomplete output is removed).
bool exportChannelFile(const QString& channelFile);

// Every "*.dat"/"*.DAT" file of the folder, several at once on the global pool; blocks
// until done, then tells the operator where the files are, or how many failed.
void genPointDirData(const QString& folder);
