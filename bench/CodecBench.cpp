// Package codec throughput beside plain zlib on the same bytes, in one run.
// usage: codec_bench PAYLOAD_DIR [LIMIT_MB]

#include "LxStreams.h"
#include "MySetupUtils.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {

using TClock = std::chrono::steady_clock;
using TFile = std::vector<uint8_t>;

std::vector<TFile> LoadPayload(const std::filesystem::path& Folder, size_t Limit) {
    std::vector<std::filesystem::path> Paths;
    for (const auto& Entry : std::filesystem::recursive_directory_iterator(Folder))
        if (Entry.is_regular_file() && Entry.path().filename() != "MANIFEST.sha256")
            Paths.push_back(Entry.path());
    std::sort(Paths.begin(), Paths.end());
    std::vector<TFile> Files;
    size_t Total = 0;
    for (const auto& Path : Paths) {
        if (Total >= Limit) break;
        std::ifstream Stream(Path, std::ios::binary);
        TFile Content((std::istreambuf_iterator<char>(Stream)), std::istreambuf_iterator<char>());
        Total += Content.size();
        Files.push_back(std::move(Content));
    }
    return Files;
}

template <class TWork>
double Seconds(TWork&& Work) {
    const auto Start = TClock::now();
    Work();
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

// Decoding is fast enough to repeat; the best of a few runs filters out a busy machine.
constexpr int Repeats = 3;

void Report(const char* Name, size_t Bytes, double Time, double Reference) {
    const double Rate = Bytes / 1e6 / Time;
    if (Reference > 0)
        std::printf("  %-34s %8.1f MB/s  %6.2f s  (%+.1f%% vs plain zlib)\n", Name, Rate, Time,
                    (Time / Reference - 1) * 100);
    else
        std::printf("  %-34s %8.1f MB/s  %6.2f s\n", Name, Rate, Time);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: codec_bench PAYLOAD_DIR [LIMIT_MB]\n");
        return 2;
    }
    const size_t Limit = (argc > 2 ? std::stoul(argv[2]) : 48) * 1000 * 1000;
    const std::vector<TFile> Files = LoadPayload(argv[1], Limit);
    size_t Plain = 0;
    for (const TFile& File : Files)
        Plain += File.size();
    std::printf("payload: %zu files, %.1f MB (plain bytes; rates count plain bytes)\n",
                Files.size(), Plain / 1e6);

    // Plain zlib, level 9, one stream per file.
    std::vector<TFile> Zlib(Files.size());
    const double ZCompress = Seconds([&] {
        for (size_t I = 0; I < Files.size(); ++I) {
            uLongf Size = compressBound(Files[I].size());
            Zlib[I].resize(Size);
            compress2(Zlib[I].data(), &Size, Files[I].data(), Files[I].size(), 9);
            Zlib[I].resize(Size);
        }
    });
    size_t ZBytes = 0;
    for (const TFile& Z : Zlib)
        ZBytes += Z.size();

    std::vector<TFile> Encoded(Files.size());
    const double Encode = Seconds([&] {
        for (size_t I = 0; I < Files.size(); ++I) {
            TMemoryStream Stream;
            Stream.WriteBuffer(Files[I].data(), int64_t(Files[I].size()));
            TSetupfn::EncodeStream(Stream);
            Encoded[I] = Stream.Bytes();
        }
    });
    size_t EBytes = 0;
    for (const TFile& E : Encoded)
        EBytes += E.size();

    TFile Output;
    size_t Largest = 0;
    for (const TFile& File : Files)
        Largest = std::max(Largest, File.size());
    Output.resize(Largest);

    // The three decoders take turns on each file so that they meet the same allocator and
    // cache state; only the decode calls are timed, and the best of a few runs is kept.
    double Inflate = 1e30, Decode = 1e30, Stream = 1e30;
    for (int Run = 0; Run < Repeats; ++Run) {
        double PlainTime = 0, DecodeTime = 0, StreamTime = 0;
        for (size_t I = 0; I < Files.size(); ++I) {
            PlainTime += Seconds([&] {
                // A caller of plain zlib must allocate the output too.
                std::unique_ptr<uint8_t[]> Plain(new uint8_t[Files[I].size() + 1]);
                uLongf Size = Files[I].size() + 1;
                uncompress(Plain.get(), &Size, Zlib[I].data(), Zlib[I].size());
            });
            TMemoryStream Stream;
            Stream.WriteBuffer(Encoded[I].data(), int64_t(Encoded[I].size()));
            DecodeTime += Seconds([&] { TSetupfn::DecodeStream(Stream); });
            // Streaming into a fixed buffer, as the installer writes files.
            StreamTime += Seconds([&] {
                size_t Done = 0;
                TSetupfn::DecodeRange(Encoded[I].data(), Encoded[I].size(),
                                      [&](const uint8_t* Data, size_t Size) {
                                          std::copy(Data, Data + Size, Output.begin() + Done);
                                          Done += Size;
                                      });
            });
        }
        Inflate = std::min(Inflate, PlainTime);
        Decode = std::min(Decode, DecodeTime);
        Stream = std::min(Stream, StreamTime);
    }

    bool Correct = true;
    for (size_t I = 0; I < Files.size(); ++I) {
        TMemoryStream Copy;
        Copy.WriteBuffer(Encoded[I].data(), int64_t(Encoded[I].size()));
        TSetupfn::DecodeStream(Copy);
        size_t Done = 0;
        TSetupfn::DecodeRange(Encoded[I].data(), Encoded[I].size(),
                              [&](const uint8_t* Data, size_t Size) {
                                  Correct = Correct && Done + Size <= Files[I].size() &&
                                            std::equal(Data, Data + Size, Files[I].begin() + Done);
                                  Done += Size;
                              });
        Correct = Correct && Done == Files[I].size() && Copy.Bytes() == Files[I];
    }

    std::printf("compressed: plain zlib %.1f MB, package codec %.1f MB\n", ZBytes / 1e6,
                EBytes / 1e6);
    Report("plain zlib compress2 level 9", Plain, ZCompress, 0);
    Report("TSetupfn::EncodeStream", Plain, Encode, ZCompress);
    Report("plain zlib uncompress", Plain, Inflate, 0);
    Report("TSetupfn::DecodeStream", Plain, Decode, Inflate);
    Report("TSetupfn::DecodeRange (streaming)", Plain, Stream, Inflate);
    std::printf("decoded bytes %s\n", Correct ? "match" : "DIFFER");
    return Correct ? 0 : 1;
}
