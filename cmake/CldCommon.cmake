# cld_common carries the language standard, the warnings and the sanitizer flags; every
# target of the project links it.
add_library(cld_common INTERFACE)
target_compile_features(cld_common INTERFACE cxx_std_20)
target_compile_options(cld_common INTERFACE
    -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
    -Woverloaded-virtual -Wpedantic -Wnull-dereference -Wformat=2
    $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
target_compile_definitions(cld_common INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER)
if(CLD_WERROR)
    target_compile_options(cld_common INTERFACE -Werror)
endif()
if(CLD_SANITIZE)
    target_compile_options(cld_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(cld_common INTERFACE -fsanitize=address,undefined)
endif()
option(CLD_TSAN "Build with the thread sanitizer (the ripper and settings tests)" OFF)
if(CLD_TSAN)
    target_compile_options(cld_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer -O1)
    target_link_options(cld_common INTERFACE -fsanitize=thread)
endif()
if(CLD_FUZZ)
    target_compile_options(cld_common INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(cld_common INTERFACE -fsanitize=address,undefined)
endif()
