# Refuses an include of the window, platform or console layer in the core, as the missing Qt include path
# refuses Qt there: the core must build and be tested without any of them. Run with -P and
# -DCORE_DIR=<folder>; fails naming every offending line.
if(NOT CORE_DIR)
    message(FATAL_ERROR "CheckCoreLayer: CORE_DIR is not set")
endif()
file(GLOB_RECURSE sources ${CORE_DIR}/*.cpp ${CORE_DIR}/*.h)
if(NOT sources)
    message(FATAL_ERROR "CheckCoreLayer: no sources under ${CORE_DIR}")
endif()
set(offences "")
foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
        # Relative paths ("../ui/...") and a leading src/ reach the same folders.
        if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"](\\.\\.?/|src/)*(ui|platform|cli)/")
            string(APPEND offences "\n  ${source}: ${line}")
        endif()
    endforeach()
endforeach()
if(offences)
    message(FATAL_ERROR "src/core includes another layer (the core must stay free of ui/, platform/ and cli/):"
                        "${offences}")
endif()
