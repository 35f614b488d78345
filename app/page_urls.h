// The addresses the page area is sent to.
#pragma once

#include <string>
#include <string_view>

namespace vellumar {

// "res://" + the executable's path exactly as the platform reports it + "/" + the resource name.
// No escaping: the resource protocol takes the path with its backslashes and spaces.
std::string ResourceUrl(std::string_view executablePath, std::string_view pageName);

// The "add.htm" beside the executable: the path is cut at its last '/' (or, without one, at its last
// '\'), the separator dropped, and "/add.htm" appended.
std::string AddPageUrl(std::string_view executablePath);

}  // namespace vellumar
