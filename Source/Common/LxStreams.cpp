#include "LxStreams.h"

#include "LxExceptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

int64_t TStream::GetSize() {
    const int64_t Position = Seek(0, soCurrent);
    const int64_t Size = Seek(0, soEnd);
    Seek(Position, soBeginning);
    return Size;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count < 0 || (Count != 0 && Read(Buffer, Count) != Count)) RaiseReadError();
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count < 0 || (Count != 0 && Write(Buffer, Count) != Count)) RaiseWriteError();
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.GetSize();
    }
    if (auto* Memory = dynamic_cast<TCustomMemoryStream*>(&Source)) {
        const int64_t Position = Memory->GetPosition();
        if (Count < 0 || Count > Memory->GetSize() - Position) RaiseReadError();
        WriteBuffer(Memory->Memory() + Position, Count);
        Memory->Seek(Count, soCurrent);
        return Count;
    }
    std::vector<uint8_t> Buffer(static_cast<size_t>(std::min<int64_t>(Count, 1 << 16)));
    int64_t Left = Count;
    while (Left > 0) {
        const int64_t Piece = std::min<int64_t>(Left, static_cast<int64_t>(Buffer.size()));
        Source.ReadBuffer(Buffer.data(), Piece);
        WriteBuffer(Buffer.data(), Piece);
        Left -= Piece;
    }
    return Count;
}

void TCustomMemoryStream::SetPointer(const uint8_t* Memory, int64_t Size) {
    FMemory = Memory;
    FSize = Size;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    const int64_t Available = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, FMemory + FPosition, static_cast<size_t>(Available));
    FPosition += Available;
    return Available;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case soBeginning:
        FPosition = Offset;
        break;
    case soCurrent:
        FPosition += Offset;
        break;
    case soEnd:
        FPosition = FSize + Offset;
        break;
    }
    return FPosition;
}

TMemoryViewStream::TMemoryViewStream(const void* Memory, int64_t Size) {
    SetPointer(static_cast<const uint8_t*>(Memory), Size);
}

int64_t TMemoryViewStream::Write(const void*, int64_t) {
    RaiseWriteError();
}
void TMemoryViewStream::SetSize(int64_t) {
    RaiseWriteError();
}

void TMemoryStream::TFree::operator()(uint8_t* Memory) const {
    std::free(Memory);
}

void TMemoryStream::Grow(size_t MinCapacity) {
    if (MinCapacity <= FCapacity) return;
    const size_t NewCapacity = std::max({MinCapacity, FCapacity * 2, size_t(256)});
    void* Memory = std::realloc(FBuffer.get(), NewCapacity);
    if (!Memory) throw std::bad_alloc();
    FBuffer.release();
    FBuffer.reset(static_cast<uint8_t*>(Memory));
    FCapacity = NewCapacity;
    Sync();
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition < 0) return 0;
    const size_t End = static_cast<size_t>(FPosition + Count);
    if (End > FLength) {
        Grow(End);
        // A write past the end leaves no uninitialised gap behind it.
        if (static_cast<size_t>(FPosition) > FLength)
            std::memset(FBuffer.get() + FLength, 0, static_cast<size_t>(FPosition) - FLength);
        FLength = End;
        Sync();
    }
    std::memcpy(FBuffer.get() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition = static_cast<int64_t>(End);
    return Count;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) RaiseWriteError();
    const size_t Size = static_cast<size_t>(NewSize);
    if (Size > FLength) {
        Grow(Size);
        std::memset(FBuffer.get() + FLength, 0, Size - FLength);
    }
    FLength = Size;
    Sync();
    if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
    FBuffer.reset();
    FLength = FCapacity = 0;
    FPosition = 0;
    Sync();
}

uint8_t* TMemoryStream::Reserve(size_t MinRoom, size_t& Room) {
    if (FCapacity - FLength < MinRoom) Grow(FLength + MinRoom);
    Room = FCapacity - FLength;
    return FBuffer.get() + FLength;
}

void TMemoryStream::Commit(size_t Count) {
    LX_ASSERT(Count <= FCapacity - FLength);
    FLength += Count;
    Sync();
}

void TMemoryStream::Swap(TMemoryStream& Other) {
    std::swap(FBuffer, Other.FBuffer);
    std::swap(FLength, Other.FLength);
    std::swap(FCapacity, Other.FCapacity);
    std::swap(FPosition, Other.FPosition);
    Sync();
    Other.Sync();
}

void TMemoryStream::Adopt(std::vector<uint8_t>&& Data) {
    Clear();
    WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    FPosition = 0;
    Data = {};
}

std::vector<uint8_t> TMemoryStream::Release() {
    std::vector<uint8_t> Data = Bytes();
    Clear();
    return Data;
}

std::vector<uint8_t> TMemoryStream::Bytes() const {
    return std::vector<uint8_t>(FBuffer.get(), FBuffer.get() + FLength);
}
