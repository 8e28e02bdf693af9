# One INTERFACE target carries the language standard, warnings, Qt strictness and sanitizers;
# every library, program and test links it.
add_library(telnormer_options INTERFACE)
target_compile_features(telnormer_options INTERFACE cxx_std_20)
target_compile_options(telnormer_options INTERFACE -Wall -Wextra -Wpedantic)
if(TELNORMER_WERROR)
    target_compile_options(telnormer_options INTERFACE -Werror)
endif()
target_compile_definitions(telnormer_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_NO_KEYWORDS
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_UP_TO=0x060400
    TELNORMER_VERSION="${PROJECT_VERSION}"
    TELNORMER_COPYRIGHT="${TELNORMER_COPYRIGHT}")
if(TELNORMER_SANITIZE)
    set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(telnormer_options INTERFACE ${_san})
    target_link_options(telnormer_options INTERFACE ${_san})
endif()
# An index one past a std::array is no sanitizer finding: the library's own checks catch it.
if(TELNORMER_CHECKED OR TELNORMER_SANITIZE)
    target_compile_definitions(telnormer_options INTERFACE _GLIBCXX_ASSERTIONS)
endif()
if(TELNORMER_FUZZ)
    # Libraries get coverage feedback and the sanitizers; the fuzz targets add libFuzzer's main.
    set(_fuzz -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_compile_options(telnormer_options INTERFACE ${_fuzz})
    target_link_options(telnormer_options INTERFACE -fsanitize=address,undefined)
endif()
