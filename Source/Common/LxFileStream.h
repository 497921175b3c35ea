#pragma once

#include "LxStreams.h"

enum TFileMode {
    fmCreate,       // create or truncate, read and write
    fmOpenRead,     // existing file, read only; others may read and write meanwhile
    fmOpenReadWrite // existing file, read and write, no sharing
};

class TFileStream : public TStream {
public:
    // Raises EFCreateError or EFOpenError naming the file.
    TFileStream(WideStringView FileName, TFileMode Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;

private:
    intptr_t FHandle;
};
