# Warnings and sanitizers, applied to every target of ours through plivan_warnings.
add_library(plivan_warnings INTERFACE)
target_compile_options(plivan_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wold-style-cast
    $<$<BOOL:${PLIVAN_WERROR}>:-Werror>)
target_compile_definitions(plivan_warnings INTERFACE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(PLIVAN_FUZZ)
    # Coverage for libFuzzer in every library the fuzz targets link.
    target_compile_options(plivan_warnings INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
    target_link_options(plivan_warnings INTERFACE -fsanitize=address,undefined)
endif()
if(PLIVAN_SANITIZE)
    target_compile_options(plivan_warnings INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(plivan_warnings INTERFACE -fsanitize=address,undefined)
endif()
