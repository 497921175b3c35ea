#include "LxLeanDeflate.h"

#include <algorithm>
#include <zlib.h>

namespace {

class TBitWriter {
public:
    explicit TBitWriter(std::vector<uint8_t>& Out) : FOut(Out) {}
    // Bits go in least significant first, as deflate packs them.
    void Put(uint32_t Bits, int Count) {
        FBuffer |= uint64_t(Bits) << FCount;
        FCount += Count;
        while (FCount >= 8) {
            FOut.push_back(uint8_t(FBuffer));
            FBuffer >>= 8;
            FCount -= 8;
        }
    }
    // Huffman codes are defined most significant bit first.
    void PutCode(uint32_t Code, int Length) {
        uint32_t Reversed = 0;
        for (int I = 0; I < Length; ++I)
            Reversed |= ((Code >> I) & 1u) << (Length - 1 - I);
        Put(Reversed, Length);
    }
    void Flush() {
        if (FCount > 0) FOut.push_back(uint8_t(FBuffer));
        FBuffer = 0;
        FCount = 0;
    }

private:
    std::vector<uint8_t>& FOut;
    uint64_t FBuffer = 0;
    int FCount = 0;
};

void PutLiteralOrLength(TBitWriter& Writer, unsigned Symbol) {
    if (Symbol < 144)
        Writer.PutCode(0x30 + Symbol, 8);
    else if (Symbol < 256)
        Writer.PutCode(0x190 + Symbol - 144, 9);
    else if (Symbol < 280)
        Writer.PutCode(Symbol - 256, 7);
    else
        Writer.PutCode(0xC0 + Symbol - 280, 8);
}

constexpr uint16_t LengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                     15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t DistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(TBitWriter& Writer, unsigned Length, unsigned Distance) {
    int Code = 28;
    while (LengthBase[Code] > Length)
        --Code;
    PutLiteralOrLength(Writer, 257 + unsigned(Code));
    Writer.Put(Length - LengthBase[Code], LengthExtra[Code]);
    Code = 29;
    while (DistanceBase[Code] > Distance)
        --Code;
    Writer.PutCode(unsigned(Code), 5);
    Writer.Put(Distance - DistanceBase[Code], DistanceExtra[Code]);
}

constexpr unsigned WindowSize = 32768;
constexpr unsigned MinMatch = 3, MaxMatch = 258;
constexpr unsigned HashBits = 14;
constexpr int MaxChain = 48;

unsigned Hash(const uint8_t* P) {
    return ((uint32_t(P[0]) << 16 | uint32_t(P[1]) << 8 | P[2]) * 2654435761u) >> (32 - HashBits);
}

} // namespace

std::vector<uint8_t> LeanDeflate(const uint8_t* Data, size_t Size) {
    std::vector<uint8_t> Out;
    Out.reserve(Size / 2 + 64);
    Out.push_back(0x78); // deflate, 32 KiB window
    Out.push_back(0x01); // no dictionary, the fastest level class
    TBitWriter Writer(Out);
    Writer.Put(1, 1); // the final block
    Writer.Put(1, 2); // fixed Huffman codes

    std::vector<int64_t> Head(size_t(1) << HashBits, -1);
    std::vector<int64_t> Previous(WindowSize, -1);
    size_t I = 0;
    auto Insert = [&](size_t Position) {
        if (Position + MinMatch > Size) return;
        const unsigned H = Hash(Data + Position);
        Previous[Position % WindowSize] = Head[H];
        Head[H] = int64_t(Position);
    };
    while (I < Size) {
        unsigned BestLength = 0, BestDistance = 0;
        if (I + MinMatch <= Size) {
            int64_t Candidate = Head[Hash(Data + I)];
            const size_t Limit = std::min<size_t>(MaxMatch, Size - I);
            for (int Chain = 0; Candidate >= 0 && Chain < MaxChain; ++Chain) {
                const size_t Distance = I - size_t(Candidate);
                if (Distance > WindowSize - 1 || Distance == 0) break;
                unsigned Length = 0;
                while (Length < Limit && Data[size_t(Candidate) + Length] == Data[I + Length])
                    ++Length;
                if (Length > BestLength) {
                    BestLength = Length;
                    BestDistance = unsigned(Distance);
                    if (Length == Limit) break;
                }
                Candidate = Previous[size_t(Candidate) % WindowSize];
            }
        }
        if (BestLength >= MinMatch) {
            PutMatch(Writer, BestLength, BestDistance);
            for (unsigned K = 0; K < BestLength; ++K)
                Insert(I + K);
            I += BestLength;
        } else {
            PutLiteralOrLength(Writer, Data[I]);
            Insert(I);
            ++I;
        }
    }
    PutLiteralOrLength(Writer, 256);
    Writer.Flush();
    uLong Sum = adler32(0, nullptr, 0);
    for (size_t Done = 0; Done < Size;) {
        const uInt Piece = uInt(std::min<size_t>(Size - Done, 1u << 30));
        Sum = adler32(Sum, Data + Done, Piece);
        Done += Piece;
    }
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(uint8_t(Sum >> Shift));
    return Out;
}
