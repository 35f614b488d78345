// An in-memory registry for the registration tests: keys with case-insensitive names, REG_SZ values,
// the failure rules of the real one (a key with subkeys cannot be deleted alone) and injected failures.
#pragma once

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolbar/registry_access.h"

namespace testsupport {

constexpr RegistryStatus kAccessDenied = 5;  // ERROR_ACCESS_DENIED

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};

enum class RegistryOperation { CreateKey, SetValue, DeleteKey, DeleteTree };

class MemoryRegistry : public RegistryAccess {
public:
    // Called before each operation; a status other than kRegistryOk makes the operation fail with it.
    std::function<RegistryStatus(RegistryOperation, RegistryRoot, const std::string& key)> failWhen;
    // Every operation asked for, in order, as "Operation ROOT\key".
    std::vector<std::string> log;

    RegistryStatus CreateKey(RegistryRoot root, const std::string& key) override {
        if (RegistryStatus status = Check(RegistryOperation::CreateKey, root, key); status != kRegistryOk) {
            return status;
        }
        Node* node = &Root(root);
        for (const std::string& part : Split(key)) {
            std::unique_ptr<Node>& child = node->children[part];
            if (!child) {
                child = std::make_unique<Node>();
            }
            node = child.get();
        }
        return kRegistryOk;
    }

    RegistryStatus SetValue(RegistryRoot root, const std::string& key, const std::string& name,
                            const std::string& data) override {
        if (RegistryStatus status = Check(RegistryOperation::SetValue, root, key); status != kRegistryOk) {
            return status;
        }
        Node* node = Find(root, key);
        if (node == nullptr) {
            return kRegistryNotFound;
        }
        node->values[name] = data;
        return kRegistryOk;
    }

    RegistryStatus DeleteKey(RegistryRoot root, const std::string& key) override {
        if (RegistryStatus status = Check(RegistryOperation::DeleteKey, root, key); status != kRegistryOk) {
            return status;
        }
        auto [parent, name] = FindParent(root, key);
        if (parent == nullptr || parent->children.count(name) == 0) {
            return kRegistryNotFound;
        }
        if (!parent->children[name]->children.empty()) {
            return kAccessDenied;
        }
        parent->children.erase(name);
        return kRegistryOk;
    }

    RegistryStatus DeleteTree(RegistryRoot root, const std::string& key) override {
        if (RegistryStatus status = Check(RegistryOperation::DeleteTree, root, key); status != kRegistryOk) {
            return status;
        }
        auto [parent, name] = FindParent(root, key);
        if (parent == nullptr || parent->children.erase(name) == 0) {
            return kRegistryNotFound;
        }
        return kRegistryOk;
    }

    bool HasKey(RegistryRoot root, const std::string& key) { return Find(root, key) != nullptr; }

    // The value, or "<missing>" when the key or the value does not exist.
    std::string Value(RegistryRoot root, const std::string& key, const std::string& name = {}) {
        Node* node = Find(root, key);
        if (node == nullptr || node->values.count(name) == 0) {
            return "<missing>";
        }
        return node->values[name];
    }

    size_t SubkeyCount(RegistryRoot root, const std::string& key) {
        Node* node = Find(root, key);
        return node == nullptr ? 0 : node->children.size();
    }

    // Every key and value as lines "HKCR\key" and "HKCR\key [name]=data", sorted.
    std::vector<std::string> Dump() {
        std::vector<std::string> lines;
        DumpNode(classesRoot, "HKCR", lines);
        DumpNode(localMachine, "HKLM", lines);
        return lines;
    }

private:
    struct Node {
        std::map<std::string, std::string, CaseInsensitiveLess> values;
        std::map<std::string, std::unique_ptr<Node>, CaseInsensitiveLess> children;
    };

    static std::vector<std::string> Split(const std::string& key) {
        std::vector<std::string> parts;
        size_t start = 0;
        while (start <= key.size()) {
            size_t end = key.find('\\', start);
            if (end == std::string::npos) {
                end = key.size();
            }
            parts.push_back(key.substr(start, end - start));
            start = end + 1;
        }
        return parts;
    }

    static const char* RootName(RegistryRoot root) {
        return root == RegistryRoot::ClassesRoot ? "HKCR" : "HKLM";
    }

    static void DumpNode(const Node& node, const std::string& path, std::vector<std::string>& lines) {
        for (const auto& [name, data] : node.values) {
            lines.push_back(path + " [" + name + "]=" + data);
        }
        for (const auto& [name, child] : node.children) {
            lines.push_back(path + "\\" + name);
            DumpNode(*child, path + "\\" + name, lines);
        }
    }

    RegistryStatus Check(RegistryOperation operation, RegistryRoot root, const std::string& key) {
        static const char* const kNames[] = {"CreateKey", "SetValue", "DeleteKey", "DeleteTree"};
        log.push_back(std::string(kNames[static_cast<int>(operation)]) + " " + RootName(root) + "\\" + key);
        if (key.empty()) {
            return 87;  // ERROR_INVALID_PARAMETER: never touch a root as a whole
        }
        return failWhen ? failWhen(operation, root, key) : kRegistryOk;
    }

    Node& Root(RegistryRoot root) { return root == RegistryRoot::ClassesRoot ? classesRoot : localMachine; }

    Node* Find(RegistryRoot root, const std::string& key) {
        Node* node = &Root(root);
        for (const std::string& part : Split(key)) {
            auto child = node->children.find(part);
            if (child == node->children.end()) {
                return nullptr;
            }
            node = child->second.get();
        }
        return node;
    }

    std::pair<Node*, std::string> FindParent(RegistryRoot root, const std::string& key) {
        size_t slash = key.rfind('\\');
        if (slash == std::string::npos) {
            return {&Root(root), key};
        }
        return {Find(root, key.substr(0, slash)), key.substr(slash + 1)};
    }

    Node classesRoot;
    Node localMachine;
};

}  // namespace testsupport
