# The desktop's name for the program, read from the product identity so that the program,
# its icons, its menu entry and its metainfo all carry the same one.
file(STRINGS ${CMAKE_SOURCE_DIR}/common/ProductIdentity.h cld_desktop_id_line
    REGEX "kDesktopId = \"[^\"]+\"")
string(REGEX REPLACE ".*kDesktopId = \"([^\"]+)\".*" "\\1" CLD_DESKTOP_ID "${cld_desktop_id_line}")
file(STRINGS ${CMAKE_SOURCE_DIR}/common/ProductIdentity.h cld_version_line
    REGEX "kDisplayVersion = \"[^\"]+\"")
string(REGEX REPLACE ".*kDisplayVersion = \"([^\"]+)\".*" "\\1" CLD_DISPLAY_VERSION
    "${cld_version_line}")
if(NOT CLD_DESKTOP_ID OR NOT CLD_DISPLAY_VERSION)
    message(FATAL_ERROR "common/ProductIdentity.h names no desktop id or display version")
endif()
# Where an installation keeps the program's libraries and data, below the prefix; the
# program finds the folder from its own place (app/InstallLayout.h).
set(CLD_INSTALL_PRIVATE_DIR lib/calderine)
