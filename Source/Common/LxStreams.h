#pragma once

#include "LxTypes.h"

#include <memory>
#include <vector>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Return the number of bytes moved, which may be fewer than asked.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual void SetSize(int64_t NewSize) = 0;
    virtual int64_t GetSize();

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Position) { Seek(Position, soBeginning); }
    // Raise "Stream read error" / "Stream write error" when not every byte moves.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Copies Count bytes from the source's position; 0 copies the whole source from its start.
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A stream over one block of memory; the block belongs to whoever made it.
class TCustomMemoryStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t GetSize() override { return FSize; }
    const uint8_t* Memory() const { return FMemory; }
    int64_t MemorySize() const { return FSize; }

protected:
    void SetPointer(const uint8_t* Memory, int64_t Size);
    int64_t FPosition = 0;

private:
    const uint8_t* FMemory = nullptr;
    int64_t FSize = 0;
};

// Read-only view of memory owned elsewhere (a mapped resource, a buffer): never copies.
class TMemoryViewStream : public TCustomMemoryStream {
public:
    TMemoryViewStream(const void* Memory, int64_t Size);
    int64_t Write(const void* Buffer, int64_t Count) override;
    void SetSize(int64_t NewSize) override;
};

// Owns its bytes. Growth never zero-fills what is about to be overwritten, so decoders can
// write straight into it.
class TMemoryStream : public TCustomMemoryStream {
public:
    TMemoryStream() = default;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int64_t Write(const void* Buffer, int64_t Count) override;
    // Bytes added by growing read as zero.
    void SetSize(int64_t NewSize) override;
    void Clear();
    uint8_t* Memory() { return FBuffer.get(); }
    const uint8_t* Memory() const { return FBuffer.get(); }

    // Uninitialised room for at least MinRoom bytes after the content; Commit adds what was
    // written there to the content.
    uint8_t* Reserve(size_t MinRoom, size_t& Room);
    void Commit(size_t Count);
    void Swap(TMemoryStream& Other);

    // Copies in and out, for callers that hold their bytes in vectors.
    void Adopt(std::vector<uint8_t>&& Data);
    std::vector<uint8_t> Release();
    std::vector<uint8_t> Bytes() const;

private:
    void Grow(size_t MinCapacity);
    void Sync() { SetPointer(FBuffer.get(), static_cast<int64_t>(FLength)); }
    struct TFree {
        void operator()(uint8_t* Memory) const;
    };
    // realloc lets large buffers grow by remapping pages instead of copying them.
    std::unique_ptr<uint8_t, TFree> FBuffer;
    size_t FLength = 0;
    size_t FCapacity = 0;
};
