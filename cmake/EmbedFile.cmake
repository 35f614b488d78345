# Writes a C++ source that holds a file's bytes as an array, for resources compiled into a program.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=kName -P EmbedFile.cmake
# The source defines `const unsigned char NAME[]` and `const size_t NAME##Size` (NAME followed by "Size").
get_filename_component(inputName ${INPUT} NAME)
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line keeps the generated file readable in a debugger.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
"// Generated from ${inputName} by cmake/EmbedFile.cmake; do not edit.
#include <cstddef>

extern const unsigned char ${NAME}[] = {
    ${bytes}0x00};
extern const size_t ${NAME}Size = ${size};
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
