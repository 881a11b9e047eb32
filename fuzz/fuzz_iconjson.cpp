// Feeds arbitrary bytes to the reader of a bundle's icon.json, and writes back what it accepts:
// the text written must read back to the same document, and write again to the same text.
#include "catalogue/IconJson.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QJsonObject document;
    QString error;
    if (!IconJson::read(text, &document, &error)) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    const QByteArray written = IconJson::write(document);
    QJsonObject again;
    if (!IconJson::read(written, &again, &error) || again != document ||
        IconJson::write(again) != written)
        std::abort();
    return 0;
}
