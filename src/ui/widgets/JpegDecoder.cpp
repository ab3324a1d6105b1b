#include "ui/widgets/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace {

constexpr long kMaxMemory = 512L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failWith(j_common_ptr cinfo, const char* text)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(manager->message, sizeof manager->message, "%s", text);
    std::longjmp(manager->jump, 1);
}

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Level -1 is a warning: libjpeg would carry on over damaged or missing data
// and fill in grey. A picture of the program is whole or it is an error.
void emitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        errorExit(cinfo);
}

void progress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > JpegDecoder::kMaxScans)
        failWith(cinfo, "Too many scans in a progressive JPEG file");
}

struct Decoded {
    unsigned char* pixels = nullptr; // malloc'd, width * height * 3
    int width = 0;
    int height = 0;
};

// All libjpeg calls, with nothing in scope whose destructor a longjmp could
// skip; the pixels live in *out so that the caller frees them either way.
bool decompress(const unsigned char* data, unsigned long size, Decoded* out, char* message)
{
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr monitor;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.emit_message = emitMessage;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxMemory;
    monitor.progress_monitor = progress;
    cinfo.progress = &monitor;
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    if (qint64(cinfo.image_width) * cinfo.image_height > JpegDecoder::kMaxPixels)
        failWith(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG picture too large");
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3)
        failWith(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG picture does not decode to RGB");
    const size_t stride = size_t(cinfo.output_width) * 3;
    out->width = int(cinfo.output_width);
    out->height = int(cinfo.output_height);
    out->pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
    if (!out->pixels)
        failWith(reinterpret_cast<j_common_ptr>(&cinfo), "Not enough memory for the JPEG picture");
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

QImage JpegDecoder::decode(const QByteArray& data)
{
    m_error.clear();
    if (data.isEmpty()) {
        m_error = QStringLiteral("Empty JPEG file");
        return {};
    }
    Decoded decoded;
    char message[JMSG_LENGTH_MAX] = "";
    const bool ok = decompress(reinterpret_cast<const unsigned char*>(data.constData()),
        static_cast<unsigned long>(data.size()), &decoded, message);
    QImage image;
    if (ok) {
        image = QImage(decoded.width, decoded.height, QImage::Format_RGB888);
        if (image.isNull()) {
            m_error = QStringLiteral("Not enough memory for the JPEG picture");
        } else {
            const size_t stride = size_t(decoded.width) * 3;
            for (int y = 0; y < decoded.height; ++y)
                std::memcpy(image.scanLine(y), decoded.pixels + stride * y, stride);
        }
    } else {
        m_error = QString::fromLatin1(message);
    }
    std::free(decoded.pixels);
    return image;
}
