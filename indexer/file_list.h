// The ordered list of file paths that an add-folder run collects before it touches the index.
#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <unordered_set>

class FileList {
public:
    void Append(const std::string& path) {
        paths.push_back(path);
        members.insert(path);
    }
    size_t Count() const { return paths.size(); }
    // A copy of entry `index`; empty outside the list.
    std::string Entry(size_t index) const { return index < paths.size() ? paths[index] : std::string(); }
    void RemoveFirst() {
        if (!paths.empty()) {
            // The set holds each distinct path once; keep it while another entry has the same text.
            std::string first = std::move(paths.front());
            paths.pop_front();
            if (std::find(paths.begin(), paths.end(), first) == paths.end()) {
                members.erase(first);
            }
        }
    }
    // Exact byte comparison; the answer is that of a search from the first entry to the last.
    bool Contains(const std::string& path) const { return members.count(path) != 0; }

private:
    std::deque<std::string> paths;
    std::unordered_set<std::string> members;  // the removal pass asks once per index record
};
