#pragma once

#include "LxTypes.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

std::vector<uint8_t> ReadFixture(const std::string& Name);
std::vector<uint8_t> Bytes(std::string_view Text);
// Deterministic content that compresses somewhat, like real program files.
std::vector<uint8_t> SampleContent(size_t Size, uint32_t Seed = 1);

// A small deterministic generator, so that a failing round can be replayed.
class TMutator {
public:
    explicit TMutator(uint32_t Seed) : FState(Seed) {}

    uint32_t Next(uint32_t Bound) {
        FState = FState * 1664525u + 1013904223u;
        return (FState >> 8) % Bound;
    }

    // Flips, overwrites, cuts or duplicates a few bytes.
    std::vector<uint8_t> Damage(std::vector<uint8_t> Data);

private:
    uint32_t FState;
};

// The message of the expected error, or a failure when another outcome happens.
template <class E, class F>
WideString MessageOf(F&& Action) {
    try {
        Action();
    } catch (const E& Error) {
        return Error.Message();
    } catch (const std::exception& Error) {
        ADD_FAILURE() << "other error: " << Error.what();
        return u"";
    }
    ADD_FAILURE() << "nothing raised";
    return u"";
}
