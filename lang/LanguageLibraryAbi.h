#pragma once

// What a language library exports. Every text is UTF-8 and stays valid while the library
// is loaded.
//
//   void GetLocalizedDllInfo(NameText* record)
//       stores in record->m_text, allocated with malloc, the file name of the program the
//       library belongs to ("CLD"); the program frees it.
//   const char* CLDLangText(int kind, int id, int controlId)
//       the text of a string-table id, of a dialog's caption, or of one control of a
//       dialog (kind below); null when the library has none.
//   int CLDLangResource(const char* type, int id, const unsigned char** data,
//                       unsigned long* size)
//       1 with the bytes of a picture ("BITMAP", "ICON", "PNG"), 0 when it has none.

class NameText;

namespace cld::langabi {

enum TextKind : int {
    kString = 0,
    kCaption = 1,
    kControl = 2,
};

inline constexpr const char* kInfoExport = "GetLocalizedDllInfo";
inline constexpr const char* kTextExport = "CLDLangText";
inline constexpr const char* kResourceExport = "CLDLangResource";

using InfoFn = void (*)(NameText*);
using TextFn = const char* (*)(int kind, int id, int controlId);
using ResourceFn = int (*)(const char* type, int id, const unsigned char** data,
                           unsigned long* size);

} // namespace cld::langabi
