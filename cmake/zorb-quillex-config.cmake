# find_package(zorb-quillex CONFIG): the tool as zorb-quillex::zorb-quillex, the header-only reader
# of its binary message tables as zorb-quillex::reader, and quillex_add_messages().
include("${CMAKE_CURRENT_LIST_DIR}/zorb-quillex-targets.cmake")

get_target_property(_quillex_location zorb-quillex::zorb-quillex LOCATION)
# Follows the package found, also when another is found later, unless set to a tool of its own
# (a cross build's, for the build machine).
if(NOT DEFINED QUILLEX_EXECUTABLE OR QUILLEX_EXECUTABLE STREQUAL "${_QUILLEX_PACKAGE_EXECUTABLE}")
  set(QUILLEX_EXECUTABLE "${_quillex_location}" CACHE FILEPATH
      "The zorb-quillex that quillex_add_messages runs (when cross-compiling: one for the build machine)"
      FORCE)
endif()
set(_QUILLEX_PACKAGE_EXECUTABLE "${_quillex_location}" CACHE INTERNAL
    "The package's own tool, which QUILLEX_EXECUTABLE follows unless set otherwise")
unset(_quillex_location)

include("${CMAKE_CURRENT_LIST_DIR}/QuillexAddMessages.cmake")
