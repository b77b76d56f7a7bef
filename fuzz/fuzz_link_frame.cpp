// The link's receive path: bytes as they come from the socket, in chunks, cut into frames
// as the transport does, each frame handed to the command set, which hands the status and
// system-information records on. Beside it, a frame our encoder wrote must decode to the
// same id and payload.
#include "ComByteBuffer.h"
#include "ComMessage.h"
#include "FuzzSupport.h"
#include "LibCom.h"
#include "MachineStatus.h"

#include <QtEndian>

#include <cstring>
#include <memory>

namespace {

LibCom* link = nullptr;
volatile quint64 sink = 0;

QByteArray encoded(uint32_t msgId, const QByteArray& payload)
{
    const std::unique_ptr<QByteArray> frame(ComMessage::MessageEncode(msgId, payload));
    return *frame;
}

QByteArray statusRecord()
{
    QByteArray s(st_MachineStatus::Size, '\0');
    qToLittleEndian<quint64>(1767225600000ull, s.data());
    s[8] = 1;
    s[10] = 1;
    s[11] = 9;
    const float values[] = {12.5f, 63.0f, 41.5f};
    std::memcpy(s.data() + 12, values, sizeof values);
    qToLittleEndian<quint32>(0x20, s.data() + 24);
    const float place[] = {3015.1234f, 11423.5678f, 512.0f};
    std::memcpy(s.data() + 28, place, sizeof place);
    s[40] = 1;
    return s;
}

QByteArray systemInfo()
{
    QByteArray s(16, '\0');
    qToLittleEndian<quint32>(2801, s.data());
    const float version = 1.25f;
    std::memcpy(s.data() + 4, &version, 4);
    qToLittleEndian<quint32>(20261209, s.data() + 12);
    return s;
}

QByteArray word(quint32 value)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(value, b.data());
    return b;
}

// First byte: the chunk size the stream arrives in; then the stream.
void writeSeeds(const QString& folder)
{
    const QByteArray status = encoded(LibCom::Status, statusRecord());
    fuzz::writeSeed(folder, "status", QByteArray(1, 63) + status);
    fuzz::writeSeed(folder, "system_info", QByteArray(1, 5) + encoded(LibCom::SystemInfo, systemInfo()));
    fuzz::writeSeed(folder, "ack_heartbeat", QByteArray(1, 0) + encoded(LibCom::ACK, word(LibCom::HeartBeat)));
    fuzz::writeSeed(folder, "group_finished", QByteArray(1, 15) + encoded(LibCom::SampleStart, word(2)));
    fuzz::writeSeed(folder, "junk_then_frames",
                    QByteArray(1, 7) + QByteArray("\x01\xAA\x02", 3) + status + encoded(LibCom::SampleStop, {})
                        + encoded(LibCom::ErrorClear, {}));
    QByteArray unchecked = encoded(LibCom::DiskFormat, QByteArray("abcde"));
    std::memset(unchecked.data() + 12, 0, 4);  // parity 0: not checked
    fuzz::writeSeed(folder, "parity_not_checked", QByteArray(1, 31) + unchecked);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialise(writeSeeds);
    link = new LibCom;
    // As the status bar and the main window read them: the pointers are valid during the
    // emission and hold at least the record's size.
    QObject::connect(link, &LibCom::DevStatus, [](char* data) {
        st_MachineStatus status;
        FUZZ_CHECK(readMachineStatus(data, st_MachineStatus::Size, &status));
        quint32 voltage;
        std::memcpy(&voltage, &status.Voltage, sizeof voltage);
        sink = sink + status.Time + status.State + status.ErrorBits + voltage;
    });
    QObject::connect(link, &LibCom::DevSystemInfo, [](char* data) {
        quint32 fields[4];
        std::memcpy(fields, data, sizeof fields);
        sink = sink + fields[0] + fields[1] + fields[3];
    });
    QObject::connect(link, &LibCom::ProcessGroupFinish, [](int group) { sink = sink + quint64(group); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int chunk = data[0] % 64 + 1;
    const QByteArray stream(reinterpret_cast<const char*>(data) + 1, int(size - 1));

    ComByteBuffer buffer;
    for (int pos = 0; pos < stream.size(); pos += chunk) {
        buffer.append(stream.mid(pos, chunk));
        uint32_t consumed = 0;
        do {
            consumed = 0;
            QByteArray frame;
            if (ComMessage::MessageDecode(buffer.bytes(), frame, consumed)) {
                FUZZ_CHECK(frame.size() >= ComMessage::HeaderSize && consumed == uint32_t(frame.size()));
                FUZZ_CHECK(buffer.bytes().startsWith(frame));
                const uint32_t msgId = ComMessage::GetMsgId(frame);
                const std::unique_ptr<QByteArray> payload(ComMessage::GetPayload(frame));
                FUZZ_CHECK(payload->size() == frame.size() - ComMessage::HeaderSize);
                FUZZ_CHECK(payload->size() <= int(ComMessage::MaxPayloadLength));
                link->CmdHandler(msgId, *payload);
            }
            buffer.consume(int(qMin<uint32_t>(consumed, uint32_t(buffer.size()))));
        } while (consumed != 0 && !buffer.isEmpty());
    }

    // Our own frame of these bytes comes back as it was sent, also after junk.
    const uint32_t msgId = 0xAA550000u | (stream.size() >= 2 ? qFromLittleEndian<quint16>(stream.constData()) : 0u);
    const QByteArray payload = stream.left(int(ComMessage::MaxPayloadLength));
    const QByteArray sent = encoded(msgId, payload);
    QByteArray received = QByteArray(chunk % 5, '\x55') + sent;
    QByteArray frame;
    uint32_t consumed = 0;
    FUZZ_CHECK(ComMessage::MessageDecode(received, frame, consumed));
    FUZZ_CHECK(frame == sent && consumed == uint32_t(sent.size()));
    FUZZ_CHECK(ComMessage::GetMsgId(frame) == msgId);
    const std::unique_ptr<QByteArray> back(ComMessage::GetPayload(frame));
    FUZZ_CHECK(*back == payload);

    fuzz::drainEvents();
    return 0;
}
