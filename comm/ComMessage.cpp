#include "ComMessage.h"

#include <QDebug>
#include <QtEndian>

namespace {

const QByteArray FrameMarker = QByteArray::fromHex("AA55");

uint32_t readWord(const QByteArray& bytes, int offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
}

void appendWord(QByteArray& bytes, uint32_t value)
{
    char word[4];
    qToBigEndian<quint32>(value, word);
    bytes.append(word, 4);
}

}  // namespace

namespace ComMessage {

uint32_t CalcParity(uint32_t length, const char* data)
{
    uint32_t parity = 0;
    uint32_t i = 0;
    for (; i + 4 <= length; i += 4)
        parity ^= qFromLittleEndian<quint32>(data + i);
    uint32_t tail = 0;
    for (uint32_t shift = 0; i < length; ++i, shift += 8)
        tail |= uint32_t(uchar(data[i])) << shift;
    return parity ^ tail;
}

QByteArray* MessageEncode(uint32_t msgId, const QByteArray& payload)
{
    auto* frame = new QByteArray;
    frame->reserve(HeaderSize + payload.size());
    const uint32_t dataLen = uint32_t(payload.size());
    appendWord(*frame, msgId);
    appendWord(*frame, dataLen);
    appendWord(*frame, msgId ^ dataLen);
    appendWord(*frame, CalcParity(dataLen, payload.constData()));
    frame->append(payload);
    return frame;
}

bool MessageDecode(QByteArray& buffer, QByteArray& frame, uint32_t& consumed)
{
    frame.clear();
    consumed = 0;

    const int headerPos = buffer.indexOf(FrameMarker);
    if (headerPos < 0) {
        // A last byte AA may be the first half of a marker whose 55 is still on its way.
        const bool keepLast = buffer.endsWith(FrameMarker.left(1));
        consumed = uint32_t(buffer.size() - (keepLast ? 1 : 0));
        if (consumed > 0)
            qDebug() << "ComMessage" << "MessageDecode" << "header Error" << "headerPos:" << headerPos;
        return false;
    }
    if (headerPos > 0)
        buffer.remove(0, headerPos);

    if (buffer.size() <= HeaderSize - 1) {
        qDebug() << "ComMessage" << "MessageDecode" << "size Error" << "MessageSize:" << buffer.size();
        return false;
    }

    const uint32_t msgId = readWord(buffer, 0);
    const uint32_t dataLen = readWord(buffer, 4);
    const uint32_t msgBaseParity = readWord(buffer, 8);
    const uint32_t msgDataParity = readWord(buffer, 12);
    const uint32_t baseParity = msgId ^ dataLen;
    if (baseParity != msgBaseParity) {
        consumed = uint32_t(FrameMarker.size());
        qDebug() << "ComMessage" << "MessageDecode" << "baseParity Error" << "baseParity=" << baseParity
                 << "msgBaseParity=" << msgBaseParity;
        return false;
    }
    if (dataLen > MaxPayloadLength) {
        consumed = uint32_t(FrameMarker.size());
        qDebug() << "ComMessage" << "MessageDecode" << "length Error" << "dataLen=" << dataLen;
        return false;
    }
    if (quint64(HeaderSize) + dataLen > quint64(buffer.size()))
        return false;

    const uint32_t dataParity = CalcParity(dataLen, buffer.constData() + HeaderSize);
    if (msgDataParity != 0 && msgDataParity != dataParity) {
        consumed = uint32_t(FrameMarker.size());
        qDebug() << "ComMessage" << "MessageDecode" << "dataParity Error" << "dataParity =" << dataParity
                 << "msgDataParity=" << msgDataParity;
        return false;
    }

    frame = buffer.left(HeaderSize + int(dataLen));
    consumed = uint32_t(HeaderSize) + dataLen;
    return true;
}

uint32_t GetMsgId(const QByteArray& frame)
{
    if (frame.size() < 4)
        return 0;
    return readWord(frame, 0);
}

QByteArray* GetPayload(const QByteArray& frame)
{
    if (frame.size() < HeaderSize)
        return new QByteArray;
    const uint32_t dataLen = readWord(frame, 4);
    return new QByteArray(frame.mid(HeaderSize, int(qMin<quint64>(dataLen, quint64(frame.size() - HeaderSize)))));
}

}  // namespace ComMessage
