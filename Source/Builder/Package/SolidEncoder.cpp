#include "SolidEncoder.h"

#include "BuildError.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "SolidData.h"

// The estimates of memory are zstd's experimental interface, which a static link may use.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

struct TSolidEncoder::TState {
    ZSTD_CCtx* Context = ZSTD_createCCtx();
    ~TState() { ZSTD_freeCCtx(Context); }
};

namespace {

void Put(std::vector<uint8_t>& Out, uint64_t Value, int Length) {
    for (int I = 0; I < Length; ++I)
        Out.push_back(uint8_t(Value >> (8 * I)));
}

void Check(size_t Result) {
    if (ZSTD_isError(Result)) throw EBuildError(u"zstd: " + Utf8ToWide(ZSTD_getErrorName(Result)));
}

} // namespace

TSolidEncoder::TSolidEncoder(int Level) : FState(std::make_unique<TState>()) {
    if (!FState->Context) throw std::bad_alloc();
    ZSTD_CCtx* C = FState->Context;
    Check(ZSTD_CCtx_setParameter(C, ZSTD_c_compressionLevel, Level));
    Check(ZSTD_CCtx_setParameter(C, ZSTD_c_windowLog, WindowLog));
    // The digest record guards the frame; a checksum would only cost the decoder time.
    Check(ZSTD_CCtx_setParameter(C, ZSTD_c_checksumFlag, 0));
    Check(ZSTD_CCtx_setParameter(C, ZSTD_c_contentSizeFlag, 1));
}

TSolidEncoder::~TSolidEncoder() = default;

uint64_t TSolidEncoder::MemoryPerThread(int Level) {
    ZSTD_compressionParameters Parameters = ZSTD_getCParams(Level, 0, 0);
    Parameters.windowLog = WindowLog;
    return ZSTD_estimateCStreamSize_usingCParams(Parameters);
}

void TSolidEncoder::Begin(uint64_t PlainBytes) {
    FFrame.clear();
    Check(ZSTD_CCtx_reset(FState->Context, ZSTD_reset_session_only));
    Check(ZSTD_CCtx_setPledgedSrcSize(FState->Context, PlainBytes));
}

void TSolidEncoder::Add(const uint8_t* Data, size_t Size) {
    Run(Data, Size, false);
}

void TSolidEncoder::End() {
    Run(nullptr, 0, true);
}

void TSolidEncoder::Run(const uint8_t* Data, size_t Size, bool Last) {
    ZSTD_inBuffer In{Data, Size, 0};
    for (;;) {
        const size_t Room = ZSTD_CStreamOutSize();
        const size_t Used = FFrame.size();
        FFrame.resize(Used + Room);
        ZSTD_outBuffer Out{FFrame.data() + Used, Room, 0};
        const size_t Left =
            ZSTD_compressStream2(FState->Context, &Out, &In, Last ? ZSTD_e_end : ZSTD_e_continue);
        Check(Left);
        FFrame.resize(Used + Out.pos);
        if (Last ? Left == 0 : In.pos == In.size) return;
    }
}

void AppendSolidIndex(const TSolidIndex& Index, std::vector<uint8_t>& Out) {
    std::vector<uint8_t> Plain;
    Put(Plain, Index.Blocks.size(), 4);
    for (const TSolidBlock& Block : Index.Blocks) {
        Put(Plain, Block.Offset, 4);
        Put(Plain, Block.Bytes, 4);
        Put(Plain, Block.PlainBytes, 8);
    }
    Put(Plain, Index.Files.size(), 4);
    for (const TSolidFile& File : Index.Files) {
        Put(Plain, File.Block, 4);
        Put(Plain, File.Offset, 8);
        Put(Plain, File.Bytes, 8);
        Put(Plain, File.GUID.size(), 2);
        for (const char16_t C : File.GUID)
            Put(Plain, C, 2);
    }
    TMemoryStream Stream;
    Stream.Adopt(std::move(Plain));
    TSetupfn::EncodeStream(Stream);
    const std::vector<uint8_t> Encoded = Stream.Release();
    Out.insert(Out.end(), Encoded.begin(), Encoded.end());
    Put(Out, Encoded.size(), 4);
}
