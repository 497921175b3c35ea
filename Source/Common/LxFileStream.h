#pragma once

#include "LxStreams.h"

enum TFileMode {
    fmCreate,           // create or truncate, read and write; others may read meanwhile
    fmCreateExclusive,  // create or truncate, read and write, no sharing; may be renamed open
    fmOpenRead,         // existing file, read only; others may read and write meanwhile
    fmOpenReadWrite,    // existing file, read and write, no sharing
    fmOpenReadDenyWrite // existing file, read only; others may read, nobody may change it
};

class TFileStream : public TStream {
public:
    // Raises EFCreateError or EFOpenError naming the file. A write the system refuses raises
    // EWriteError with its reason.
    TFileStream(WideStringView FileName, TFileMode Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    // The system's handle (a HANDLE on Windows), for calls the stream does not wrap.
    intptr_t Handle() const { return FHandle; }

private:
    [[noreturn]] void RaiseSystemWriteError(uint32_t Error);
    WideString FFileName;
    intptr_t FHandle;
};
