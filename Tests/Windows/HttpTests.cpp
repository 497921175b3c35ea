// TLxHttp against real local peers; http_test.py starts them and passes their addresses in
// the environment.
#include "LxExceptions.h"
#include "LxIndyUtils.h"
#include "LxStrUtils.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

std::string Env(const char* Name) {
    const char* Value = std::getenv(Name);
    if (!Value || !*Value) {
        ADD_FAILURE() << Name << " is not set: run the tests through http_test.py";
        return {};
    }
    return Value;
}

WideString Url(const char* Base, const std::string& Path) {
    return AsciiToWide(Env(Base) + Path);
}

std::string Body(TLxHttp& Http) {
    TMemoryStream& Stream = Http.ResponseStream();
    EXPECT_EQ(Stream.GetPosition(), 0);
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), Stream.GetSize());
}

// Values of every header line of an echoed request whose name matches, ignoring case.
std::vector<std::string> Header(const std::string& Echo, std::string_view Name) {
    std::vector<std::string> Values;
    size_t Start = Echo.find('\n') + 1; // past the request line
    while (Start < Echo.size()) {
        const size_t End = Echo.find('\n', Start);
        const std::string Line = Echo.substr(Start, End - Start);
        Start = End == std::string::npos ? Echo.size() : End + 1;
        if (Line.size() > Name.size() && Line[Name.size()] == ':' &&
            SameAsciiText(std::string_view(Line).substr(0, Name.size()), Name))
            Values.push_back(Line.substr(Name.size() + 2));
    }
    return Values;
}

std::string Pattern(size_t Size) {
    std::string Bytes(Size, '\0');
    for (size_t I = 0; I < Size; ++I)
        Bytes[I] = static_cast<char>((I * 7 + I / 251) & 0xFF);
    return Bytes;
}

struct TEvent {
    char Kind; // 'b'egin, 'w'ork, 'e'nd
    int64_t Value;
    DWORD Thread;
    bool Busy; // the hourglass was showing
};

// Records every progress event, where it ran and what the cursor was.
void Record(TLxHttp& Http, std::vector<TEvent>& Events) {
    const auto Busy = [] { return GetCursor() == LoadCursorW(nullptr, IDC_WAIT); };
    Http.OnWorkBegin = [&Events, Busy](TLxHttp&, TWorkMode Mode, int64_t Expected) {
        EXPECT_EQ(Mode, wmRead);
        Events.push_back({'b', Expected, GetCurrentThreadId(), Busy()});
    };
    Http.OnWork = [&Events, Busy](TLxHttp&, TWorkMode, int64_t Count) {
        Events.push_back({'w', Count, GetCurrentThreadId(), Busy()});
    };
    Http.OnWorkEnd = [&Events, Busy](TLxHttp&, TWorkMode) {
        Events.push_back({'e', 0, GetCurrentThreadId(), Busy()});
    };
}

// Begin with the announced length, rising totals that end at Size, one end, all on Thread.
void ExpectProgress(const std::vector<TEvent>& Events, int64_t Announced, int64_t Size,
                    DWORD Thread) {
    ASSERT_GE(Events.size(), 3u);
    EXPECT_EQ(Events.front().Kind, 'b');
    EXPECT_EQ(Events.front().Value, Announced);
    EXPECT_EQ(Events.back().Kind, 'e');
    int64_t Last = 0;
    for (size_t I = 1; I + 1 < Events.size(); ++I) {
        EXPECT_EQ(Events[I].Kind, 'w');
        EXPECT_GT(Events[I].Value, Last);
        Last = Events[I].Value;
    }
    EXPECT_EQ(Last, Size);
    EXPECT_EQ(std::count_if(Events.begin(), Events.end(),
                            [Thread](const TEvent& Event) { return Event.Thread == Thread; }),
              std::ssize(Events));
}

ptrdiff_t BusyCount(const std::vector<TEvent>& Events) {
    return std::count_if(Events.begin(), Events.end(),
                         [](const TEvent& Event) { return Event.Busy; });
}

class HttpTest : public testing::Test {
protected:
    void SetUp() override { ResetProxy(); }
    void TearDown() override { ResetProxy(); }
    static void ResetProxy() {
        const TLxHttpProxy Defaults;
        GlobalHttpProxy().Assign(&Defaults);
    }
    static void UseProxy(const char* Host, const std::string& Port, const std::string& User = {},
                         const std::string& Password = {}) {
        TLxHttpProxy& Proxy = GlobalHttpProxy();
        Proxy.Checked = true;
        Proxy.Address = AsciiToWide(Host);
        Proxy.Port = StrToInt(AsciiToWide(Port));
        Proxy.UserName = AsciiToWide(User);
        Proxy.Password = AsciiToWide(Password);
    }
    std::string Get(const WideString& Address, bool Expected = true) {
        TLxHttp Http;
        Http.SetStallTimeout(10000);
        EXPECT_EQ(Http.Get(Address), Expected) << WideToUtf8(Address);
        return Expected ? Body(Http) : std::string();
    }
};

TEST_F(HttpTest, PlainGetDeliversTheBody) {
    TLxHttp Defaults;
    EXPECT_EQ(Defaults.ConnectTimeout(), 60000);
    EXPECT_EQ(Defaults.StallTimeout(), 30000);
    EXPECT_EQ(Defaults.ResponseStream().GetSize(), 0);
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/hello")), "hello");
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/empty")), "");
}

TEST_F(HttpTest, RequestCarriesTheFixedHeaders) {
    const std::string Echo = Get(Url("LX_HTTP_ORIGIN", "/echo?x=1#fragment"));
    EXPECT_EQ(Echo.substr(0, Echo.find('\n')), "GET /echo?x=1 HTTP/1.1");
    using Values = std::vector<std::string>;
    EXPECT_EQ(Header(Echo, "User-Agent"), Values{"Mozilla/3.0 (compatible; Indy Library)"});
    EXPECT_EQ(Header(Echo, "Accept"), Values{"*/*"});
    EXPECT_EQ(Header(Echo, "Cache-control"), Values{"no-cache"});
    EXPECT_EQ(Header(Echo, "Accept-Encoding"), Values{"identity"});
    EXPECT_EQ(Header(Echo, "Connection"), Values{"Keep-Alive"});
    EXPECT_EQ(Header(Echo, "Content-Type"), Values{});
    EXPECT_EQ(Header(Echo, "Content-Length"), Values{});
    EXPECT_EQ(Header(Echo, "Via"), Values{}) << "no proxy was asked for";
}

TEST_F(HttpTest, SecondGetOnTheSameClientStartsClean) {
    TLxHttp Http;
    ASSERT_TRUE(Http.Get(Url("LX_HTTP_ORIGIN", "/large")));
    EXPECT_FALSE(Http.Get(Url("LX_HTTP_ORIGIN", "/status?code=404")));
    ASSERT_TRUE(Http.Get(Url("LX_HTTP_ORIGIN", "/echo")));
    const std::string Echo = Body(Http);
    EXPECT_EQ(Echo.rfind("GET /echo HTTP/1.1\n", 0), 0u) << "only the last body is kept";
    EXPECT_TRUE(Header(Echo, "Content-Type").empty());
    EXPECT_TRUE(Header(Echo, "Content-Length").empty());
    EXPECT_EQ(Header(Echo, "User-Agent").size(), 1u);
}

// Takes what it is given until its limit, then refuses further bytes, as a full disk does.
class TLimitedStream : public TMemoryStream {
public:
    explicit TLimitedStream(int64_t Limit) : FLimit(Limit) {}
    int64_t Write(const void* Buffer, int64_t Count) override {
        return TMemoryStream::Write(Buffer, std::min(Count, FLimit - GetPosition()));
    }

private:
    int64_t FLimit;
};

TEST_F(HttpTest, TargetStreamTakesTheBodyAsItArrives) {
    TLxHttp Http;
    TLimitedStream Target(int64_t(1) << 30);
    Http.ResponseTarget = &Target;
    int64_t Last = 0;
    Http.OnWork = [&](TLxHttp&, TWorkMode, int64_t Count) {
        // Each piece is in the target before its event: nothing waits in memory.
        EXPECT_EQ(Target.GetSize(), Count);
        Last = Count;
    };
    ASSERT_TRUE(Http.Get(Url("LX_HTTP_ORIGIN", "/large")));
    EXPECT_EQ(Last, 1 << 20);
    EXPECT_EQ(Http.ResponseStream().GetSize(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Target.Memory()), Target.GetSize()),
              Pattern(1 << 20));
    // Failures stay false with a target too.
    Http.OnWork = nullptr;
    TLimitedStream Other(int64_t(1) << 30);
    Http.ResponseTarget = &Other;
    EXPECT_FALSE(Http.Get(Url("LX_HTTP_ORIGIN", "/status?code=404")));
    EXPECT_FALSE(Http.Get(Url("LX_HTTP_ORIGIN", "/short")));
}

TEST_F(HttpTest, TargetThatCannotTakeMoreIsRaisedNotReportedAsFalse) {
    TLxHttp Http;
    TLimitedStream Full(100000);
    Http.ResponseTarget = &Full;
    EXPECT_THROW(Http.Get(Url("LX_HTTP_ORIGIN", "/large")), EWriteError);
    // Without a target the client keeps its own promise: every failure is false.
    Http.ResponseTarget = nullptr;
    EXPECT_TRUE(Http.Get(Url("LX_HTTP_ORIGIN", "/large")));
}

TEST_F(HttpTest, ErrorStatusesGiveFalse) {
    for (const char* Code : {"400", "401", "404", "500", "503"})
        Get(Url("LX_HTTP_ORIGIN", std::string("/status?code=") + Code), false);
    // A 2xx other than 200 is a success.
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/status?code=203")), "status page");
}

TEST_F(HttpTest, RedirectsAreFollowedUpToFifteen) {
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/redirect")), "hello");
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/chain/a/15")), "chain end");
    // The 16th redirect is not followed: the request fails without reaching the end.
    Get(Url("LX_HTTP_ORIGIN", "/chain/b/16"), false);
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/hits?path=/chain/b/1")), "1");
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/hits?path=/chain/b/0")), "0");
}

TEST_F(HttpTest, CookieSetByARedirectComesBack) {
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/cookie/set")), "cookie came back");
    // Each request starts without cookies.
    Get(Url("LX_HTTP_ORIGIN", "/cookie/check"), false);
}

TEST_F(HttpTest, BrokenTransfersGiveFalse) {
    Get(Url("LX_HTTP_ORIGIN", "/short"), false);
    // A chunked body that breaks off before its last chunk is left to real Windows: Wine 8
    // takes the end of the connection, even a reset, for the end of the body.
    Get(AsciiToWide("http://127.0.0.1:" + Env("LX_CLOSED_PORT") + "/"), false);
}

TEST_F(HttpTest, AddressesThatCannotBeFetchedGiveFalse) {
    const std::string Tls = Env("LX_HTTPS_TRUSTED");
    // Only the lower-case spelling goes over TLS; nothing is sent in the clear instead.
    Get(AsciiToWide("HTTPS" + Tls.substr(5) + "/hello"), false);
    Get(AsciiToWide("ftp" + Tls.substr(5) + "/hello"), false);
    Get(u"", false);
    Get(u"not an address", false);
}

TEST_F(HttpTest, StalledServerEndsWithinTheStallLimit) {
    for (const char* Path : {"/stall", "/stall-headers"}) {
        TLxHttp Http;
        Http.SetStallTimeout(2000);
        const auto Start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Http.Get(Url("LX_HTTP_ORIGIN", Path))) << Path;
        // The server holds the connection for 20 s: ending well before shows the limit at work.
        EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(12)) << Path;
    }
}

TEST_F(HttpTest, ProgressEventsFollowTheTransferOnTheCallingThread) {
    const HCURSOR Arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(Arrow);
    TLxHttp Http;
    std::vector<TEvent> Events;
    Record(Http, Events);
    ASSERT_TRUE(Http.Get(Url("LX_HTTP_ORIGIN", "/large")));
    EXPECT_EQ(Body(Http), Pattern(1 << 20));
    ExpectProgress(Events, 1 << 20, 1 << 20, GetCurrentThreadId());
    EXPECT_EQ(BusyCount(Events), std::ssize(Events)) << "the main thread shows the hourglass";
    EXPECT_EQ(GetCursor(), Arrow) << "and restores the cursor";

    // Without an announced length the begin event gets -1.
    Events.clear();
    ASSERT_TRUE(Http.Get(Url("LX_HTTP_ORIGIN", "/chunked")));
    EXPECT_EQ(Body(Http), Pattern(300 * 1024));
    ExpectProgress(Events, -1, 300 * 1024, GetCurrentThreadId());
}

TEST_F(HttpTest, WorkerThreadGetsItsEventsAndLeavesTheCursorAlone) {
    const WideString Address = Url("LX_HTTP_ORIGIN", "/large");
    std::vector<TEvent> Events;
    bool Result = false;
    DWORD Worker = 0;
    std::thread Thread([&] {
        Worker = GetCurrentThreadId();
        TLxHttp Http;
        Record(Http, Events);
        Result = Http.Get(Address);
    });
    Thread.join();
    EXPECT_TRUE(Result);
    ExpectProgress(Events, 1 << 20, 1 << 20, Worker);
    EXPECT_EQ(BusyCount(Events), 0);
}

TEST_F(HttpTest, FailingTransferStillEndsItsWorkAndKeepsExceptionsIn) {
    TLxHttp Http;
    std::vector<TEvent> Events;
    Record(Http, Events);
    EXPECT_FALSE(Http.Get(Url("LX_HTTP_ORIGIN", "/short")));
    ASSERT_FALSE(Events.empty());
    EXPECT_EQ(Events.front().Kind, 'b');
    EXPECT_EQ(Events.front().Value, 100000);
    EXPECT_EQ(Events.back().Kind, 'e');

    int Ends = 0;
    Http.OnWork = [](TLxHttp&, TWorkMode, int64_t) { throw std::runtime_error("handler"); };
    Http.OnWorkEnd = [&Ends](TLxHttp&, TWorkMode) { ++Ends; };
    EXPECT_FALSE(Http.Get(Url("LX_HTTP_ORIGIN", "/hello")));
    EXPECT_EQ(Ends, 1);
}

TEST_F(HttpTest, HttpsVerifiesTheServer) {
    EXPECT_EQ(Get(Url("LX_HTTPS_TRUSTED", "/hello")), "hello");
    const std::string Echo = Get(Url("LX_HTTPS_TRUSTED", "/echo"));
    EXPECT_EQ(Header(Echo, "User-Agent"),
              std::vector<std::string>{"Mozilla/3.0 (compatible; Indy Library)"});
    Get(Url("LX_HTTPS_UNTRUSTED", "/hello"), false);
    Get(Url("LX_HTTPS_WRONG_NAME", "/hello"), false);
    // A plain page that redirects to TLS is followed there, verified like any other.
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/goto?to=" + Env("LX_HTTPS_TRUSTED") + "/hello")),
              "hello");
    Get(Url("LX_HTTP_ORIGIN", "/goto?to=" + Env("LX_HTTPS_UNTRUSTED") + "/hello"), false);
}

TEST_F(HttpTest, PlainHttpThroughTheOpenProxy) {
    UseProxy("localhost", Env("LX_PROXY_OPEN_PORT"));
    const std::string Echo = Get(Url("LX_HTTP_ORIGIN", "/echo"));
    ASSERT_EQ(Header(Echo, "Via").size(), 1u);
    EXPECT_NE(Header(Echo, "Via")[0].find("tinyproxy"), std::string::npos);
    EXPECT_EQ(Get(Url("LX_HTTP_ORIGIN", "/redirect")), "hello");
    Get(Url("LX_HTTP_ORIGIN", "/status?code=404"), false);
}

TEST_F(HttpTest, AuthenticatingProxyTakesTheUserAndPassword) {
    const std::string Port = Env("LX_PROXY_AUTH_PORT");
    UseProxy("localhost", Port, Env("LX_PROXY_USER"), Env("LX_PROXY_PASSWORD"));
    const std::string Echo = Get(Url("LX_HTTP_ORIGIN", "/echo"));
    EXPECT_EQ(Header(Echo, "Via").size(), 1u);
    UseProxy("localhost", Port, Env("LX_PROXY_USER"), "wrong");
    Get(Url("LX_HTTP_ORIGIN", "/hello"), false);
    UseProxy("localhost", Port);
    Get(Url("LX_HTTP_ORIGIN", "/hello"), false);
}

TEST_F(HttpTest, HttpsTunnelsThroughTheOpenProxy) {
    // The proxy's host name must differ from the origin's (localhost) under Wine.
    UseProxy("127.0.0.1", Env("LX_CLOSED_PORT"));
    Get(Url("LX_HTTPS_TRUSTED", "/hello"), false);
    // The failures first: Wine 8 keeps finished connections in one pool for the whole process,
    // keyed by the proxy, and would send them through a tunnel opened for another server.
    UseProxy("127.0.0.1", Env("LX_PROXY_OPEN_PORT"));
    Get(Url("LX_HTTPS_UNTRUSTED", "/hello"), false);
    Get(Url("LX_HTTPS_WRONG_NAME", "/hello"), false);
    EXPECT_EQ(Get(Url("LX_HTTPS_TRUSTED", "/hello")), "hello");
    // HTTPS through the authenticating proxy is left to real Windows: Wine 8 does not report
    // a 407 answer to CONNECT, so the credentials are never asked for.
}

TEST_F(HttpTest, UncheckedProxyMeansDirect) {
    GlobalHttpProxy().Address = u"bogus.invalid";
    GlobalHttpProxy().Port = 1;
    EXPECT_TRUE(Header(Get(Url("LX_HTTP_ORIGIN", "/echo")), "Via").empty());
    UseProxy("", Env("LX_PROXY_OPEN_PORT"));
    EXPECT_TRUE(Header(Get(Url("LX_HTTP_ORIGIN", "/echo")), "Via").empty()) << "no address";
    UseProxy("localhost", Env("LX_CLOSED_PORT"));
    Get(Url("LX_HTTP_ORIGIN", "/hello"), false);
}

} // namespace
