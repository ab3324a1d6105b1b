#include "JpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// The libjpeg calls, with nothing in scope that a longjmp could skip the
// destructor of.
bool compress(const unsigned char* rgb, int width, int height, const JpegOptions& options, const unsigned char* exif,
    unsigned exifSize, unsigned char** out, unsigned long* outSize, char* message)
{
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    const int sampling = options.fullChroma ? 1 : 2;
    cinfo.comp_info[0].h_samp_factor = sampling;
    cinfo.comp_info[0].v_samp_factor = sampling;
    cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    cinfo.write_JFIF_header = exif ? FALSE : TRUE;
    cinfo.density_unit = 1; // dots per inch
    cinfo.X_density = cinfo.Y_density = 96;
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (exif)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, exifSize);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb) + static_cast<size_t>(cinfo.next_scanline) * width * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// Little-endian TIFF structures for the Exif block.
class TiffBuilder {
public:
    struct Entry {
        quint16 tag, type;
        quint32 count;
        QByteArray data; // the value's bytes; placed inline when 4 or fewer
    };

    static QByteArray u16(quint16 v)
    {
        const char b[2] = { char(v & 0xFF), char(v >> 8) };
        return QByteArray(b, 2);
    }
    static QByteArray u32(quint32 v)
    {
        const char b[4] = { char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24) };
        return QByteArray(b, 4);
    }

    // An IFD at offset `at` (from the TIFF header) followed by its data area.
    static QByteArray ifd(const std::vector<Entry>& entries, quint32 at)
    {
        QByteArray table, data;
        const quint32 dataStart = at + 2 + 12 * quint32(entries.size()) + 4;
        table += u16(quint16(entries.size()));
        for (const Entry& e : entries) {
            table += u16(e.tag) + u16(e.type) + u32(e.count);
            if (e.data.size() <= 4) {
                table += e.data + QByteArray(4 - e.data.size(), '\0');
            } else {
                table += u32(dataStart + quint32(data.size()));
                data += e.data;
                if (data.size() % 2)
                    data += '\0';
            }
        }
        table += u32(0); // no next IFD
        return table + data;
    }
};

enum : quint16 { Ascii = 2, Short = 3, Long = 4, Rational = 5, Undefined = 7 };

TiffBuilder::Entry ascii(quint16 tag, const QString& text)
{
    QByteArray bytes = text.toLatin1() + '\0';
    return { tag, Ascii, quint32(bytes.size()), bytes };
}

} // namespace

QByteArray JpegWriter::exifBlock(QSize size, const JpegOptions& options)
{
    using T = TiffBuilder;
    std::vector<T::Entry> exifIfd = {
        { 0x9000, Undefined, 4, QByteArrayLiteral("0232") },
        { 0xA001, Short, 1, T::u16(1) }, // sRGB
        { 0xA002, Long, 1, T::u32(quint32(size.width())) },
        { 0xA003, Long, 1, T::u32(quint32(size.height())) },
    };
    std::vector<T::Entry> ifd0 = {
        { 0x0112, Short, 1, T::u16(1) }, // top-left orientation
        { 0x011A, Rational, 1, T::u32(96) + T::u32(1) }, { 0x011B, Rational, 1, T::u32(96) + T::u32(1) },
        { 0x0128, Short, 1, T::u16(2) }, // inches
        ascii(0x0131, options.software), ascii(0x013B, options.artist), ascii(0x8298, options.copyright),
        { 0x8769, Long, 1, T::u32(0) }, // the Exif IFD's offset, set below
    };
    // IFD0 starts right after the 8-byte header; the Exif IFD follows it.
    const quint32 ifd0At = 8;
    const quint32 exifAt = ifd0At + quint32(T::ifd(ifd0, ifd0At).size());
    ifd0.back().data = T::u32(exifAt);
    QByteArray tiff = QByteArray("II*\0", 4) + T::u32(ifd0At);
    tiff += T::ifd(ifd0, ifd0At);
    tiff += T::ifd(exifIfd, exifAt);
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray JpegWriter::encode(const QImage& image, const JpegOptions& options)
{
    m_error.clear();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    // Rows of a QImage are padded to 4 bytes; libjpeg wants them packed.
    std::vector<unsigned char> packed(size_t(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y)
        std::copy_n(rgb.constScanLine(y), rgb.width() * 3, packed.begin() + ptrdiff_t(y) * rgb.width() * 3);

    const QByteArray exif
        = options.header == JpegOptions::Header::Exif ? exifBlock(image.size(), options) : QByteArray();
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    char message[JMSG_LENGTH_MAX] = "";
    const bool ok = compress(packed.data(), rgb.width(), rgb.height(), options,
        exif.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(exif.constData()), unsigned(exif.size()),
        &out, &outSize, message);
    QByteArray result;
    if (ok)
        result = QByteArray(reinterpret_cast<const char*>(out), qsizetype(outSize));
    else
        m_error = QString::fromLatin1(message);
    std::free(out);
    return result;
}
