// Reads the marker segments at the head of a JPEG file, for tests that check
// how a file is made (JFIF or Exif header, baseline or progressive frame).
#pragma once

#include <QByteArray>
#include <QVector>

struct JpegSegment {
    quint8 marker = 0; // the byte after 0xFF: 0xE0 APP0, 0xE1 APP1, 0xC0 SOF0, 0xC2 SOF2 ...
    qsizetype offset = 0; // of the 0xFF byte in the file
    QByteArray payload; // the segment's bytes after its length field
};

// The segments after SOI up to and including the first SOS; empty when the
// data do not begin with SOI or a segment runs past the end.
QVector<JpegSegment> jpegSegments(const QByteArray& data);

// The first segment with this marker, or nullptr.
const JpegSegment* findSegment(const QVector<JpegSegment>& segments, quint8 marker);

// Width and height from a start-of-frame segment's payload.
int frameWidth(const JpegSegment& frame);
int frameHeight(const JpegSegment& frame);
