// One object per class slot, made on the first request and kept for later ones. Requests may come from
// several threads of the host process at once; each slot is filled exactly once.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>

template <typename Object, size_t Count>
class ClassObjectCache {
public:
    ClassObjectCache() = default;
    ClassObjectCache(const ClassObjectCache&) = delete;
    ClassObjectCache& operator=(const ClassObjectCache&) = delete;

    // The object of slot `index`, made by `make()` (returning Object*, nullptr on failure) when the slot
    // is empty. nullptr for an index out of range or when `make` failed; a later request tries again.
    template <typename Make>
    Object* Get(size_t index, Make&& make) {
        if (index >= Count) {
            return nullptr;
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (objects[index] == nullptr) {
            objects[index] = make();
        }
        return objects[index];
    }

    // Hands every stored object to `dispose` and empties the cache.
    template <typename Dispose>
    void Clear(Dispose&& dispose) {
        std::lock_guard<std::mutex> lock(mutex);
        for (Object*& object : objects) {
            if (object != nullptr) {
                dispose(object);
                object = nullptr;
            }
        }
    }

private:
    std::mutex mutex;
    std::array<Object*, Count> objects{};
};
