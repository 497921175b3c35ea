// The reference for the installer's file step: the same streams of a built installer,
// unscrambled beforehand, inflated with plain zlib and written to disk, one file at a time.
// usage: inflate_write SETUP.exe OUTDIR        prints: bytes=N seconds=S
//        inflate_write --dump SETUP.exe DIR    writes the unscrambled streams as DIR/0, DIR/1...
//                                              for the same reference under Wine

#include "InstallerPackage.h"
#include "MySetupUtils.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <zlib.h>

int main(int argc, char** argv) {
    const bool Dump = argc == 4 && std::strcmp(argv[1], "--dump") == 0;
    if (argc != 3 && !Dump) {
        std::fprintf(stderr, "usage: inflate_write [--dump] SETUP.exe OUTDIR\n");
        return 2;
    }
    const TInstallerPackage Package(PathFromArgument(argv[Dump ? 2 : 1]));
    const fs::path Out = PathFromArgument(argv[Dump ? 3 : 2]);
    const TSetupFileList& Files = Package.Script().FileList();
    std::vector<std::vector<uint8_t>> Streams;
    for (int I = 0; I < Files.Count(); ++I) {
        const TFileData* Entry = Package.FileData().FindByGUID(Files.Items(I)->ResID);
        std::vector<uint8_t> Bytes;
        if (Entry) {
            Bytes.assign(Entry->Data(), Entry->Data() + Entry->Size());
            TSetupfn::ScrambleBytes(Bytes.data(), Bytes.size(), 0);
        }
        Streams.push_back(std::move(Bytes));
    }
    fs::create_directories(Out);
    if (Dump) {
        for (size_t I = 0; I < Streams.size(); ++I)
            std::ofstream(Out / std::to_string(I), std::ios::binary)
                .write(reinterpret_cast<const char*>(Streams[I].data()),
                       std::streamsize(Streams[I].size()));
        std::printf("streams=%zu\n", Streams.size());
        return 0;
    }
    std::vector<uint8_t> Buffer(256 * 1024);
    uint64_t Total = 0;
    const auto Start = std::chrono::steady_clock::now();
    for (size_t I = 0; I < Streams.size(); ++I) {
        std::string Name = "f";
        Name += std::to_string(I);
        std::FILE* File = std::fopen((Out / Name).string().c_str(), "wb");
        if (!File) return 1;
        if (!Streams[I].empty()) {
            z_stream Z{};
            inflateInit(&Z);
            Z.next_in = Streams[I].data();
            Z.avail_in = uInt(Streams[I].size());
            int Result;
            do {
                Z.next_out = Buffer.data();
                Z.avail_out = uInt(Buffer.size());
                Result = inflate(&Z, Z_NO_FLUSH);
                const size_t Produced = Buffer.size() - Z.avail_out;
                std::fwrite(Buffer.data(), 1, Produced, File);
                Total += Produced;
            } while (Result == Z_OK);
            inflateEnd(&Z);
        }
        std::fclose(File);
    }
    const double Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    std::printf("bytes=%llu seconds=%.3f\n", (unsigned long long)Total, Seconds);
    return 0;
}
