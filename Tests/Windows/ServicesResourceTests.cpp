// RCDATA lookup, the resource stream and the file-data index read from a module. The module
// with a file data resource is a copy of child_program.exe given one with UpdateResourceW.

#include "FileDataClasses.h"
#include "LxExceptions.h"
#include "LxResources.h"
#include "MySetupUtils.h"
#include "ServicesResource.h"
#include "ServicesTestSupport.h"
#include "SetupProject.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Encode(std::string_view Plain) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Plain.data(), int64_t(Plain.size()));
    TSetupfn::EncodeStream(Stream);
    return Stream.Release();
}

std::string Decode(const TFileData& Entry) {
    std::string Plain;
    TSetupfn::DecodeRange(Entry.Data(), Entry.Size(), [&](const uint8_t* Data, size_t Size) {
        Plain.append(reinterpret_cast<const char*>(Data), Size);
    });
    return Plain;
}

// A copy of child_program.exe that carries Block as its RCDATA resource Name, loaded as an
// image-resource data file like the installer loads a package.
class TCarrier {
public:
    TCarrier(const TTempFolder& Folder, const TBytes& Block, WideStringView Name)
        : FPath(Folder / u"carrier.exe") {
        EXPECT_TRUE(CopyFileW(W(ChildPath()), W(FPath), FALSE));
        const HANDLE Update = BeginUpdateResourceW(W(FPath), FALSE);
        EXPECT_NE(Update, nullptr);
        const WideString NameText(Name);
        EXPECT_TRUE(UpdateResourceW(Update, RT_RCDATA, W(NameText),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                    const_cast<uint8_t*>(Block.data()), DWORD(Block.size())));
        EXPECT_TRUE(EndUpdateResourceW(Update, FALSE));
        FModule = LoadLibraryExW(W(FPath), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        EXPECT_NE(FModule, nullptr);
    }
    ~TCarrier() {
        if (FModule) FreeLibrary(FModule);
    }
    TCarrier(const TCarrier&) = delete;
    TCarrier& operator=(const TCarrier&) = delete;
    HMODULE Module() const { return FModule; }

private:
    WideString FPath;
    HMODULE FModule = nullptr;
};

} // namespace

TEST(ResourceTests, RcDataIsFoundInAnyLetterCaseAndReadInPlace) {
    const HMODULE Self = GetModuleHandleW(nullptr);
    const std::string Expected = SERVICES_TEXT;
    for (WideStringView Name : {u"ServicesText", u"SERVICESTEXT", u"servicestext"}) {
        TResourceBytes Bytes;
        ASSERT_TRUE(FindRcData(Self, Name, Bytes)) << WideToUtf8(Name);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(Bytes.Data), Bytes.Size), Expected);
        EXPECT_TRUE(RcDataExists(Self, Name));
    }
    EXPECT_FALSE(RcDataExists(Self, u"ServicesTextMissing"));

    TResourceBytes Bytes;
    ASSERT_TRUE(FindRcData(Self, u"ServicesText", Bytes));
    TResourceStream Stream(Self, u"servicesTEXT");
    EXPECT_EQ(Stream.Memory(), Bytes.Data) << "the stream must not copy";
    ASSERT_EQ(Stream.GetSize(), int64_t(Expected.size()));
    std::string Read(Expected.size() - 9, '\0');
    Stream.SetPosition(9);
    Stream.ReadBuffer(Read.data(), int64_t(Read.size()));
    EXPECT_EQ(Read, Expected.substr(9));
    EXPECT_THROW(Stream.WriteBuffer("x", 1), EWriteError);

    try {
        TResourceStream Missing(Self, u"NoSuchResource");
        ADD_FAILURE() << "no error raised";
    } catch (const EResNotFound& Error) {
        EXPECT_EQ(Error.Message(), u"Resource NoSuchResource not found");
    }
}

TEST(ResourceTests, LoadFromModuleSplitsTheFileDataResourceInPlace) {
    const std::string Plain[] = {"first file", std::string(3000, 'q') + "tail", ""};
    const WideString Guids[] = {TLxStrfn::NewGUIDString(), TLxStrfn::NewGUIDString(),
                                TLxStrfn::NewGUIDString()};
    TBytes Block = {'l', 'e', 'a', 'd'};
    TFileDataList Written;
    for (int I = 0; I < 3; ++I) {
        const TBytes Encoded = Encode(Plain[I]);
        auto Entry = std::make_unique<TFileData>();
        Entry->GUID = Guids[I];
        Entry->Offset = int32_t(Block.size());
        Entry->Bytes = int32_t(Encoded.size());
        Written.Add(std::move(Entry));
        Block.insert(Block.end(), Encoded.begin(), Encoded.end());
    }
    Written.AppendIndexTo(Block);

    const TTempFolder Folder;
    const TCarrier Carrier(Folder, Block, FileDataResName);
    ASSERT_NE(Carrier.Module(), nullptr);
    TResourceBytes Resource;
    ASSERT_TRUE(FindRcData(Carrier.Module(), FileDataResName, Resource));
    ASSERT_EQ(Resource.Size, Block.size());

    TFileDataList List;
    ASSERT_TRUE(List.LoadFromModule(Carrier.Module()));
    ASSERT_EQ(List.Count(), 3);
    for (int I = 0; I < 3; ++I) {
        const TFileData* Entry = List.FindByGUID(Guids[I]);
        ASSERT_NE(Entry, nullptr);
        EXPECT_EQ(Decode(*Entry), Plain[I]);
        EXPECT_EQ(Entry->Data(), Resource.Data + Entry->Offset) << "entries point into the module";
    }
}

TEST(ResourceTests, LoadFromModuleRaisesForAMissingOrBrokenResource) {
    TFileDataList List;
    try {
        List.LoadFromModule(GetModuleHandleW(nullptr));
        ADD_FAILURE() << "no error raised";
    } catch (const EResNotFound& Error) {
        EXPECT_EQ(Error.Message(), FormatText(u"Resource %s not found", FileDataResName));
    }

    // The stored index length reaches before the start of the block.
    const TTempFolder Folder;
    const TCarrier Carrier(Folder, {'a', 'b', 'c', 0xE8, 0x03, 0, 0}, FileDataResName);
    ASSERT_NE(Carrier.Module(), nullptr);
    EXPECT_THROW(List.LoadFromModule(Carrier.Module()), EReadError);
}
