// A small language library for the tests. LANG_PROGRAM (a text) is the program it claims
// to belong to; without LANG_HAS_INFO it lacks the export that says so.
#include "LanguageLibraryAbi.h"
#include "cldrip/NameText.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A 2 x 3 picture in the BMP format (24 bits, rows bottom-up padded to 4 bytes), all
// pixels of one colour, so that the tests can tell it from the program's own pictures.
std::vector<unsigned char> makeBmp() {
    const int width = 2, height = 3, rowBytes = 8;
    const int size = 54 + rowBytes * height;
    std::vector<unsigned char> b(static_cast<std::size_t>(size), 0);
    auto put32 = [&](int at, int v) {
        for (int i = 0; i < 4; ++i)
            b[static_cast<std::size_t>(at + i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto at = static_cast<std::size_t>(54 + y * rowBytes + x * 3);
            b[at] = 0x30;     // blue
            b[at + 1] = 0x20; // green
            b[at + 2] = 0x10; // red
        }
    return b;
}

} // namespace

#ifdef LANG_HAS_INFO
extern "C" __attribute__((visibility("default"))) void GetLocalizedDllInfo(NameText* record) {
    std::free(record->m_text);
    record->m_text = strdup(LANG_PROGRAM);
}
#endif

extern "C" __attribute__((visibility("default"))) const char* CLDLangText(int kind, int id,
                                                                          int control) {
    if (kind == cld::langabi::kString && id == 102)
        return "Test: " LANG_PROGRAM " beenden";
    if (kind == cld::langabi::kCaption && id == 175)
        return "Test-Installation";
    if (kind == cld::langabi::kControl && id == 175 && control == 1001)
        return "Test: bitte warten";
    return nullptr;
}

extern "C" __attribute__((visibility("default"))) int
CLDLangResource(const char* type, int id, const unsigned char** data, unsigned long* size) {
    static const std::vector<unsigned char> picture = makeBmp();
    if ((std::strcmp(type, "PNG") == 0 && id == 172) ||
        (std::strcmp(type, "BITMAP") == 0 && id == 130)) {
        *data = picture.data();
        *size = picture.size();
        return 1;
    }
    return 0;
}
