#include "Utf8.h"

qsizetype validUtf8Prefix(QByteArrayView data, bool& invalid) {
    invalid = false;
    const qsizetype size = data.size();
    qsizetype i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(data[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            invalid = true;
            return i;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k >= size)
                return i;
            const auto next = static_cast<unsigned char>(data[i + k]);
            if ((next & 0xC0) != 0x80) {
                invalid = true;
                return i;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            invalid = true;
            return i;
        }
        i += length;
    }
    return i;
}
