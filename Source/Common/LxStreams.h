#pragma once

#include "LxTypes.h"

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

class TMemoryStream : public TCustomMemoryStream {
public:
    TMemoryStream() = default;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int64_t Write(const void* Buffer, int64_t Count) override;
    void SetSize(int64_t NewSize) override;
    void Clear();
    uint8_t* Memory() { return FData.data(); }
    const uint8_t* Memory() const { return FData.data(); }
    // Takes over a byte vector as the whole content, position 0.
    void Adopt(std::vector<uint8_t>&& Data);
    std::vector<uint8_t> Release();
    const std::vector<uint8_t>& Bytes() const { return FData; }

private:
    void Sync() { SetPointer(FData.data(), static_cast<int64_t>(FData.size())); }
    std::vector<uint8_t> FData;
};
