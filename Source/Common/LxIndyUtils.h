#pragma once

#include "LxPersistent.h"
#include "LxStreams.h"

#include <functional>

// The proxy settings the user enters; they live in memory only.
class TLxHttpProxy : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TLxHttpProxy)
public:
    WideString Address;
    bool Checked = false;
    WideString Password;
    int32_t Port = 8080;
    WideString UserName;
};

// The settings every request reads; created with the defaults on first use.
TLxHttpProxy& GlobalHttpProxy();

#ifdef _WIN32

enum TWorkMode { wmRead, wmWrite };

// Fetches one URL with GET into memory; every failure is reported as false.
class TLxHttp {
public:
    using TWorkBeginEvent = std::function<void(TLxHttp& Sender, TWorkMode Mode, int64_t Expected)>;
    using TWorkEvent = std::function<void(TLxHttp& Sender, TWorkMode Mode, int64_t Count)>;
    using TWorkEndEvent = std::function<void(TLxHttp& Sender, TWorkMode Mode)>;

    TLxHttp() = default;
    TLxHttp(const TLxHttp&) = delete;
    TLxHttp& operator=(const TLxHttp&) = delete;

    // True when a 2xx answer arrived with its whole body, which is then in ResponseStream at
    // position 0. Only a URL that begins with the lower-case "https" goes over TLS (the chain
    // and the host name are verified); any other spelling of that scheme fails. More than 15
    // redirects fail. The proxy is GlobalHttpProxy's when it is Checked and has an Address;
    // otherwise the connection is direct. On the main thread the hourglass shows meanwhile.
    bool Get(const WideString& Url);

    TMemoryStream& ResponseStream() { return FResponse; }
    // The last request's final HTTP status; 0 when none arrived.
    uint32_t Status() const { return FStatus; }
    // When set, the body is written there as it arrives and ResponseStream stays empty: a large
    // download needs no memory of its size. What the target holds after a false Get is
    // undefined. An error of the target's writes is raised from Get, not reported as false.
    TStream* ResponseTarget = nullptr;

    int ConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(int Milliseconds) { FConnectTimeout = Milliseconds; }
    // How long a started request may wait for the next data, either way. For both limits,
    // 0 waits for ever.
    int StallTimeout() const { return FStallTimeout; }
    void SetStallTimeout(int Milliseconds) { FStallTimeout = Milliseconds; }

    // Called on the thread that runs Get. OnWorkBegin gets the announced Content-Length, or -1
    // when the server announces none (a chunked body); OnWork gets the running total;
    // OnWorkEnd comes once for every OnWorkBegin, also when the transfer breaks.
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

private:
    bool Fetch(const WideString& Url);

    TMemoryStream FResponse;
    uint32_t FStatus = 0;
    int FConnectTimeout = 60000;
    int FStallTimeout = 30000;
};

#endif
