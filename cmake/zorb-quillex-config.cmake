# find_package(zorb-quillex CONFIG): the tool as zorb-quillex::zorb-quillex, the header-only reader
# of its binary message tables as zorb-quillex::reader, and quillex_add_messages().
include("${CMAKE_CURRENT_LIST_DIR}/zorb-quillex-targets.cmake")

get_target_property(_quillex_location zorb-quillex::zorb-quillex LOCATION)
set(QUILLEX_EXECUTABLE "${_quillex_location}" CACHE FILEPATH
    "The zorb-quillex that quillex_add_messages runs (when cross-compiling: one for the build machine)")
unset(_quillex_location)

include("${CMAKE_CURRENT_LIST_DIR}/QuillexAddMessages.cmake")
