#pragma once

// What the harnesses share. Each harness defines LLVMFuzzerTestOneInput: libFuzzer drives it
// in the fuzz tree, FuzzReplay.cpp replays the corpora through it in the sanitizer tree.
// A harness accepts the library's own errors (Exception) and fails on anything else: another
// exception ends the process, a broken invariant aborts through FUZZ_CHECK.

#include "LxExceptions.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

[[noreturn]] void FuzzFailure(const char* Condition, const char* File, int Line);

#define FUZZ_CHECK(Condition)                                                                      \
    do {                                                                                           \
        if (!(Condition)) FuzzFailure(#Condition, __FILE__, __LINE__);                             \
    } while (false)

// Runs Work; false when it raised one of the library's own errors.
template <class TWork>
bool OwnErrorsOnly(TWork&& Work) {
    try {
        Work();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The most heap held at once since the meter started, where the address sanitizer's runtime
// reports allocations (both fuzz and sanitizer trees); zero elsewhere.
class THeapMeter {
public:
    THeapMeter();
    size_t Peak() const;
    // Fails unless the peak stayed within Factor times the input's size plus Slack bytes.
    void Check(size_t InputSize, size_t Factor, size_t Slack) const;

private:
    int64_t FStart;
};

// A folder of this process's own, removed at exit; under /dev/shm where it exists.
const std::filesystem::path& FuzzScratch();
