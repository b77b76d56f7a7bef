#pragma once

#include <QByteArray>

#include <cstdint>

// Framing of the instrument link. A frame is a 16-byte header of four big-endian words
// (message id, payload length, id XOR length, payload parity) followed by the payload,
// whose own fields are little-endian and are copied unchanged.

struct MessageHeader
{
    uint32_t msgId;
    uint32_t dataLen;
    uint32_t baseParity;  // msgId ^ dataLen
    uint32_t dataParity;  // CalcParity of the payload; 0 = not checked by the receiver
};

namespace ComMessage {

constexpr int HeaderSize = 16;

// The largest payload of the command set is the 440-byte task record. A header that
// declares more is treated as damaged, so a corrupt length can't hold the reader.
constexpr uint32_t MaxPayloadLength = 1024;

// A new frame; the caller owns it.
QByteArray* MessageEncode(uint32_t msgId, const QByteArray& payload = QByteArray());

// Cuts one frame from the front of buffer. Junk before a marker is removed from buffer
// directly; consumed tells the caller how many further bytes to drop (0 = wait for more).
bool MessageDecode(QByteArray& buffer, QByteArray& frame, uint32_t& consumed);

uint32_t GetMsgId(const QByteArray& frame);

// A new copy of the frame's payload; the caller owns it.
QByteArray* GetPayload(const QByteArray& frame);

// XOR of the bytes read as little-endian words; a short tail is zero-padded.
uint32_t CalcParity(uint32_t length, const char* data);

}  // namespace ComMessage
