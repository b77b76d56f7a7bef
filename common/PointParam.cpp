#include "PointParam.h"

#include "AppConstants.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const char NoSenseName[] = "null";

bool isZero(const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

bool validChannel(int channel)
{
    return channel >= ChannelHx && channel <= ChannelE2;
}

bool validElectric(int electric)
{
    return electric >= 0 && electric <= 2;
}

} // namespace

st_PointParam defaultPointParam()
{
    st_PointParam param;
    std::memset(&param, 0, sizeof param);
    param.Pos.ProjectID = NoProjectID;
    param.Pos.Line = 1;
    param.Pos.Point = 1;
    param.CHSelect = DefaultCHSelect;
    param.CHMatch = DefaultCHMatch;
    for (int channel = ChannelHx; channel <= ChannelE2; ++channel)
        copySenseName(param, channel, QString::fromLatin1(NoSenseName));
    param.E0PoleD = param.E1PoleD = param.E2PoleD = DefaultPoleDistance;
    return param;
}

st_PointParam defaultTaskParam()
{
    st_PointParam param = defaultPointParam();
    param.GroupNum = 3;
    param.Group[0] = makeGroupParam(250000, 30, 1, 1);
    param.Group[1] = makeGroupParam(7800, 30, 1, 1);
    param.Group[2] = makeGroupParam(488, 30, 1, 1);
    return param;
}

quint32 groupDuration(quint32 segCnt, quint32 sampleRate)
{
    if (sampleRate == 0)
        return 0;
    return static_cast<quint32>(std::ceil(double(segCnt) * SegmentSamples / double(sampleRate)));
}

bool isLowRate(quint32 sampleRate)
{
    return sampleRate < LowRateLimit;
}

bool isBandRate(quint32 sampleRate)
{
    return sampleRate <= quint32(std::numeric_limits<int>::max()) && SampleRateList.contains(int(sampleRate));
}

st_GroupParam makeGroupParam(quint32 sampleRate, quint16 segCnt, quint16 hGain, quint16 eGain)
{
    st_GroupParam group;
    std::memset(&group, 0, sizeof group);
    group.SampleRate = sampleRate;
    group.Duration = groupDuration(segCnt, sampleRate);
    group.HGain = hGain;
    group.EGain = eGain;
    group.LowRate = isLowRate(sampleRate) ? 1 : 0;
    group.SegCnt = segCnt;
    return group;
}

bool isChannelSelected(quint8 chSelect, int channel)
{
    return validChannel(channel) && (chSelect >> (channel - 1) & 1) != 0;
}

quint8 withChannelSelected(quint8 chSelect, int channel, bool selected)
{
    if (!validChannel(channel))
        return chSelect;
    const quint8 bit = quint8(1u << (channel - 1));
    return selected ? quint8(chSelect | bit) : quint8(chSelect & ~bit);
}

int matchPartner(quint8 chMatch, int electric)
{
    return validElectric(electric) ? (chMatch >> (2 * electric)) & 3 : MatchNone;
}

quint8 withMatchPartner(quint8 chMatch, int electric, int partner)
{
    if (!validElectric(electric) || partner < MatchNone || partner > MatchHy)
        return chMatch;
    const int shift = 2 * electric;
    return quint8((chMatch & ~(3u << shift)) | (unsigned(partner) << shift));
}

bool isHzMatched(quint8 chMatch)
{
    return (chMatch & 0x40) != 0;
}

quint8 withHzMatched(quint8 chMatch, bool on)
{
    return on ? quint8(chMatch | 0x40) : quint8(chMatch & ~0x40u);
}

void copySenseName(st_PointParam& param, int channel, const QString& name)
{
    if (!validChannel(channel))
        return;
    char* field = param.SenseName[channel - 1];
    std::memset(field, 0, sizeof param.SenseName[0]);
    const QByteArray bytes = name.toUtf8();
    std::memcpy(field, bytes.constData(), std::min<size_t>(size_t(bytes.size()), sizeof param.SenseName[0]));
}

QString senseName(const st_PointParam& param, int channel)
{
    if (!validChannel(channel))
        return QString();
    const char* field = param.SenseName[channel - 1];
    const char* end = std::find(field, field + sizeof param.SenseName[0], '\0');
    return QString::fromUtf8(field, int(end - field));
}

bool removeGroup(st_PointParam& param, int index)
{
    const int count = std::min<int>(param.GroupNum, MaxGroupNum);
    if (index < 0 || index >= count)
        return false;
    for (int i = index; i < MaxGroupNum - 1; ++i)
        param.Group[i] = param.Group[i + 1];
    std::memset(&param.Group[MaxGroupNum - 1], 0, sizeof(st_GroupParam));
    param.GroupNum = quint8(count - 1);
    return true;
}

int fitLoadedPointParam(st_PointParam& param)
{
    // A count above the record's room is damage; reading on would run past the groups.
    if (param.GroupNum > MaxGroupNum)
        param.GroupNum = MaxGroupNum;
    int removed = 0;
    for (int i = param.GroupNum - 1; i >= 0; --i) {
        if (!isBandRate(param.Group[i].SampleRate) && removeGroup(param, i))
            ++removed;
    }
    for (int i = 0; i < param.GroupNum; ++i) {
        st_GroupParam& group = param.Group[i];
        group.Duration = groupDuration(group.SegCnt, group.SampleRate);
        group.LowRate = isLowRate(group.SampleRate) ? 1 : 0;
    }
    return removed;
}

bool checkPointParam(const st_PointParam& param, QString* reason)
{
    if (param.Pos.Reserved != 0 || !isZero(param.Reserved1, sizeof param.Reserved1)
        || !isZero(param.Reserved2, sizeof param.Reserved2))
        return fail(reason, QStringLiteral("reserved bytes are not zero"));
    if (param.GroupNum > MaxGroupNum)
        return fail(reason, QStringLiteral("GroupNum %1 is above %2").arg(param.GroupNum).arg(MaxGroupNum));
    if (param.CHSelect & 0xC0)
        return fail(reason, QStringLiteral("CHSelect 0x%1 has bits beyond the six channels").arg(param.CHSelect, 2, 16, QLatin1Char('0')));
    if (param.CHMatch & 0x80)
        return fail(reason, QStringLiteral("CHMatch 0x%1 has bit 7 set").arg(param.CHMatch, 2, 16, QLatin1Char('0')));
    for (int e = 0; e < 3; ++e) {
        if (matchPartner(param.CHMatch, e) > MatchHy)
            return fail(reason, QStringLiteral("CHMatch 0x%1 pairs E%2 with nothing known").arg(param.CHMatch, 2, 16, QLatin1Char('0')).arg(e));
    }
    if (param.PoleType > 1)
        return fail(reason, QStringLiteral("PoleType %1 is neither 0 nor 1").arg(param.PoleType));
    for (int i = 0; i < param.GroupNum; ++i) {
        const st_GroupParam& g = param.Group[i];
        const QString where = QStringLiteral("group %1: ").arg(i + 1);
        if (!isBandRate(g.SampleRate))
            return fail(reason, where + QStringLiteral("sample rate %1 is not a band rate").arg(g.SampleRate));
        if (g.SegCnt < MinSegmentCount || g.SegCnt > MaxSegmentCount)
            return fail(reason, where + QStringLiteral("segment count %1 is outside %2..%3").arg(g.SegCnt).arg(MinSegmentCount).arg(MaxSegmentCount));
        if (!GainList.contains(g.HGain) || !GainList.contains(g.EGain))
            return fail(reason, where + QStringLiteral("gains %1/%2 are not gain steps").arg(g.HGain).arg(g.EGain));
        if (g.LowRate != (isLowRate(g.SampleRate) ? 1 : 0))
            return fail(reason, where + QStringLiteral("low-rate flag %1 does not fit %2 Hz").arg(g.LowRate).arg(g.SampleRate));
        if (g.Duration == 0)
            return fail(reason, where + QStringLiteral("duration is 0"));
        if (g.Reserved != 0)
            return fail(reason, where + QStringLiteral("reserved byte is not zero"));
    }
    for (int i = param.GroupNum; i < MaxGroupNum; ++i) {
        if (!isZero(&param.Group[i], sizeof(st_GroupParam)))
            return fail(reason, QStringLiteral("group %1 beyond GroupNum is not empty").arg(i + 1));
    }
    if (reason)
        reason->clear();
    return true;
}

QByteArray pointParamToBytes(const st_PointParam& param)
{
    return QByteArray(reinterpret_cast<const char*>(&param), int(sizeof param));
}

bool pointParamFromBytes(const QByteArray& bytes, st_PointParam* param)
{
    if (!param || bytes.size() != int(sizeof(st_PointParam)))
        return false;
    std::memcpy(param, bytes.constData(), sizeof(st_PointParam));
    return true;
}
