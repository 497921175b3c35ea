#include "LxExceptions.h"
#include "LxIndyUtils.h"
#include "LxStrUtils.h"
#include "LxWinHandles.h"

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <windows.h>
#include <winhttp.h>

namespace {

// Static initialisation runs on the program's main thread, before any other thread exists.
const DWORD MainThreadId = GetCurrentThreadId();

constexpr wchar_t UserAgent[] = L"Mozilla/3.0 (compatible; Indy Library)";
constexpr DWORD MaxRedirects = 15;
constexpr int MaxAuthAttempts = 3;
constexpr size_t ReadChunk = 64 * 1024;

// WinHTTP comes from System32 at run time, never through the import table, so that no copy
// planted beside the program is ever loaded.
class TWinHttpApi {
public:
    decltype(&::WinHttpOpen) Open = nullptr;
    decltype(&::WinHttpCloseHandle) CloseHandle = nullptr;
    decltype(&::WinHttpCrackUrl) CrackUrl = nullptr;
    decltype(&::WinHttpSetTimeouts) SetTimeouts = nullptr;
    decltype(&::WinHttpSetOption) SetOption = nullptr;
    decltype(&::WinHttpConnect) Connect = nullptr;
    decltype(&::WinHttpOpenRequest) OpenRequest = nullptr;
    decltype(&::WinHttpAddRequestHeaders) AddRequestHeaders = nullptr;
    decltype(&::WinHttpSendRequest) SendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) ReceiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) QueryHeaders = nullptr;
    decltype(&::WinHttpQueryAuthSchemes) QueryAuthSchemes = nullptr;
    decltype(&::WinHttpSetCredentials) SetCredentials = nullptr;
    decltype(&::WinHttpQueryDataAvailable) QueryDataAvailable = nullptr;
    decltype(&::WinHttpReadData) ReadData = nullptr;

    // Null when the library or one of its functions is missing.
    static const TWinHttpApi* Instance() {
        static const TWinHttpApi Api;
        return Api.FReady ? &Api : nullptr;
    }

private:
    TWinHttpApi() : FModule(LoadSystemLibrary(u"winhttp.dll")) {
        const HMODULE Module = FModule.Get();
        if (!Module) return;
        FReady = Bind(Module, Open, "WinHttpOpen") &&
                 Bind(Module, CloseHandle, "WinHttpCloseHandle") &&
                 Bind(Module, CrackUrl, "WinHttpCrackUrl") &&
                 Bind(Module, SetTimeouts, "WinHttpSetTimeouts") &&
                 Bind(Module, SetOption, "WinHttpSetOption") &&
                 Bind(Module, Connect, "WinHttpConnect") &&
                 Bind(Module, OpenRequest, "WinHttpOpenRequest") &&
                 Bind(Module, AddRequestHeaders, "WinHttpAddRequestHeaders") &&
                 Bind(Module, SendRequest, "WinHttpSendRequest") &&
                 Bind(Module, ReceiveResponse, "WinHttpReceiveResponse") &&
                 Bind(Module, QueryHeaders, "WinHttpQueryHeaders") &&
                 Bind(Module, QueryAuthSchemes, "WinHttpQueryAuthSchemes") &&
                 Bind(Module, SetCredentials, "WinHttpSetCredentials") &&
                 Bind(Module, QueryDataAvailable, "WinHttpQueryDataAvailable") &&
                 Bind(Module, ReadData, "WinHttpReadData");
    }

    TLibraryHandle FModule;
    bool FReady = false;
};

// A handle exists only once the API has loaded, so closing goes through it.
struct TInternetHandleTraits {
    using THandle = HINTERNET;
    static THandle Empty() { return nullptr; }
    static bool IsValid(THandle Handle) { return Handle != nullptr; }
    static void Close(THandle Handle) { TWinHttpApi::Instance()->CloseHandle(Handle); }
};
using TInternetHandle = TUniqueHandle<TInternetHandleTraits>;

// The hourglass while a request runs, on the main thread only: other threads own no cursor
// the user sees.
class TBusyCursor {
public:
    TBusyCursor() : FActive(GetCurrentThreadId() == MainThreadId) {
        if (FActive) FSaved = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    ~TBusyCursor() {
        if (FActive) SetCursor(FSaved);
    }

private:
    bool FActive;
    HCURSOR FSaved = nullptr;
};

// Pairs every OnWorkBegin with one OnWorkEnd, also when the transfer breaks off.
class TWorkScope {
public:
    TWorkScope(TLxHttp& Owner, int64_t Expected) : FOwner(Owner) {
        if (FOwner.OnWorkBegin) FOwner.OnWorkBegin(FOwner, wmRead, Expected);
    }
    TWorkScope(const TWorkScope&) = delete;
    TWorkScope& operator=(const TWorkScope&) = delete;
    ~TWorkScope() {
        try {
            End();
        } catch (...) {
            // Already failing; the request reports false.
        }
    }
    void End() {
        if (FEnded) return;
        FEnded = true;
        if (FOwner.OnWorkEnd) FOwner.OnWorkEnd(FOwner, wmRead);
    }

private:
    TLxHttp& FOwner;
    bool FEnded = false;
};

DWORD StatusCode(const TWinHttpApi& Api, HINTERNET Request) {
    DWORD Status = 0;
    DWORD Size = sizeof(Status);
    if (!Api.QueryHeaders(Request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &Status, &Size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return Status;
}

bool HasHeader(const TWinHttpApi& Api, HINTERNET Request, DWORD Query) {
    DWORD Size = 0;
    Api.QueryHeaders(Request, Query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &Size,
                     WINHTTP_NO_HEADER_INDEX);
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The announced body length, or -1 when none is announced or a chunked body overrides it.
int64_t AnnouncedLength(const TWinHttpApi& Api, HINTERNET Request) {
    if (HasHeader(Api, Request, WINHTTP_QUERY_TRANSFER_ENCODING)) return -1;
    wchar_t Text[32];
    DWORD Size = sizeof(Text);
    if (!Api.QueryHeaders(Request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, Text,
                          &Size, WINHTTP_NO_HEADER_INDEX))
        return -1;
    int64_t Length = -1;
    const WideStringView Value(reinterpret_cast<const char16_t*>(Text), Size / sizeof(wchar_t));
    if (!TryStrToInt64(Value, Length) || Length < 0) return -1;
    return Length;
}

// The first scheme the proxy offers, when it is one the credentials suit.
DWORD ChooseAuthScheme(DWORD Supported, DWORD First) {
    constexpr DWORD Usable = WINHTTP_AUTH_SCHEME_BASIC | WINHTTP_AUTH_SCHEME_DIGEST |
                             WINHTTP_AUTH_SCHEME_NTLM | WINHTTP_AUTH_SCHEME_NEGOTIATE;
    if (First & Usable) return First;
    for (DWORD Scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM,
                         WINHTTP_AUTH_SCHEME_DIGEST, WINHTTP_AUTH_SCHEME_BASIC})
        if (Supported & Scheme) return Scheme;
    return 0;
}

// Sends the request and gives the final status, or 0 on any error. A 407 is answered with
// the proxy's user name and password in the first scheme it offers, at most three times.
DWORD Send(const TWinHttpApi& Api, HINTERNET Request, const TLxHttpProxy* Proxy) {
    for (int Attempt = 0;; ++Attempt) {
        if (!Api.SendRequest(Request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                             0, 0) ||
            !Api.ReceiveResponse(Request, nullptr))
            return 0;
        const DWORD Status = StatusCode(Api, Request);
        if (Status != HTTP_STATUS_PROXY_AUTH_REQ || !Proxy || Proxy->UserName.empty() ||
            Attempt >= MaxAuthAttempts)
            return Status;
        DWORD Supported = 0, First = 0, Target = 0;
        if (!Api.QueryAuthSchemes(Request, &Supported, &First, &Target)) return 0;
        const DWORD Scheme = ChooseAuthScheme(Supported, First);
        if (!Scheme || !Api.SetCredentials(Request, WINHTTP_AUTH_TARGET_PROXY, Scheme,
                                           W(Proxy->UserName), W(Proxy->Password), nullptr))
            return 0;
    }
}

// Reads the whole body into the owner's stream, or its target, with the progress events.
bool ReadBody(const TWinHttpApi& Api, HINTERNET Request, TLxHttp& Owner) {
    TMemoryStream& Body = Owner.ResponseStream();
    TStream* const Target = Owner.ResponseTarget;
    std::unique_ptr<uint8_t[]> Piece;
    if (Target) Piece = std::make_unique_for_overwrite<uint8_t[]>(ReadChunk);
    const int64_t Expected = AnnouncedLength(Api, Request);
    TWorkScope Work(Owner, Expected);
    int64_t Total = 0;
    for (;;) {
        DWORD Available = 0;
        if (!Api.QueryDataAvailable(Request, &Available)) return false;
        if (Available == 0) break;
        size_t Room = ReadChunk;
        uint8_t* Buffer =
            Target ? Piece.get() : Body.Reserve(std::max<size_t>(Available, ReadChunk), Room);
        // Only what has arrived, so that progress follows the transfer.
        const DWORD Wanted = static_cast<DWORD>(std::min<size_t>(Available, Room));
        DWORD Read = 0;
        if (!Api.ReadData(Request, Buffer, Wanted, &Read)) return false;
        if (Read == 0) break;
        if (Target)
            Target->WriteBuffer(Buffer, Read);
        else
            Body.Commit(Read);
        Total += Read;
        if (Owner.OnWork) Owner.OnWork(Owner, wmRead, Total);
    }
    // A connection closed before the announced length is a broken transfer.
    if (Expected >= 0 && Total != Expected) return false;
    Work.End();
    Body.SetPosition(0);
    return true;
}

} // namespace

bool TLxHttp::Get(const WideString& Url) {
    TBusyCursor Busy;
    try {
        return Fetch(Url);
    } catch (const EStreamError&) {
        // The caller's target failed (a full disk): no fault of the transfer.
        if (ResponseTarget) throw;
        return false;
    } catch (...) {
        return false;
    }
}

bool TLxHttp::Fetch(const WideString& Url) {
    FResponse.Clear();
    FStatus = 0;
    const TWinHttpApi* Api = TWinHttpApi::Instance();
    if (!Api) return false;

    URL_COMPONENTS Parts{};
    Parts.dwStructSize = sizeof(Parts);
    Parts.dwHostNameLength = Parts.dwUrlPathLength = Parts.dwExtraInfoLength = DWORD(-1);
    if (!Api->CrackUrl(W(Url), 0, 0, &Parts)) return false;
    // TLS only for the lower-case spelling; any other spelling of https is refused rather
    // than sent in the clear.
    const bool Secure = Url.starts_with(u"https");
    if (Secure != (Parts.nScheme == INTERNET_SCHEME_HTTPS)) return false;
    const WideString Host(reinterpret_cast<const char16_t*>(Parts.lpszHostName),
                          Parts.dwHostNameLength);
    WideString Object(reinterpret_cast<const char16_t*>(Parts.lpszUrlPath), Parts.dwUrlPathLength);
    Object.append(reinterpret_cast<const char16_t*>(Parts.lpszExtraInfo), Parts.dwExtraInfoLength);
    // The fragment belongs to the client alone.
    if (const size_t Hash = Object.find(u'#'); Hash != WideString::npos) Object.erase(Hash);
    if (Object.empty()) Object = u"/";

    // A copy: the settings may change while the request runs.
    TLxHttpProxy Proxy;
    Proxy.Assign(&GlobalHttpProxy());
    const bool UseProxy = Proxy.Checked && !Proxy.Address.empty();
    const WideString ProxyName = Proxy.Address + u":" + IntToStr(Proxy.Port);

    // A named proxy is given when the session opens: Wine ignores WINHTTP_OPTION_PROXY. Without
    // one the request goes direct, never through the system's proxy.
    const TInternetHandle Session(Api->Open(
        UserAgent, UseProxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
        UseProxy ? W(ProxyName) : WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!Session) return false;
    // The stall limit bounds each send and each read.
    if (!Api->SetTimeouts(Session.Get(), FConnectTimeout, FConnectTimeout, FStallTimeout,
                          FStallTimeout))
        return false;
    // The wait for the answer's headers has a limit of its own; without the option, the one
    // above applies.
    DWORD ResponseTimeout = static_cast<DWORD>(FStallTimeout);
    Api->SetOption(Session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &ResponseTimeout,
                   sizeof(ResponseTimeout));

    const TInternetHandle Connection(Api->Connect(Session.Get(), W(Host), Parts.nPort, 0));
    if (!Connection) return false;
    const TInternetHandle Request(Api->OpenRequest(Connection.Get(), L"GET", W(Object), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                   Secure ? WINHTTP_FLAG_SECURE : 0));
    if (!Request) return false;
    // The default is 10. The request whose 16th redirect arrives ends with
    // ERROR_WINHTTP_REDIRECT_FAILED; a 3xx left as the final answer would fail below as well.
    DWORD Redirects = MaxRedirects;
    if (!Api->SetOption(Request.Get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &Redirects,
                        sizeof(Redirects)))
        return false;

    WideString Headers = u"Cache-control: no-cache\r\nAccept: */*\r\nAccept-Encoding: identity\r\n";
    // Left out on TLS; WinHTTP adds its own keep-alive header there.
    if (!Secure) Headers += u"Connection: Keep-Alive\r\n";
    if (!Api->AddRequestHeaders(Request.Get(), W(Headers), DWORD(-1),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return false;

    const DWORD Status = Send(*Api, Request.Get(), UseProxy ? &Proxy : nullptr);
    FStatus = Status;
    // A redirect that was not followed (the limit, no address) is no success either.
    if (Status < 200 || Status >= 300) return false;

    return ReadBody(*Api, Request.Get(), *this);
}
