#pragma once

// Stubs, header fields read independently of the code under test, and error expectations.

#include "BuildError.h"
#include "LxStrUtils.h"
#include "Pe/PeImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline std::vector<uint8_t> ReadWholeFile(const std::string& Path) {
    std::vector<uint8_t> Content;
    if (std::FILE* File = std::fopen(Path.c_str(), "rb")) {
        uint8_t Buffer[65536];
        size_t Count;
        while ((Count = std::fread(Buffer, 1, sizeof(Buffer), File)) > 0)
            Content.insert(Content.end(), Buffer, Buffer + Count);
        std::fclose(File);
    }
    return Content;
}

inline void WriteWholeFile(const std::string& Path, const std::vector<uint8_t>& Content) {
    std::FILE* File = std::fopen(Path.c_str(), "wb");
    ASSERT_NE(File, nullptr) << Path;
    std::fwrite(Content.data(), 1, Content.size(), File);
    std::fclose(File);
}

// TestStub-x64.exe, TestStubPlain-x86.exe, ...: built by the test_stubs target.
inline std::vector<uint8_t> ReadStub(const std::string& Name) {
    std::vector<uint8_t> Content = ReadWholeFile(std::string(ONESETUP_STUBS) + "/" + Name);
    if (Content.empty()) ADD_FAILURE() << "missing stub " << Name << "; build test_stubs";
    return Content;
}

inline uint16_t Le16(const std::vector<uint8_t>& B, size_t At) {
    return uint16_t(B.at(At) | B.at(At + 1) << 8);
}

inline uint32_t Le32(const std::vector<uint8_t>& B, size_t At) {
    return Le16(B, At) | uint32_t(Le16(B, At + 2)) << 16;
}

inline void SetLe16(std::vector<uint8_t>& B, size_t At, uint16_t V) {
    B.at(At) = uint8_t(V);
    B.at(At + 1) = uint8_t(V >> 8);
}

inline void SetLe32(std::vector<uint8_t>& B, size_t At, uint32_t V) {
    SetLe16(B, At, uint16_t(V));
    SetLe16(B, At + 2, uint16_t(V >> 16));
}

struct TTestSection {
    std::string Name;
    size_t Header;
    uint32_t VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData;
};

// The fields the writer touches, located by hand from the PE layout.
struct TTestHeaders {
    size_t Optional = 0;
    bool Is64 = false;
    size_t Directories = 0; // offset of data directory 0
    std::vector<TTestSection> Sections;

    explicit TTestHeaders(const std::vector<uint8_t>& B) {
        const size_t Nt = Le32(B, 0x3C);
        Optional = Nt + 24;
        Is64 = Le16(B, Optional) == 0x20B;
        Directories = Optional + (Is64 ? 112 : 96);
        const size_t Table = Optional + Le16(B, Nt + 20);
        for (size_t I = 0; I < Le16(B, Nt + 6); ++I) {
            const size_t H = Table + 40 * I;
            Sections.push_back({std::string(reinterpret_cast<const char*>(&B.at(H)),
                                            strnlen(reinterpret_cast<const char*>(&B.at(H)), 8)),
                                H, Le32(B, H + 8), Le32(B, H + 12), Le32(B, H + 16),
                                Le32(B, H + 20)});
        }
    }

    size_t CheckSum() const { return Optional + 64; }
    size_t SizeOfImage() const { return Optional + 56; }
    size_t SizeOfInitializedData() const { return Optional + 8; }
    size_t FileAlignment() const { return Optional + 36; }
    size_t SectionAlignment() const { return Optional + 32; }
    size_t Directory(size_t Index) const { return Directories + 8 * Index; }
    TTestSection Last() const { return Sections.back(); }
};

inline std::string KeyText(const TResourceKey& Key) {
    return Key.IsId() ? std::to_string(Key.Id) : WideToUtf8(Key.Name);
}

// Runs Work, which must raise EBuildError "<FileName>: ..." whose reason contains Reason.
template <class TWork>
void ExpectBuildError(TWork&& Work, WideStringView FileName, WideStringView Reason) {
    SCOPED_TRACE("expected: " + WideToUtf8(Reason));
    const WideString Message = MessageOf<EBuildError>(Work);
    EXPECT_EQ(Message.rfind(WideString(FileName) + u": ", 0), 0u) << WideToUtf8(Message);
    EXPECT_NE(Message.find(Reason), WideString::npos) << WideToUtf8(Message);
    EXPECT_EQ(Message.find(u'\n'), WideString::npos) << WideToUtf8(Message);
}
