// The mini installer's download: the full installer written into the temporary folder as it
// arrives, opened for its resources only, then its script read in place of the mini one.

#include "Application.h"
#include "DownloadFailureFrm.h"
#include "LxFileStream.h"
#include "LxLog.h"
#include "LxPlatform.h"
#include "LxResources.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxTrust.h"
#include "LxVclUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

#include <cstring>

namespace {

// A developer's run fetches the full installer from a server on the developer's own machine.
const char16_t DeveloperDownloadUrl[] = u"http://localhost:8080/FullSetup.exe";

} // namespace

void TMainForm::ReleaseDownload() {
    if (!FDownload) return;
    FModule = nullptr;
    FDownload.reset();
}

bool TMainForm::DownloadIsGenuine() {
    const TFileStream& File = FDownload->Lock();
    void* const Handle = reinterpret_cast<void*>(File.Handle());
    // The full installer its publisher built, when the builder pinned it.
    TResourceBytes Pin;
    if (FindRcData(GetModuleHandleW(nullptr), FullSetupDigestResName, Pin)) {
        uint8_t Digest[32];
        const bool Matches = Pin.Size == sizeof(Digest) && TLxTrustfn::Sha256(Handle, Digest) &&
                             std::memcmp(Pin.Data, Digest, sizeof(Digest)) == 0;
        LxLog::Write(Matches ? u"Download pin: SHA-256 matches" : u"Download pin: SHA-256 differs");
        if (!Matches) return false;
    } else {
        LxLog::Write(u"Download pin: none");
    }
    // A signed mini installer installs only what its own publisher signed.
    if (!TLxTrustfn::CarriesSignature(GetModuleHandleW(nullptr))) {
        LxLog::Write(u"Download signature: not required (this installer is unsigned)");
        return true;
    }
    TLxSigner Own, Theirs;
    TLxTrustfn::VerifyFile(ParamStr(0), nullptr, Own);
    const bool Genuine =
        !Own.Subject.empty() &&
        TLxTrustfn::VerifyFile(FDownload->Path(), Handle, Theirs) == TLxSignatureState::Valid &&
        Theirs == Own;
    LxLog::Write(Genuine ? u"Download signature: valid, the same publisher"
                         : u"Download signature: refused, not this publisher's valid signature");
    return Genuine;
}

bool TMainForm::DownloadFullSetup() {
    GlobalHttpProxy().Assign(FProxy.get());
    TLxHttp Http;
    const WideString Url = TLxSysfn::IsDeveloperMode() ? WideString(DeveloperDownloadUrl)
                                                       : FScript->BaseInfo().FullDownloadUrl;
    // A new name for every attempt. The body goes straight into the file: a package of any
    // size downloads without holding it in memory. However the attempt ends, its file goes
    // unless it becomes the module: a full installer left behind would take the package's size
    // in the temporary folder.
    auto Attempt = std::make_unique<TLxTemporaryFile>(TLxWinfn::GetTempPath() +
                                                      TLxStrfn::NewGUIDString() + u".exe");
    const WideString& File = Attempt->Path();
    try {
        Http.OnWorkBegin = [this](TLxHttp& Sender, TWorkMode Mode, int64_t Expected) {
            DownloadWorkBegin(Sender, Mode, Expected);
        };
        Http.OnWork = [this](TLxHttp& Sender, TWorkMode Mode, int64_t Count) {
            DownloadWork(Sender, Mode, Count);
        };
        Http.OnWorkEnd = [this](TLxHttp& Sender, TWorkMode Mode) { DownloadWorkEnd(Sender, Mode); };

        TLxFilefn::ForceFileDir(File);
        bool Fetched = false;
        int64_t Bytes = 0;
        {
            const TLxHttpProxy& Proxy = *FProxy;
            if (Proxy.Checked && !Proxy.Address.empty())
                LxLog::Write(u"Download: %s via proxy %s:%d", Url, Proxy.Address, Proxy.Port);
            else
                LxLog::Write(u"Download: %s, direct", Url);
            TFileStream Target(File, fmCreate);
            Http.ResponseTarget = &Target;
            Fetched = Http.Get(Url);
            Bytes = Target.GetSize();
        }
        LxLog::Write(u"Download: HTTP status %d, %d bytes, %s", int(Http.Status()), int64_t(Bytes),
                     Fetched ? u"complete" : u"failed");
        if (!Fetched) {
            Attempt->Release();
            if (FSilentMode) {
                // Nobody could answer the dialog.
                WriteStandardError(
                    FormatText(u"%s 在线安装失败：%s", FScript->BaseInfo().AppTitle, Url));
                ExitProgram(ExitCodeDownloadFailed);
            }
            if (TDownloadFailureForm::Execute(this, FScript->BaseInfo().AppTitle, Url))
                ExitProgram(Unattended(ExitCodeDownloadFailed));
            ShowHomePage();
            return false;
        }

        // The module of an earlier attempt and its file go; the new file takes their place.
        ReleaseDownload();
        FDownload = std::move(Attempt);
        // Checked before a byte of it is read for its resources, and kept unchanged from here
        // on: a failed check never falls back to installing.
        if (!DownloadIsGenuine()) {
            ReleaseDownload();
            throw Exception(u"安装包错误。");
        }
        FModule = static_cast<HMODULE>(FDownload->LoadResourceModule());
        if (!FModule || !ResourceExists(FullSetupScriptResName)) throw Exception(u"安装包错误。");

        // Read into a fresh script, so that a failure leaves the mini script as it was.
        TMemoryStream Stream;
        LoadResourceStream(FullSetupScriptResName, Stream);
        Stream.SetPosition(0);
        auto Full = std::make_unique<TSetupScript>();
        Full->LoadFromStream(Stream);
        FScript = std::move(Full);
        return true;
    } catch (const Exception& Error) {
        Inform(Error.Message());
        // The file that came is not the product's package: trying again changes nothing.
        if (FSilentMode || FAutoMode) ExitProgram(ExitCodeDownloadRefused);
    }
    ShowHomePage();
    return false;
}
