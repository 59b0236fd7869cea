#pragma once

// The product's identity, named once: everything that shows or stores the vendor, the
// product, the version or the program's file name takes it from here.
namespace cld::identity {

inline constexpr const char* kVendor = "Quorvane";
inline constexpr const char* kProduct = "Calderine 2002";
// The version as the registry key and the protocol identity carry it.
inline constexpr const char* kVersion = "4.05";
// The version as the About box and the splash show it.
inline constexpr const char* kDisplayVersion = "4.05a";
// The program's own file name (the name language libraries report).
inline constexpr const char* kProgramName = "CLD";
// The desktop's name for the program: its menu entry, icon and metainfo are filed under it.
inline constexpr const char* kDesktopId = "com.quorvane.Calderine";
// The per-user profile key below "Software\".
inline constexpr const char* kRegistryKey = "Quorvane\\Calderine 2002";
// The language choice's key below HKEY_CURRENT_USER.
inline constexpr const char* kLanguageKeyPath = "SOFTWARE\\Quorvane\\Calderine 2002\\4.05";

} // namespace cld::identity
