#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Constants shared by the application's source files; each file holds its own copy.

static const QString ModelName = QStringLiteral("Varn28");

// Gain steps offered for the magnetic and electric gains; records hold the step itself.
static const QList<int> GainList = {1, 4, 16, 40, 160};

// One entry per band, lowest first; the three lists are parallel.
static const QList<int> SampleRateList = {61, 488, 7800, 250000};
static const QStringList BandNameList = {
    QStringLiteral("VL Band"), QStringLiteral("L Band"), QStringLiteral("M Band"), QStringLiteral("H Band")};
static const QStringList BandRangeList = {
    QStringLiteral("10Hz ~ 0.06Hz"), QStringLiteral("79.4Hz ~ 1Hz"),
    QStringLiteral("1260Hz ~ 6Hz"), QStringLiteral("100kHz ~ 794Hz")};
