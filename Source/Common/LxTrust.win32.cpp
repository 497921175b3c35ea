#include "LxTrust.h"

#include "LxProcessExit.h"
#include "LxWinHandles.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace {

// The trust provider is loaded from System32 when first needed, never through the import table.
class TWinTrustApi {
public:
    decltype(&::WinVerifyTrust) Verify = nullptr;
    decltype(&::WTHelperProvDataFromStateData) ProviderData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) Signer = nullptr;

    static const TWinTrustApi* Instance() {
        static const TWinTrustApi Api;
        return Api.FReady ? &Api : nullptr;
    }

private:
    TWinTrustApi() : FModule(LoadSystemLibrary(u"wintrust.dll")) {
        const HMODULE Module = FModule.Get();
        FReady = Module && Bind(Module, Verify, "WinVerifyTrust") &&
                 Bind(Module, ProviderData, "WTHelperProvDataFromStateData") &&
                 Bind(Module, Signer, "WTHelperGetProvSignerFromChain");
    }
    TLibraryHandle FModule;
    bool FReady = false;
};

struct TCryptProviderTraits {
    using THandle = HCRYPTPROV;
    static THandle Empty() { return 0; }
    static bool IsValid(THandle Handle) { return Handle != 0; }
    static void Close(THandle Handle) { CryptReleaseContext(Handle, 0); }
};
using TCryptProvider = TUniqueHandle<TCryptProviderTraits>;

struct TCryptHashTraits {
    using THandle = HCRYPTHASH;
    static THandle Empty() { return 0; }
    static bool IsValid(THandle Handle) { return Handle != 0; }
    static void Close(THandle Handle) { CryptDestroyHash(Handle); }
};
using TCryptHash = TUniqueHandle<TCryptHashTraits>;

GUID VerifyAction = WINTRUST_ACTION_GENERIC_VERIFY_V2;

// The provider's state of one verification, closed however the check ends.
struct TTrustStateTraits {
    using THandle = WINTRUST_DATA*;
    static THandle Empty() { return nullptr; }
    static bool IsValid(THandle Data) { return Data != nullptr; }
    static void Close(THandle Data) {
        Data->dwStateAction = WTD_STATEACTION_CLOSE;
        TWinTrustApi::Instance()->Verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &VerifyAction,
                                         Data);
    }
};
using TTrustState = TUniqueHandle<TTrustStateTraits>;

std::vector<uint8_t> Bytes(const CERT_NAME_BLOB& Blob) {
    return std::vector<uint8_t>(Blob.pbData, Blob.pbData + Blob.cbData);
}

} // namespace

TLxSignatureState TLxTrustfn::VerifyFile(const WideString& Path, void* File, TLxSigner& Signer) {
    Signer = {};
    const TWinTrustApi* Api = TWinTrustApi::Instance();
    // Without the system's provider nothing can be shown to be valid.
    if (!Api) return TLxSignatureState::Invalid;
    WINTRUST_FILE_INFO FileInfo{};
    FileInfo.cbStruct = sizeof(FileInfo);
    FileInfo.pcwszFilePath = W(Path);
    FileInfo.hFile = static_cast<HANDLE>(File);
    WINTRUST_DATA Data{};
    Data.cbStruct = sizeof(Data);
    Data.dwUIChoice = WTD_UI_NONE;
    Data.fdwRevocationChecks = WTD_REVOKE_NONE;
    Data.dwUnionChoice = WTD_CHOICE_FILE;
    Data.pFile = &FileInfo;
    Data.dwStateAction = WTD_STATEACTION_VERIFY;
    const LONG Result = Api->Verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &VerifyAction, &Data);
    const TTrustState State(&Data);
    if (CRYPT_PROVIDER_DATA* Provider = Api->ProviderData(Data.hWVTStateData)) {
        const CRYPT_PROVIDER_SGNR* First = Api->Signer(Provider, 0, FALSE, 0);
        if (First && First->csCertChain > 0 && First->pasCertChain[0].pCert) {
            const CERT_INFO* Info = First->pasCertChain[0].pCert->pCertInfo;
            Signer.Subject = Bytes(Info->Subject);
            Signer.Issuer = Bytes(Info->Issuer);
        }
    }
    if (Result == 0) return TLxSignatureState::Valid;
    if (Result == LONG(TRUST_E_NOSIGNATURE) || Result == LONG(TRUST_E_SUBJECT_FORM_UNKNOWN))
        return TLxSignatureState::None;
    return TLxSignatureState::Invalid;
}

bool TLxTrustfn::CarriesSignature(void* Module) {
    // The headers are mapped; the table they point to is not, but its entry is enough.
    const auto* Base = static_cast<const uint8_t*>(Module);
    const auto* Dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base);
    const auto* Nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base + Dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& Table =
        Nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    return Nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY &&
           Table.VirtualAddress != 0 && Table.Size != 0;
}

bool TLxTrustfn::Sha256(void* File, uint8_t (&Digest)[32]) {
    std::vector<uint8_t> Buffer(256 * 1024);
    TCryptProvider Provider;
    TCryptHash Hash;
    LARGE_INTEGER Start{};
    if (!CryptAcquireContextW(Provider.Receive(), nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT) ||
        !CryptCreateHash(Provider.Get(), CALG_SHA_256, 0, 0, Hash.Receive()) ||
        !SetFilePointerEx(static_cast<HANDLE>(File), Start, nullptr, FILE_BEGIN))
        return false;
    for (;;) {
        DWORD Got = 0;
        if (!ReadFile(static_cast<HANDLE>(File), Buffer.data(), DWORD(Buffer.size()), &Got,
                      nullptr))
            return false;
        if (Got == 0) break;
        if (!CryptHashData(Hash.Get(), Buffer.data(), Got, 0)) return false;
    }
    DWORD Size = sizeof(Digest);
    return CryptGetHashParam(Hash.Get(), HP_HASHVAL, Digest, &Size, 0) && Size == sizeof(Digest);
}

// Here rather than beside the rest of the class: only the program that checks files needs it.
TFileStream& TLxTemporaryFile::Lock() {
    if (!FLock) FLock = std::make_unique<TFileStream>(FPath, fmOpenReadDenyWrite);
    return *FLock;
}
