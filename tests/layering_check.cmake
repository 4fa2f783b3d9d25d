# Fails when a file of the portable core includes an operating-system or platform header,
# or reaches into another layer's folder.
file(GLOB_RECURSE core_files ${SOURCE_DIR}/Common/*.h ${SOURCE_DIR}/Common/*.cpp)
set(forbidden
  "#[ \t]*include[ \t]*[<\"](windows|winbase|winusb|setupapi|hidsdi|hidpi|cfgmgr32|dbt|commctrl|shlwapi)\\.h"
  "#[ \t]*include[ \t]*[<\"](unistd|fcntl|dirent|termios|pthread|poll|dlfcn)\\.h"
  "#[ \t]*include[ \t]*[<\"](sys|linux|asm|libudev|libusb-1\\.0)/"
  "#[ \t]*include[ \t]*[<\"](libudev|libusb)\\.h"
  "#[ \t]*include[ \t]*\"\\.\\./"
  "#[ \t]*include[ \t]*\"(Sim|Linux|Win)/")
set(failures "")
foreach(f ${core_files})
  file(STRINGS ${f} lines REGEX "#[ \t]*include")
  foreach(line ${lines})
    foreach(pattern ${forbidden})
      if(line MATCHES "${pattern}")
        string(APPEND failures "${f}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "The portable core includes platform headers:\n${failures}")
endif()
list(LENGTH core_files n)
message(STATUS "layering check: ${n} core files clean")
