#include "JpegSegments.h"

QVector<JpegSegment> jpegSegments(const QByteArray& data)
{
    QVector<JpegSegment> segments;
    if (data.size() < 4 || quint8(data[0]) != 0xFF || quint8(data[1]) != 0xD8)
        return {};
    qsizetype at = 2;
    while (at + 4 <= data.size()) {
        if (quint8(data[at]) != 0xFF)
            return {};
        const quint8 marker = quint8(data[at + 1]);
        const int length = quint8(data[at + 2]) << 8 | quint8(data[at + 3]);
        if (length < 2 || at + 2 + length > data.size())
            return {};
        segments.append({ marker, at, data.mid(at + 4, length - 2) });
        if (marker == 0xDA)
            return segments;
        at += 2 + length;
    }
    return {};
}

const JpegSegment* findSegment(const QVector<JpegSegment>& segments, quint8 marker)
{
    for (const JpegSegment& s : segments) {
        if (s.marker == marker)
            return &s;
    }
    return nullptr;
}

int frameHeight(const JpegSegment& frame)
{
    return quint8(frame.payload[1]) << 8 | quint8(frame.payload[2]);
}

int frameWidth(const JpegSegment& frame)
{
    return quint8(frame.payload[3]) << 8 | quint8(frame.payload[4]);
}
