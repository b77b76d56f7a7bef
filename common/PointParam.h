#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <type_traits>

// The sampling-task record of one measuring point. It goes to the instrument as the
// SampleStart payload exactly as it lies in memory (440 little-endian bytes), so the
// layout below is fixed: natural alignment gives exactly the wire offsets, checked at
// the end of this header.

// Project id of a record made while no project is open.
constexpr qint64 NoProjectID = 95271024;  // 0x05ADB870

// Room for sampling groups in one record.
constexpr int MaxGroupNum = 20;
// Samples in one segment; a group records SegCnt segments.
constexpr int SegmentSamples = 16384;
// Rates below this are the instrument's low-rate bands (61 and 488 Hz).
constexpr quint32 LowRateLimit = 489;
// Bounds of a group's segment count.
constexpr int MinSegmentCount = 3;
constexpr int MaxSegmentCount = 5000;

// Channels 1 to 6 in CHSelect bit order (bit c-1) and in the name fields.
enum ChannelNumber { ChannelHx = 1, ChannelHy = 2, ChannelHz = 3, ChannelE0 = 4, ChannelE1 = 5, ChannelE2 = 6 };

// Partner of an electric channel in its two CHMatch bits.
enum MatchPartner { MatchNone = 0, MatchHx = 1, MatchHy = 2 };

// How a run is started; a cooperative start time makes a run Offline.
enum SampleMode { Online = 0, Offline = 1, Pre = 2 };

constexpr quint8 DefaultCHSelect = 0x1B;  // Hx, Hy, E0, E1
constexpr quint8 DefaultCHMatch = 0x69;   // E0-Hx, E1-Hy, E2-Hy, Hz on
constexpr quint16 DefaultPoleDistance = 20;

struct st_PointPos
{
    qint64 ProjectID;  // NoProjectID when no project is open
    qint32 ID;         // point id in the project; -1 for a trial run
    qint32 Line;
    qint32 Point;      // mileage number on the line
    qint32 Reserved;   // always 0
};

struct st_GroupParam
{
    quint32 SampleRate;  // Hz, one of the band rates
    quint32 Duration;    // seconds, see groupDuration()
    quint16 HGain;       // the gain factor itself, not its index
    quint16 EGain;
    quint8 LowRate;      // 1 below LowRateLimit
    quint8 Reserved;
    quint16 SegCnt;
};

struct st_PointParam
{
    st_PointPos Pos;
    quint64 StartTime;  // cooperative start, seconds since 1970 UTC; 0 = at once
    quint8 GroupNum;
    quint8 CHSelect;
    quint8 CHMatch;
    quint8 PoleType;    // 1 = non-polarizing electrodes
    quint8 Reserved1[4];
    char SenseName[6][12];  // UTF-8, zero-filled, no terminator when 12 bytes long
    quint16 E0PoleD;    // electrode distances in metres
    quint16 E1PoleD;
    quint16 E2PoleD;
    quint8 Reserved2[2];
    st_GroupParam Group[MaxGroupNum];  // entries from GroupNum on are zero
};

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the task record is sent as it lies in memory");
static_assert(std::is_trivially_copyable<st_PointParam>::value && std::is_standard_layout<st_PointParam>::value,
              "the task record is copied byte for byte");
static_assert(sizeof(st_PointPos) == 24, "st_PointPos is 24 bytes");
static_assert(sizeof(st_GroupParam) == 16, "st_GroupParam is 16 bytes");
static_assert(sizeof(st_PointParam) == 440, "st_PointParam is 440 bytes");
static_assert(offsetof(st_PointPos, ID) == 8 && offsetof(st_PointPos, Line) == 12
              && offsetof(st_PointPos, Point) == 16 && offsetof(st_PointPos, Reserved) == 20, "st_PointPos layout");
static_assert(offsetof(st_GroupParam, Duration) == 4 && offsetof(st_GroupParam, HGain) == 8
              && offsetof(st_GroupParam, EGain) == 10 && offsetof(st_GroupParam, LowRate) == 12
              && offsetof(st_GroupParam, Reserved) == 13 && offsetof(st_GroupParam, SegCnt) == 14,
              "st_GroupParam layout");
static_assert(offsetof(st_PointParam, StartTime) == 24 && offsetof(st_PointParam, GroupNum) == 32
              && offsetof(st_PointParam, CHSelect) == 33 && offsetof(st_PointParam, CHMatch) == 34
              && offsetof(st_PointParam, PoleType) == 35 && offsetof(st_PointParam, Reserved1) == 36
              && offsetof(st_PointParam, SenseName) == 40 && offsetof(st_PointParam, E0PoleD) == 112
              && offsetof(st_PointParam, E1PoleD) == 114 && offsetof(st_PointParam, E2PoleD) == 116
              && offsetof(st_PointParam, Reserved2) == 118 && offsetof(st_PointParam, Group) == 120,
              "st_PointParam layout");

// All zero except project NoProjectID, line 1, point 1, the default masks, the six
// names "null" and the electrode distances 20; no groups.
st_PointParam defaultPointParam();

// The task form's first record: the default record with three groups of 30 segments,
// gains 1, at 250000, 7800 and 488 Hz.
st_PointParam defaultTaskParam();

// Recording time in seconds: SegCnt * 16384 / rate, rounded up when there is a remainder.
// 0 for rate 0.
quint32 groupDuration(quint32 segCnt, quint32 sampleRate);
bool isLowRate(quint32 sampleRate);
bool isBandRate(quint32 sampleRate);
// A group with Duration and LowRate derived from the others, the rest zero.
st_GroupParam makeGroupParam(quint32 sampleRate, quint16 segCnt, quint16 hGain, quint16 eGain);

// Channel masks. channel is 1..6 (ChannelNumber); electric is 0..2 for E0..E2.
bool isChannelSelected(quint8 chSelect, int channel);
quint8 withChannelSelected(quint8 chSelect, int channel, bool selected);
int matchPartner(quint8 chMatch, int electric);
quint8 withMatchPartner(quint8 chMatch, int electric, int partner);
bool isHzMatched(quint8 chMatch);
quint8 withHzMatched(quint8 chMatch, bool on);

// Name field of channel 1..6: zeroed, then at most 12 bytes of the UTF-8 text, also when
// that cuts a character. The reader stops at the first zero byte.
void copySenseName(st_PointParam& param, int channel, const QString& name);
QString senseName(const st_PointParam& param, int channel);

// Removes group index (0-based, below GroupNum); the later groups move down so no empty
// group is left inside the used range. False when there is no such group.
bool removeGroup(st_PointParam& param, int index);

// What a record loaded from settings or elsewhere gets before use: GroupNum is bounded by
// the record's 20 groups, every group whose rate is not a band rate is removed (last one
// first), Duration and LowRate of the others are recomputed. Returns the groups removed.
int fitLoadedPointParam(st_PointParam& param);

// Whether the record can go to the instrument as it stands; otherwise reason (if given)
// says why. Durations are not compared with the rule: a trial run shortens them.
bool checkPointParam(const st_PointParam& param, QString* reason = nullptr);

QByteArray pointParamToBytes(const st_PointParam& param);
// Refuses anything but exactly 440 bytes; param is left untouched then.
bool pointParamFromBytes(const QByteArray& bytes, st_PointParam* param);
