#include "app/format_text.h"

namespace vellumar {

std::string FormatText(std::string_view format, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(format.size() + 64);
    size_t nextArg = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        char directive = format[i + 1];
        if (directive == '%') {
            out += '%';
            ++i;
        } else if (directive == 'd' || directive == 's') {
            if (nextArg < args.size()) {
                out += args[nextArg];
            }
            ++nextArg;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace vellumar
