# Generates the built-in string table (and the Windows STRINGTABLE fragments) from strings.txt.
# Included from Common/CMakeLists.txt after vfwu_common is defined.
set(VFWU_STRINGS_SOURCE ${CMAKE_CURRENT_LIST_DIR}/strings.txt)
set(VFWU_STRINGS_GENERATOR ${CMAKE_CURRENT_LIST_DIR}/GenerateStrings.cmake)
set(VFWU_STRINGS_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/StringTable.cpp)
# Windows builds add ${VFWU_STRINGS_RC_DIR}/StringTables.rc to their resource script (it includes
# one strings_<language id>.rc per language).
set(VFWU_STRINGS_RC_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated/rc)
set(VFWU_STRINGS_RC_DIR ${VFWU_STRINGS_RC_DIR} PARENT_SCOPE)

add_custom_command(
  OUTPUT ${VFWU_STRINGS_CPP} ${VFWU_STRINGS_RC_DIR}/StringTables.rc
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${VFWU_STRINGS_SOURCE} -DCPP_OUT=${VFWU_STRINGS_CPP}
          -DRC_DIR=${VFWU_STRINGS_RC_DIR} -P ${VFWU_STRINGS_GENERATOR}
  DEPENDS ${VFWU_STRINGS_SOURCE} ${VFWU_STRINGS_GENERATOR}
  COMMENT "Generating the localized string tables"
  VERBATIM)
target_sources(vfwu_common PRIVATE ${VFWU_STRINGS_CPP})
