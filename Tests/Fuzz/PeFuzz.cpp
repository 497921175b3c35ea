// The PE reader and writer behind every verb that opens an executable: any bytes read as an
// image or raise the builder's error, copying no more than the file holds; an image rebuilt
// with its own resources reads back to the same resources, and rebuilding that gives the same
// bytes.

#include "BuildError.h"
#include "FuzzSupport.h"
#include "PeImage.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

std::vector<const TResource*> Sorted(const TResourceTree& Tree) {
    std::vector<const TResource*> Items;
    for (const TResource& Item : Tree.Items)
        Items.push_back(&Item);
    std::sort(Items.begin(), Items.end(), [](const TResource* A, const TResource* B) {
        return std::tie(A->Type.Id, A->Type.Name, A->Name.Id, A->Name.Name, A->Language) <
               std::tie(B->Type.Id, B->Type.Name, B->Name.Id, B->Name.Name, B->Language);
    });
    return Items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::optional<TPeImage> Image;
    {
        const THeapMeter Meter;
        if (!OwnErrorsOnly(
                [&] { Image.emplace(std::vector<uint8_t>(Data, Data + Size), u"in.exe"); }))
            return 0;
        // The bytes, and at most as much again in resource names and data.
        Meter.Check(Size, 4, 65536);
    }
    size_t Copied = 0;
    for (const TResource& Item : Image->Resources().Items)
        Copied += Item.Data.size();
    FUZZ_CHECK(Copied <= Size);

    std::vector<uint8_t> Rebuilt;
    if (!OwnErrorsOnly([&] { Rebuilt = Image->WithResources(Image->Resources()); })) return 0;
    const TPeImage Again(Rebuilt, u"rebuilt.exe");
    const auto Before = Sorted(Image->Resources());
    const auto After = Sorted(Again.Resources());
    FUZZ_CHECK(Before.size() == After.size());
    for (size_t I = 0; I < Before.size(); ++I) {
        FUZZ_CHECK(Before[I]->Type == After[I]->Type && Before[I]->Name == After[I]->Name);
        FUZZ_CHECK(Before[I]->Language == After[I]->Language);
        FUZZ_CHECK(Before[I]->CodePage == After[I]->CodePage);
        FUZZ_CHECK(Before[I]->Data == After[I]->Data);
    }
    FUZZ_CHECK(Again.Is64() == Image->Is64() && Again.Machine() == Image->Machine());
    FUZZ_CHECK(Again.WithResources(Again.Resources()) == Rebuilt);
    return 0;
}
