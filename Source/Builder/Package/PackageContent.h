#pragma once

#include "ProjectFiles.h"

#include <cstdint>
#include <functional>
#include <vector>

class TProgress;

struct TPackageContent {
    std::vector<uint8_t> FileBlock; // files, index and index length; empty without files
    uint64_t PlainBytes = 0;
    uint64_t StoredBytes = 0; // encoded bytes of the distinct contents
    int DistinctContents = 0;
};

// Reads every file, stores each distinct content once (encoded on all Jobs threads), gives
// every item its ResID and lays out the file-data block with its index.
TPackageContent EncodePackageFiles(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress);

// Runs Work(I) for I in [0, Count) on Jobs threads, biggest first when Sizes are given; the
// first error raised by any task is raised again here after all threads stopped.
void RunParallel(size_t Count, int Jobs, const std::vector<uint64_t>& Sizes,
                 const std::function<void(size_t)>& Work, TProgress* Progress);
