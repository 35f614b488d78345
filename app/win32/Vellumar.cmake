# The Windows side of Vellumar.exe: dialog, tray icon, page host, control site, start-up.
add_library(vellumar_app_win32 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/activation_hook.cpp
    ${CMAKE_CURRENT_LIST_DIR}/control_site.cpp
    ${CMAKE_CURRENT_LIST_DIR}/custom_control_site.cpp
    ${CMAKE_CURRENT_LIST_DIR}/html_page_host.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_index_dialog.cpp
)
target_include_directories(vellumar_app_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vellumar_app_win32 PUBLIC vellumar_app_logic foundation_win32 ole32 oleaut32 uuid comctl32 shell32 user32 gdi32)
vellumar_warnings(vellumar_app_win32)

set(VELLUMAR_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources)
set(VELLUMAR_RESOURCE_FILES
    ${VELLUMAR_RESOURCES}/vellumar.ico
    ${VELLUMAR_RESOURCES}/pages/update_index.htm
    ${VELLUMAR_RESOURCES}/pages/update_complete.htm
    ${VELLUMAR_RESOURCES}/pages/add.htm
    ${VELLUMAR_RESOURCES}/pages/style.css
    ${CMAKE_CURRENT_SOURCE_DIR}/resource_ids.h
)
set_source_files_properties(${VELLUMAR_RESOURCES}/vellumar.rc PROPERTIES
    OBJECT_DEPENDS "${VELLUMAR_RESOURCE_FILES}"
    COMPILE_FLAGS "-I${VELLUMAR_RESOURCES} -I${CMAKE_CURRENT_SOURCE_DIR}")

if(TARGET indexer)
    add_executable(Vellumar WIN32
        ${CMAKE_CURRENT_LIST_DIR}/vellumar_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/engine_indexing_service.cpp
        ${VELLUMAR_RESOURCES}/vellumar.rc
    )
    target_link_libraries(Vellumar PRIVATE vellumar_app_win32 indexer)
    # Thumbnails of very large pictures need more than 2 GB of address space (a 64-bit build has it).
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(Vellumar PRIVATE -Wl,--large-address-aware)
    endif()
    vellumar_warnings(Vellumar)
endif()
