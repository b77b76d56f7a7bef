#include "ComMessage.h"

#include <QtTest>

#include <memory>

// Frames are written out here byte by byte, never built with the codec under test.

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Header words big-endian, then the payload unchanged.
QByteArray handFrame(quint32 id, const QByteArray& payload, quint32 dataParity)
{
    QByteArray f;
    const auto put = [&f](quint32 v) {
        f.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    };
    put(id);
    put(quint32(payload.size()));
    put(id ^ quint32(payload.size()));
    put(dataParity);
    return f + payload;
}

struct Cut
{
    bool ok;
    QByteArray frame;
    uint32_t consumed;
};

Cut decode(QByteArray& buffer)
{
    Cut c{false, QByteArray("stale"), 99};
    c.ok = ComMessage::MessageDecode(buffer, c.frame, c.consumed);
    return c;
}

// What the transport does with a buffer: cut frames until nothing is consumed.
QList<QByteArray> drain(QByteArray& buffer)
{
    QList<QByteArray> frames;
    for (;;) {
        QByteArray frame;
        uint32_t consumed = 0;
        if (ComMessage::MessageDecode(buffer, frame, consumed))
            frames.append(frame);
        buffer.remove(0, int(consumed));
        if (consumed == 0 || buffer.isEmpty())
            return frames;
    }
}

}  // namespace

class TestComMessage : public QObject
{
    Q_OBJECT

private slots:
    void encodeWritesBigEndianHeaderAndRawPayload()
    {
        const QByteArray payload = hex("01 02 03 04 05");
        std::unique_ptr<QByteArray> f(ComMessage::MessageEncode(0xAA550002, payload));
        QCOMPARE(*f, hex("AA550002 00000005 AA550007 04030204 0102030405"));

        std::unique_ptr<QByteArray> empty(ComMessage::MessageEncode(0xAA550005));
        QCOMPARE(*empty, hex("AA550005 00000000 AA550005 00000000"));
    }

    void parityReadsLittleEndianWordsWithZeroPaddedTail()
    {
        QCOMPARE(ComMessage::CalcParity(0, nullptr), 0u);
        const QByteArray five = hex("01 02 03 04 05");
        QCOMPARE(ComMessage::CalcParity(5, five.constData()), 0x04030204u);
        const QByteArray seven = hex("10 20 30 40 01 02 03");
        QCOMPARE(ComMessage::CalcParity(7, seven.constData()), 0x40332211u);
        const QByteArray high = hex("FF FF FF FF 80");
        QCOMPARE(ComMessage::CalcParity(5, high.constData()), 0xFFFFFF7Fu);
    }

    void idAndPayloadAreReadBack()
    {
        const QByteArray payload = hex("30 00 00 00 FF");
        const QByteArray f = handFrame(0xAA550011, payload, 0);
        QCOMPARE(ComMessage::GetMsgId(f), 0xAA550011u);
        std::unique_ptr<QByteArray> p(ComMessage::GetPayload(f));
        QCOMPARE(*p, payload);
    }

    void completeFramesAreCut()
    {
        // An empty payload with parity 0 is a whole frame of 16 bytes.
        QByteArray buffer = handFrame(0xAA550005, QByteArray(), 0) + hex("AA55");
        Cut c = decode(buffer);
        QVERIFY(c.ok);
        QCOMPARE(c.consumed, 16u);
        QCOMPARE(c.frame, handFrame(0xAA550005, QByteArray(), 0));
        QCOMPARE(buffer.size(), 18);  // the caller drops consumed bytes

        // A dataParity of 0 is not checked.
        const QByteArray payload = hex("01 02 03");
        buffer = handFrame(0xAA550002, payload, 0);
        c = decode(buffer);
        QVERIFY(c.ok);
        QCOMPARE(c.consumed, 19u);
    }

    void incompleteDataWaits()
    {
        QByteArray buffer = hex("AA55 0002 0000 0000 0000");  // 10 bytes
        QTest::ignoreMessage(QtDebugMsg, "ComMessage MessageDecode size Error MessageSize: 10");
        Cut c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 0u);
        QVERIFY(c.frame.isEmpty());

        const QByteArray whole = handFrame(0xAA550008, QByteArray(48, 'x'), 0);
        buffer = whole.left(40);
        c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 0u);
        QCOMPARE(buffer, whole.left(40));
    }

    void junkBeforeAFrameIsRemoved()
    {
        const QByteArray f = handFrame(0xAA550010, hex("0102"), FakeParity(hex("0102")));
        QByteArray buffer = hex("00 13 AA") + f;
        Cut c = decode(buffer);
        QVERIFY(c.ok);
        QCOMPARE(c.frame, f);
        QCOMPARE(c.consumed, uint32_t(f.size()));
        QCOMPARE(buffer, f);
    }

    void junkWithoutMarkerIsDroppedButATrailingStartByteIsKept()
    {
        QByteArray buffer = hex("01 02 03 04");
        QTest::ignoreMessage(QtDebugMsg, "ComMessage MessageDecode header Error headerPos: -1");
        Cut c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 4u);

        // The AA may be the first half of a marker still on its way.
        buffer = hex("01 02 AA");
        c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 2u);
        buffer = hex("AA");
        c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 0u);

        const QByteArray f = handFrame(0xAA550003, QByteArray(), 0);
        buffer = hex("07 07 AA");
        QCOMPARE(drain(buffer).size(), 0);
        QCOMPARE(buffer, hex("AA"));
        buffer += f.mid(1);
        const QList<QByteArray> frames = drain(buffer);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first(), f);
    }

    void falseMarkersAreSkippedByTwoBytes()
    {
        const QByteArray good = handFrame(0xAA550008, QByteArray(48, '\x11'), 0);

        QByteArray buffer = hex("AA55 00000001 00000000 AA550000 00000000") + good;  // bad baseParity
        Cut c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 2u);

        const QByteArray payload = hex("01 02 03 04");
        buffer = handFrame(0xAA550002, payload, 0x12345678) + good;  // bad dataParity
        c = decode(buffer);
        QVERIFY(!c.ok);
        QCOMPARE(c.consumed, 2u);
        const QList<QByteArray> frames = drain(buffer);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first(), good);
    }

    void aDeclaredLengthBeyondTheLargestPayloadIsSkipped()
    {
        const QByteArray good = handFrame(0xAA550002, hex("03 00 00 00"), 3);
        const quint32 lengths[] = {0xFFFFFFF0u, 0x7FFFFFFFu, ComMessage::MaxPayloadLength + 1};
        for (quint32 len : lengths) {
            QByteArray header;
            for (quint32 v : {0xAA550008u, len, 0xAA550008u ^ len, 0u})
                header.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
            QByteArray buffer = header + good;
            Cut c = decode(buffer);
            QVERIFY(!c.ok);
            QCOMPARE(c.consumed, 2u);
            const QList<QByteArray> frames = drain(buffer);
            QCOMPARE(frames.size(), 1);
            QCOMPARE(frames.first(), good);
        }

        // The largest legal payload still passes.
        const QByteArray record(440, '\x5A');
        QByteArray buffer = handFrame(0xAA550002, record, 0);
        QVERIFY(decode(buffer).ok);
    }

    void aFrameSplitAtAnyByteIsCutOnce()
    {
        const QByteArray payload = hex("01 00 00 00 02 00 00 00 03");
        const QByteArray f = handFrame(0xAA550011, payload, FakeParity(payload));
        const QByteArray stream = hex("13 37") + f + hex("AA 00") + f;
        for (int cut = 1; cut < stream.size(); ++cut) {
            QByteArray buffer = stream.left(cut);
            QList<QByteArray> frames = drain(buffer);
            buffer += stream.mid(cut);
            frames += drain(buffer);
            QCOMPARE(frames.size(), 2);
            QCOMPARE(frames.at(0), f);
            QCOMPARE(frames.at(1), f);
            QVERIFY(buffer.isEmpty());
        }
    }

private:
    static quint32 FakeParity(const QByteArray& payload)
    {
        quint32 p = 0;
        for (int i = 0; i < payload.size(); ++i)
            p ^= quint32(quint8(payload.at(i))) << (8 * (i % 4));
        return p;
    }
};

QTEST_APPLESS_MAIN(TestComMessage)
#include "tst_commessage.moc"
