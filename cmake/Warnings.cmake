# Warnings are errors on our own targets (not on GoogleTest or other third-party code).
function(vellumar_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor
                                                 -Wno-missing-field-initializers)
    endif()
endfunction()
