#pragma once

#include "ProjectAbout.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// Sample-rate keys "SampleRate1" .. "SampleRate20" of a point entry, one per group.
constexpr int MaxRateKeys = 20;

QString rateKey(int group);
// Number of non-zero rate keys of an entry.
int countRates(const QJsonObject& entry);
// Group number of the entry's last non-zero rate key, 0 when there is none. Differs
// from countRates when a group in between was recorded without a rate.
int highestRateGroup(const QJsonObject& entry);

// Band name of a band rate, the rate itself in decimal otherwise.
QString rateLabel(int rate);
// ",E0:Hx,E1:Hy" and so on for the electric channels that CHMatch pairs.
QString pairingText(int chMatch);

// One entry of "Data" as the tree needs it.
struct ProjectPoint
{
    int id = 0;
    int line = 0;
    int point = 0;
    int chSelect = 0;
    int chMatch = 0;
    QVector<int> rates = QVector<int>(MaxRateKeys, 0);  // rates[k-1] of group k
};

struct ProjectContent
{
    st_ProjectAbout about;
    QVector<ProjectPoint> points;  // in file order
    qint64 nextPointID = 1;  // one past the largest int when no ID is left
    int lastLine = 0;
    int lastPoint = 0;
};

// Largest project id the file's JSON keeps exactly (2^53); a file with a larger one is refused.
constexpr qint64 MaxExactProjectID = qint64(1) << 53;

// Checks the text of a project file and reads it into content (about is filled on top
// of what it holds). Returns the refusal to show the operator, empty when accepted.
// The ID after id, formed in 64 bits: one past the largest int means none is left.
inline qint64 pointIDAfter(int id)
{
    return qint64(id) + 1;
}

QString checkProjectDocument(const QByteArray& text, ProjectContent* content);
