#include "FuzzSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_HEAP_METER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_HEAP_METER 1
#endif
#endif

void FuzzFailure(const char* Condition, const char* File, int Line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", Condition, File, Line);
    std::abort();
}

#ifdef FUZZ_HEAP_METER
extern "C" {
// gcc ships no header for these; the runtimes of both compilers export them.
int __sanitizer_install_malloc_and_free_hooks(void (*Malloc)(const volatile void*, size_t),
                                              void (*Free)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* Pointer);
}

namespace {

std::atomic<int64_t> Held{0};
std::atomic<int64_t> Highest{0};

void OnMalloc(const volatile void*, size_t Size) {
    const int64_t Now = Held += int64_t(Size);
    int64_t Seen = Highest.load(std::memory_order_relaxed);
    while (Now > Seen && !Highest.compare_exchange_weak(Seen, Now))
        ;
}

// The hook runs before the block is released, so its size can still be asked.
void OnFree(const volatile void* Pointer) {
    if (Pointer) Held -= int64_t(__sanitizer_get_allocated_size(Pointer));
}

bool HooksInstalled = [] {
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    return true;
}();

} // namespace

THeapMeter::THeapMeter() : FStart(Held.load()) {
    Highest = FStart;
}

size_t THeapMeter::Peak() const {
    return size_t(std::max<int64_t>(0, Highest.load() - FStart));
}
#else
THeapMeter::THeapMeter() : FStart(0) {}

size_t THeapMeter::Peak() const {
    return 0;
}
#endif

void THeapMeter::Check(size_t InputSize, size_t Factor, size_t Slack) const {
    const size_t Held = Peak();
    // For tuning the factors: ONESETUP_FUZZ_HEAP=1 prints every measure.
    static const bool Report = std::getenv("ONESETUP_FUZZ_HEAP") != nullptr;
    if (Report) std::fprintf(stderr, "heap: %zu bytes for an input of %zu\n", Held, InputSize);
    if (Held <= InputSize * Factor + Slack) return;
    std::fprintf(stderr,
                 "fuzz check failed: %zu bytes held for an input of %zu (limit %zu x + %zu)\n",
                 Held, InputSize, Factor, Slack);
    std::abort();
}

namespace {

struct TScratch {
    std::filesystem::path Path;
    TScratch() {
        std::error_code Error;
        const std::filesystem::path Base = std::filesystem::is_directory("/dev/shm", Error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string Template = (Base / "onesetup-fuzz-XXXXXX").string();
        if (!mkdtemp(Template.data())) FuzzFailure("mkdtemp", __FILE__, __LINE__);
        Path = Template;
    }
    ~TScratch() {
        std::error_code Ignored;
        std::filesystem::remove_all(Path, Ignored);
    }
};

} // namespace

const std::filesystem::path& FuzzScratch() {
    static const TScratch Scratch;
    return Scratch.Path;
}
