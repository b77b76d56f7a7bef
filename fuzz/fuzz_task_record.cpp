// The 440-byte sampling-task record as it comes back from settings, a project or the
// wire, and the 48-byte status record. A record our writer wrote reads back the same, and
// a fitted record stays within its twenty groups with durations that follow the rule.
#include "FuzzSupport.h"
#include "MachineStatus.h"
#include "PointParam.h"

#include <cstring>

namespace {

void writeSeeds(const QString& folder)
{
    fuzz::writeSeed(folder, "default_task", pointParamToBytes(defaultTaskParam()));
    fuzz::writeSeed(folder, "default_point", pointParamToBytes(defaultPointParam()));
    st_PointParam full = defaultTaskParam();
    full.GroupNum = 4;
    full.Group[3] = makeGroupParam(61, 5000, 160, 40);
    full.StartTime = 1767225600;
    copySenseName(full, ChannelHz, QStringLiteral("Hz磁棒-传感器"));
    fuzz::writeSeed(folder, "four_groups", pointParamToBytes(full));
    QByteArray status(st_MachineStatus::Size, '\x01');
    fuzz::writeSeed(folder, "status", status);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialise(writeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const int recordSize = int(sizeof(st_PointParam));

    st_PointParam param;
    const bool exact = pointParamFromBytes(bytes, &param);
    FUZZ_CHECK(exact == (bytes.size() == recordSize));
    if (exact)
        FUZZ_CHECK(pointParamToBytes(param) == bytes);

    // Whatever arrives is cut or padded to a record, as a damaged settings value would be.
    QByteArray record = bytes.left(recordSize);
    record.append(QByteArray(recordSize - record.size(), '\0'));
    FUZZ_CHECK(pointParamFromBytes(record, &param));
    for (int channel = ChannelHx; channel <= ChannelE2; ++channel)
        FUZZ_CHECK(senseName(param, channel).size() <= 12);
    QString reason;
    const bool valid = checkPointParam(param, &reason);
    FUZZ_CHECK(valid == reason.isEmpty());

    st_PointParam fitted = param;
    fitLoadedPointParam(fitted);
    FUZZ_CHECK(fitted.GroupNum <= MaxGroupNum);
    for (int i = 0; i < fitted.GroupNum; ++i) {
        const st_GroupParam& g = fitted.Group[i];
        FUZZ_CHECK(isBandRate(g.SampleRate));
        FUZZ_CHECK(g.Duration == groupDuration(g.SegCnt, g.SampleRate));
        FUZZ_CHECK(g.LowRate == (isLowRate(g.SampleRate) ? 1 : 0));
    }
    checkPointParam(fitted, &reason);
    st_PointParam again;
    FUZZ_CHECK(pointParamFromBytes(pointParamToBytes(fitted), &again));
    FUZZ_CHECK(std::memcmp(&again, &fitted, sizeof fitted) == 0);

    st_MachineStatus status;
    FUZZ_CHECK(readMachineStatus(bytes.constData(), bytes.size(), &status) == (size >= size_t(st_MachineStatus::Size)));
    return 0;
}
