// The ordered list of file paths that an add-folder run collects before it touches the index.
#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

class FileList {
public:
    FileList() = default;
    FileList(const FileList&) = delete;  // the lookup set points into `paths`
    FileList& operator=(const FileList&) = delete;

    void Append(const std::string& path) {
        paths.push_back(path);  // a deque keeps its elements in place as it grows
        members.insert(paths.back());
    }
    size_t Count() const { return paths.size(); }
    // A copy of entry `index`; empty outside the list.
    std::string Entry(size_t index) const { return index < paths.size() ? paths[index] : std::string(); }
    void RemoveFirst() {
        if (paths.empty()) {
            return;
        }
        // The set holds each distinct text once, pointing at its first entry: move it to the next one.
        auto found = members.find(paths.front());
        if (found != members.end() && found->data() == paths.front().data()) {
            members.erase(found);
            auto again = std::find(paths.begin() + 1, paths.end(), paths.front());
            if (again != paths.end()) {
                members.insert(*again);
            }
        }
        paths.pop_front();
    }
    // Exact byte comparison; the answer is that of a search from the first entry to the last.
    bool Contains(std::string_view path) const { return members.count(path) != 0; }

private:
    std::deque<std::string> paths;
    std::unordered_set<std::string_view> members;  // the removal pass asks once per index record
};
