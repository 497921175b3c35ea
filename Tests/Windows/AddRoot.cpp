// Trusts a test authority inside the Wine prefix only (LocalMachine\Root), or takes it out
// again. Usage: AddRoot [/remove] CERTIFICATE  (PEM or DER)
#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

#include <wincrypt.h> // needs the types of windows.h

namespace {

struct TCloseStore {
    void operator()(HCERTSTORE Store) const { CertCloseStore(Store, 0); }
};
struct TFreeCertificate {
    void operator()(PCCERT_CONTEXT Context) const { CertFreeCertificateContext(Context); }
};
using TCertificate = std::unique_ptr<const CERT_CONTEXT, TFreeCertificate>;

bool ReadWholeFile(const wchar_t* Name, std::vector<BYTE>& Data) {
    const HANDLE File =
        CreateFileW(Name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (File == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER Size{};
    DWORD Read = 0;
    bool Ok = GetFileSizeEx(File, &Size) && Size.QuadPart < (1 << 20);
    if (Ok) {
        Data.resize(static_cast<size_t>(Size.QuadPart));
        Ok = ReadFile(File, Data.data(), static_cast<DWORD>(Data.size()), &Read, nullptr) &&
             Read == Data.size();
    }
    CloseHandle(File);
    return Ok;
}

// PEM is decoded; anything else is taken as DER.
std::vector<BYTE> ToDer(const std::vector<BYTE>& Raw) {
    const char* Text = reinterpret_cast<const char*>(Raw.data());
    const DWORD Length = static_cast<DWORD>(Raw.size());
    DWORD Size = 0;
    if (!CryptStringToBinaryA(Text, Length, CRYPT_STRING_BASE64HEADER, nullptr, &Size, nullptr,
                              nullptr))
        return Raw;
    std::vector<BYTE> Der(Size);
    if (!CryptStringToBinaryA(Text, Length, CRYPT_STRING_BASE64HEADER, Der.data(), &Size, nullptr,
                              nullptr))
        return Raw;
    Der.resize(Size);
    return Der;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool Remove = argc == 3 && std::wstring(argv[1]) == L"/remove";
    if (argc != 2 && !Remove) {
        std::fprintf(stderr, "usage: AddRoot [/remove] CERTIFICATE\n");
        return 2;
    }
    std::vector<BYTE> Raw;
    if (!ReadWholeFile(argv[argc - 1], Raw)) {
        std::fprintf(stderr, "cannot read the certificate file\n");
        return 1;
    }
    const std::vector<BYTE> Der = ToDer(Raw);
    const TCertificate Certificate(CertCreateCertificateContext(X509_ASN_ENCODING, Der.data(),
                                                                static_cast<DWORD>(Der.size())));
    // The registry store itself: Wine keeps no delete made through the system store's view.
    const std::unique_ptr<void, TCloseStore> Store(CertOpenStore(
        CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    if (!Certificate || !Store) {
        std::fprintf(stderr, "no certificate or no store: %lu\n", GetLastError());
        return 1;
    }
    if (!Remove) {
        if (CertAddEncodedCertificateToStore(Store.get(), X509_ASN_ENCODING, Der.data(),
                                             static_cast<DWORD>(Der.size()),
                                             CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
            return 0;
        std::fprintf(stderr, "CertAddEncodedCertificateToStore failed: %lu\n", GetLastError());
        return 1;
    }
    // The delete frees the context it is given, whatever its result.
    const PCCERT_CONTEXT Found = CertFindCertificateInStore(
        Store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, Certificate.get(), nullptr);
    if (Found && !CertDeleteCertificateFromStore(Found)) {
        std::fprintf(stderr, "CertDeleteCertificateFromStore failed: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
