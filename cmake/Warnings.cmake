# One warnings target for all of our code.
add_library(zandel_warnings INTERFACE)
target_compile_options(zandel_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
if(ZANDEL_WERROR)
    target_compile_options(zandel_warnings INTERFACE -Werror)
endif()
