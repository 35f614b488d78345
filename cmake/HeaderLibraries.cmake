# The header-only libraries the command-line tool uses, from the build machine's packages (Debian
# libcli11-dev and nlohmann-json3-dev), as the targets vellumar::cli11 and vellumar::json.
#
# A cross build must not see the build machine's other headers: it gets a folder of its own that holds only
# links to these two libraries' header folders.
function(vellumar_header_library target header folder)
    if(TARGET ${target})
        return()
    endif()
    find_path(found_${folder} ${header} PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH
              NO_DEFAULT_PATH)
    if(NOT found_${folder})
        message(FATAL_ERROR "${header} not found: run tools/install-deps.sh")
    endif()
    set(root ${CMAKE_BINARY_DIR}/header-libraries)
    file(MAKE_DIRECTORY ${root})
    if(NOT EXISTS ${root}/${folder})
        file(CREATE_LINK ${found_${folder}}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    target_include_directories(${target} SYSTEM INTERFACE ${root})
endfunction()

vellumar_header_library(vellumar::cli11 CLI/CLI.hpp CLI)
vellumar_header_library(vellumar::json nlohmann/json.hpp nlohmann)
