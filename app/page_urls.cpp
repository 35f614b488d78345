#include "app/page_urls.h"

namespace vellumar {

std::string ResourceUrl(std::string_view executablePath, std::string_view pageName) {
    std::string url = "res://";
    url += executablePath;
    url += '/';
    url += pageName;
    return url;
}

std::string AddPageUrl(std::string_view executablePath) {
    size_t cut = executablePath.rfind('/');
    if (cut == std::string_view::npos) {
        cut = executablePath.rfind('\\');
    }
    // A bare file name has no folder part: the page is then addressed relative to the current folder.
    std::string url(cut == std::string_view::npos ? std::string_view() : executablePath.substr(0, cut));
    url += cut == std::string_view::npos ? "add.htm" : "/add.htm";
    return url;
}

}  // namespace vellumar
