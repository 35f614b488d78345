// printf-like filling of the string table's message formats without printf: the formats come from
// resources and the arguments from the engine and the user, so nothing here may read past what
// it was given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vellumar {

// Replaces each "%d" or "%s" of `format`, in order, by the next of `args` (already text), "%%" by
// "%". A directive without a remaining argument becomes empty; any other '%' is copied unchanged.
std::string FormatText(std::string_view format, const std::vector<std::string>& args);

}  // namespace vellumar
