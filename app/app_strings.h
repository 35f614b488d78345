// The texts of Vellumar's string table. The resource script carries the same texts (a test under
// Wine compares them); the portable code and its tests read them from here.
#pragma once

namespace vellumar {

constexpr int kFirstStringId = 1;
constexpr int kLastStringId = 15;

// Text of string table entry `id`, or nullptr for an id outside 1..15.
const char* AppString(int id);

}  // namespace vellumar
