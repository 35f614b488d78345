#include "indexer/thumbnail_decoders.h"

#include <algorithm>

#include "indexer/platform.h"

namespace {

// Files queued per decoder: one being decoded and one ready, so that no decoder waits for the writer.
constexpr size_t kSlotsPerDecoder = 2;

// Each decoder may take the decoder memory limit (picture_limits.h): in a 32-bit process a few of them
// already fill a good part of the address space.
constexpr int kMaxDecoders = sizeof(void*) < 8 ? 4 : 64;

}  // namespace

RenderedThumbnail RenderSafely(const ThumbnailRenderer& render, const std::string& jpegPath) {
    RenderedThumbnail rendered;
    try {
        rendered.result =
            render ? render(jpegPath, rendered.bitmap) : RenderThumbnail(jpegPath, rendered.bitmap);
    } catch (...) {
        rendered.bitmap = BlackThumbnail();
        rendered.result = PictureResult();
    }
    return rendered;
}

int DecoderCount(int requested) {
    if (requested <= 0) {
        requested = static_cast<int>(std::thread::hardware_concurrency());
    }
    return std::clamp(requested, 1, kMaxDecoders);
}

ThumbnailDecoders::ThumbnailDecoders(int decoders, ThumbnailRenderer renderIn) : render(std::move(renderIn)) {
    if (decoders < 2) {
        return;
    }
    decoders = std::min(decoders, kMaxDecoders);
    capacity = static_cast<size_t>(decoders) * kSlotsPerDecoder;
    for (int i = 0; i < decoders; ++i) {
        try {
            threads.emplace_back([this] { DecoderMain(); });
        } catch (...) {
            break;  // no more threads: the ones there are do the work
        }
    }
    if (threads.empty()) {
        capacity = 0;
    }
}

ThumbnailDecoders::~ThumbnailDecoders() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        slots.clear();
    }
    changed.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

bool ThumbnailDecoders::HasRoom() const {
    std::lock_guard<std::mutex> lock(mutex);
    return slots.size() < capacity;
}

void ThumbnailDecoders::Queue(const std::string& path) {
    auto slot = std::make_shared<Slot>();
    slot->path = path;
    {
        std::lock_guard<std::mutex> lock(mutex);
        slots.push_back(std::move(slot));
    }
    changed.notify_all();
}

std::optional<RenderedThumbnail> ThumbnailDecoders::Take(const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!slots.empty() && slots.front()->path != path) {
        slots.pop_front();  // a decoder still at work on it finishes into its own copy of the slot
    }
    if (slots.empty()) {
        return std::nullopt;
    }
    const std::shared_ptr<Slot> slot = slots.front();
    changed.wait(lock,
                 [&] { return slot->state == Slot::State::kDone || slot->state == Slot::State::kSkipped; });
    slots.pop_front();
    lock.unlock();
    changed.notify_all();
    if (slot->state == Slot::State::kSkipped) {
        return std::nullopt;
    }
    return std::move(slot->rendered);
}

void ThumbnailDecoders::DecoderMain() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        std::shared_ptr<Slot> slot;
        changed.wait(lock, [&] {
            if (stopping) {
                return true;
            }
            const auto next = std::find_if(slots.begin(), slots.end(), [](const std::shared_ptr<Slot>& s) {
                return s->state == Slot::State::kQueued;
            });
            if (next == slots.end()) {
                return false;
            }
            slot = *next;
            return true;
        });
        if (stopping) {
            return;
        }
        slot->state = Slot::State::kDecoding;
        lock.unlock();
        // Whatever is at the path now is opened only if it is a plain file: a pipe would block the
        // decoder. The writer checks the path again when its turn comes.
        std::optional<RenderedThumbnail> rendered;
        if (KindOfPath(slot->path) == PathKind::kRegularFile) {
            rendered = RenderSafely(render, slot->path);
        }
        lock.lock();
        if (rendered) {
            slot->rendered = std::move(*rendered);
            slot->state = Slot::State::kDone;
        } else {
            slot->state = Slot::State::kSkipped;
        }
        changed.notify_all();
    }
}
