// The class factory cache: one object per class, made once, also when many threads ask at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "toolbar/class_object_cache.h"

namespace {

struct Factory {
    int slot = 0;
};

TEST(ClassObjectCache, MakesEachObjectOnceAndKeepsIt) {
    ClassObjectCache<Factory, 3> cache;
    std::vector<Factory> storage(3);
    int made = 0;
    auto make = [&](int slot) {
        return [&, slot]() {
            ++made;
            storage[slot].slot = slot;
            return &storage[slot];
        };
    };
    Factory* first = cache.Get(1, make(1));
    EXPECT_EQ(first, &storage[1]);
    EXPECT_EQ(cache.Get(1, make(1)), first);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(cache.Get(0, make(0)), &storage[0]);
    EXPECT_EQ(cache.Get(2, make(2)), &storage[2]);
    EXPECT_EQ(made, 3);
}

TEST(ClassObjectCache, OutOfRangeMakesNothing) {
    ClassObjectCache<Factory, 3> cache;
    bool called = false;
    auto make = [&]() -> Factory* {
        called = true;
        return nullptr;
    };
    EXPECT_EQ(cache.Get(3, make), nullptr);
    EXPECT_EQ(cache.Get(static_cast<size_t>(-1), make), nullptr);
    EXPECT_FALSE(called);
}

TEST(ClassObjectCache, AFailedMakeIsTriedAgain) {
    ClassObjectCache<Factory, 1> cache;
    Factory object;
    EXPECT_EQ(cache.Get(0, []() -> Factory* { return nullptr; }), nullptr);
    EXPECT_EQ(cache.Get(0, [&]() { return &object; }), &object);
}

TEST(ClassObjectCache, ClearDisposesEveryStoredObjectOnce) {
    ClassObjectCache<Factory, 3> cache;
    Factory a;
    Factory c;
    cache.Get(0, [&]() { return &a; });
    cache.Get(2, [&]() { return &c; });
    std::vector<Factory*> disposed;
    cache.Clear([&](Factory* object) { disposed.push_back(object); });
    EXPECT_EQ(disposed, (std::vector<Factory*>{&a, &c}));
    cache.Clear([&](Factory* object) { disposed.push_back(object); });
    EXPECT_EQ(disposed.size(), 2u);
    // Emptied: the next request makes a new object.
    Factory fresh;
    EXPECT_EQ(cache.Get(0, [&]() { return &fresh; }), &fresh);
}

TEST(ClassObjectCache, ConcurrentFirstRequestsShareOneObject) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        ClassObjectCache<Factory, 3> cache;
        std::atomic<int> made{0};
        std::atomic<bool> go{false};
        std::vector<Factory*> seen(kThreads);
        std::vector<Factory> storage(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t]() {
                while (!go.load()) {
                    std::this_thread::yield();
                }
                seen[t] = cache.Get(1, [&]() {
                    made.fetch_add(1);
                    return &storage[t];
                });
            });
        }
        go.store(true);
        for (std::thread& thread : threads) {
            thread.join();
        }
        ASSERT_EQ(made.load(), 1) << "round " << round;
        for (int t = 1; t < kThreads; ++t) {
            ASSERT_EQ(seen[t], seen[0]) << "round " << round;
        }
    }
}

}  // namespace
