# libjpeg-turbo for the Windows builds. Debian ships no MinGW build of it: its Debian source package, which
# tools/install-deps.sh fetches into build/third_party, is cross-compiled here with this build's toolchain
# and nasm, as a static library, once per build folder. Defines the target vellumar_jpeg.
include(ExternalProject)

set(VELLUMAR_JPEG_TURBO_SOURCE "" CACHE PATH
    "The libjpeg-turbo sources (default: the newest build/third_party/libjpeg-turbo-* of the source tree)")
if(NOT VELLUMAR_JPEG_TURBO_SOURCE)
    file(GLOB jpeg_turbo_candidates LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/build/third_party/libjpeg-turbo-*)
    foreach(candidate ${jpeg_turbo_candidates})
        if(EXISTS ${candidate}/CMakeLists.txt)
            set(jpeg_turbo_source ${candidate})
        endif()
    endforeach()
else()
    set(jpeg_turbo_source ${VELLUMAR_JPEG_TURBO_SOURCE})
endif()
if(NOT jpeg_turbo_source OR NOT EXISTS ${jpeg_turbo_source}/CMakeLists.txt)
    message(FATAL_ERROR "No libjpeg-turbo sources: run tools/install-deps.sh, which fetches Debian's source "
                        "package into build/third_party, or set VELLUMAR_JPEG_TURBO_SOURCE")
endif()
find_program(VELLUMAR_NASM nasm REQUIRED)

set(jpeg_turbo_prefix ${CMAKE_BINARY_DIR}/jpeg-turbo)
set(jpeg_turbo_library ${jpeg_turbo_prefix}/lib/libjpeg.a)
ExternalProject_Add(jpeg_turbo
    SOURCE_DIR ${jpeg_turbo_source}
    BINARY_DIR ${jpeg_turbo_prefix}/build
    INSTALL_DIR ${jpeg_turbo_prefix}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_CACHE_ARGS
        -DCMAKE_TOOLCHAIN_FILE:FILEPATH=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE:STRING=Release
        -DCMAKE_INSTALL_PREFIX:PATH=<INSTALL_DIR>
        -DCMAKE_INSTALL_LIBDIR:PATH=lib
        -DCMAKE_INSTALL_INCLUDEDIR:PATH=include
        -DCMAKE_ASM_NASM_COMPILER:FILEPATH=${VELLUMAR_NASM}
        -DENABLE_SHARED:BOOL=OFF
        -DENABLE_STATIC:BOOL=ON
        -DWITH_TURBOJPEG:BOOL=OFF
        -DREQUIRE_SIMD:BOOL=ON
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static -- -j2
    INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory <INSTALL_DIR>/lib <INSTALL_DIR>/include
    COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libjpeg.a <INSTALL_DIR>/lib/
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/jpeglib.h <SOURCE_DIR>/jmorecfg.h <SOURCE_DIR>/jerror.h
            <BINARY_DIR>/jconfig.h <INSTALL_DIR>/include/
    BUILD_BYPRODUCTS ${jpeg_turbo_library})

file(MAKE_DIRECTORY ${jpeg_turbo_prefix}/include)
add_library(vellumar_jpeg INTERFACE)
target_include_directories(vellumar_jpeg SYSTEM INTERFACE ${jpeg_turbo_prefix}/include)
target_link_libraries(vellumar_jpeg INTERFACE ${jpeg_turbo_library})
add_dependencies(vellumar_jpeg jpeg_turbo)
