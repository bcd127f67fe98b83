#pragma once
// An ELM327 adapter's answer read as what each ECU sent. The answer is all the text the adapter
// sent up to its '>' prompt: echo lines (clones echo even after ATE0), "SEARCHING...", blank
// lines, frames with headers on (spaces on or off), and the adapter's own words such as NO DATA.
// Pure functions: no device, no time.
#include <QByteArray>
#include <QList>

namespace quenta::elm {

// The bus the adapter talks on, from its ATDPN answer. Legacy frames end in a checksum: a CRC on
// J1850, a sum on ISO 9141 and KWP. CAN frames carry an ISO-TP byte in front of the message.
enum class Protocol { Unknown, J1850, Iso, Can11, Can29 };
inline bool isCan(Protocol p) { return p == Protocol::Can11 || p == Protocol::Can29; }
// "A6", "6", "A3": the protocol number, with or without the adapter's "A" (found by searching).
Protocol protocolFromNumber(const QByteArray &dpnAnswer);

// What the adapter says itself instead of, or besides, the ECUs' frames.
enum class Word {
    NoData,          // NO DATA: nobody answered the request
    Unknown,         // ?: the adapter did not take the line
    Stopped,         // STOPPED: a character came while it was waiting for the ECUs
    UnableToConnect, // UNABLE TO CONNECT: no bus found (ignition off, no vehicle)
    BusInitError,    // BUS INIT: ...ERROR
    CanError,
    BusError,
    BusBusy,
    DataError,       // DATA ERROR: a frame failed its check
    LineDataError,   // <DATA ERROR (or <RX ERROR) after a frame: that frame is bad
    BufferFull,
};

// One ECU's response message, whole: service byte first, no header, no ISO-TP bytes, no checksum.
struct EcuMessage {
    quint32 id = 0;   // CAN: the response id (7E8, 18DAF110); legacy: the header's source byte
    QByteArray bytes;
    // The ECU's address as the scan tool shows it: the low byte of the id.
    quint8 address() const { return quint8(id & 0xFF); }
};

struct Answer {
    QList<EcuMessage> messages; // in the order each message's first frame came
    QList<Word> words;          // the adapter's own words, in order
    QList<QByteArray> lines;    // the other lines ("OK", "A6", the ATI text), as they came
    int broken = 0;             // frames dropped: bad checksum, cut short, out of sequence

    bool has(Word w) const { return words.contains(w); }
    // The messages of one ECU, in order.
    QList<EcuMessage> from(quint32 id) const;
    // The ECUs that answered, ascending.
    QList<quint32> ecus() const;
    // An error that asking again may cure (bus busy, a bad frame, STOPPED, ?).
    bool transient() const;
    // The adapter found no vehicle to talk to.
    bool noVehicle() const { return has(Word::UnableToConnect) || has(Word::BusInitError); }
};

// Reads the text up to the prompt (a '>' and anything after it is ignored). `sent` is the line
// that was sent, so its echo is dropped.
Answer parseAnswer(const QByteArray &text, Protocol protocol, const QByteArray &sent = {});

// The legacy frames' checks over header and message.
quint8 j1850Crc(const QByteArray &bytes);
quint8 byteSum(const QByteArray &bytes);

} // namespace quenta::elm
