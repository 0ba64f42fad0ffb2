# Header-only libraries the tools use (CLI11, nlohmann-json), as interface
# targets zorv_cli11 and zorv_json. They come from the system's include folder;
# a cross build must not search that folder for anything else (its C headers
# would shadow the target's), so it gets a folder of links to just these.
set(ZORV_SYSTEM_INCLUDE /usr/include)

function(zorv_header_library target header subdir)
  if(NOT EXISTS ${ZORV_SYSTEM_INCLUDE}/${header})
    message(FATAL_ERROR "${header} not found in ${ZORV_SYSTEM_INCLUDE}: run scripts/ensure-packages.sh's installer "
                        "(the tools need the Debian packages libcli11-dev and nlohmann-json3-dev)")
  endif()
  add_library(${target} INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    set(links ${CMAKE_BINARY_DIR}/tool-headers)
    file(MAKE_DIRECTORY ${links})
    file(CREATE_LINK ${ZORV_SYSTEM_INCLUDE}/${subdir} ${links}/${subdir} SYMBOLIC)
    target_include_directories(${target} SYSTEM INTERFACE ${links})
  endif()
endfunction()

if(NOT TARGET zorv_cli11)
  zorv_header_library(zorv_cli11 CLI/CLI.hpp CLI)
  zorv_header_library(zorv_json nlohmann/json.hpp nlohmann)
endif()
