// libFuzzer entry for the JPEG decoder: any bytes must give a picture or an
// error, never a crash, a hang or a leak. Built and run by tools/fuzz_jpeg.sh.
#include "ui/widgets/JpegDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    JpegDecoder decoder;
    const QImage image = decoder.decode(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    // Either a picture or a reason, never both or neither.
    if (image.isNull() == decoder.error().isEmpty())
        __builtin_trap();
    return 0;
}
